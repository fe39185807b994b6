// The uninstaller's file list, UnInst.lst, and the names of the uninstaller's own files.
//
// fernpack pack writes the list into every package beside UnInst.exe; the installer
// unpacks both into the InstallFolder with the rest of the game. The list is a text file
// in Shift-JIS with CR LF line ends:
//
//   ; Fernstall file list: every file and folder of the package, for UnInst.exe.
//   ; A folder ends with "\". Names are relative to the folder of UnInst.exe.
//   install.env
//   insttscr.rct
//   readme.txt
//   UnInst.exe
//   UnInst.lst
//   data\            (a folder)
//   data\music.ogg
//
// One archive entry name per line, exactly as the package stores it, in archive order
// (so a folder's line comes before the lines of what it holds). A line that begins with
// ";" is a comment and an empty line is nothing; both may stand anywhere. The uninstaller
// reads it with the section reader's ReadTrimmedLine, so trailing blanks of a line are
// not part of the name (a stored name never ends with a blank). The list names itself,
// the uninstaller and the settings file too: the uninstaller removes those three last.
#ifndef FERN_UNINSTALL_FILE_LIST_H
#define FERN_UNINSTALL_FILE_LIST_H

#include <stddef.h>

extern const char kFileListName[];     // "UnInst.lst"
extern const char kUninstallerName[];  // "UnInst.exe"
extern const char kSettingsFileName[];  // "install.env"
// The comment lines that open every list fernpack writes, each ending with "\r\n".
extern const char kFileListHeader[];

enum ListLineKind {
  kListNothing = 0,  // empty, or a comment
  kListFile = 1,
  kListFolder = 2,   // ends with a backslash that is a character of its own
};

// What a line of the list (trailing blanks already removed) names.
int ClassifyListLine(const char *line);

// True when the relative name is one of the uninstaller's own files (UnInst.exe,
// UnInst.lst, install.env) at the top of the InstallFolder, letters compared without
// regard to case as Windows compares names.
bool IsUninstallerOwnFile(const char *relative);

#endif
