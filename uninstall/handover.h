// The hand-over from UnInst.exe in the InstallFolder to its copy in the temp folder.
//
// A running program's file cannot be deleted, and neither can the folder that holds it.
// So UnInst.exe asks its questions, copies itself into the temp folder and starts the
// copy with a command line that says what to do, then ends. The copy waits for the
// original process to end (through a handle to it that the copy inherits), removes the
// game and the original's files and folder, and finally has the system delete its own
// file when Windows next starts (MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT).
//
// The copy's command line: "<copy>" /fern-uninstall <handle> <saved-games> "<folder>"
//   <handle>       the inherited process handle, in decimal
//   <saved-games>  1 when the [delfiles_user] files are to go, else 0
//   <folder>       the InstallFolder, without a trailing backslash (a Windows path never
//                  holds a double quote, so the quotes need no escaping)
#ifndef FERN_UNINSTALL_HANDOVER_H
#define FERN_UNINSTALL_HANDOVER_H

#include <stddef.h>
#include <stdint.h>

enum { kCommandSize = 600 };  // two paths of 260 bytes, the switch and two numbers

struct HandoverOrder {
  uint64_t process;       // the original's process handle in the copy (64 bits on every build)
  int saved_games;        // 0 or 1
  char folder[260];       // the InstallFolder
};

// Writes the copy's command line into out. 0, or -1 when it does not fit.
int FormatHandoverCommand(char *out, size_t size, const char *program,
                          const HandoverOrder *order);

// Reads a whole command line (the program first, quoted or not). 1 with the order filled
// when it is the copy's command line, 0 for any other command line (the program was
// started by the player: UnInst.exe's own start), and -1 for the copy's switch with an
// order that must not be followed: anything but the shape above, or a folder that
// HandoverFolderAcceptable refuses.
int ParseHandoverCommand(const char *command_line, HandoverOrder *order);

// Whether a hand-over may name this folder: an absolute path on a drive ("X:\" and at
// least one name below it), each name one that the extractor itself would accept (no ".",
// "..", empty names, streams or devices). A copy running with administrator rights
// removes what the folder's list names, so a relative, root or "..\.." folder is refused.
bool HandoverFolderAcceptable(const char *folder);

#endif
