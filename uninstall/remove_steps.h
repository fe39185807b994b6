// The uninstaller's removal steps, each a thin Win32 body over the decisions of
// removal_rules and file_list. RunRemoval calls them in order. Windows only; not
// reentrant (one run per process, in module state).
#ifndef FERN_UNINSTALL_REMOVE_STEPS_H
#define FERN_UNINSTALL_REMOVE_STEPS_H

#include "settings/section_lists.h"
#include "uninstall/report.h"

// What a run left behind, for the final message.
struct RemovalOutcome {
  RemovalReport *failed;   // files, shortcuts and registry values that remained
  RemovalReport *refused;  // list lines that were refused, with the reason
  int game_left;           // a file of the game remained: the uninstaller kept itself,
                           // its list, install.env and the uninstall entry for a rerun
  int folder_left;         // the InstallFolder still exists
};

// How many existing files the lines name (patterns expanded), refused lines not counted;
// the uninstaller asks about the saved games only when there is one.
int CountNamedFiles(const char *folder, const SectionLine *lines);

// Removes, in this order: the files of UnInst.lst and of [delfiles] (the uninstaller's
// own three files excepted), the [delfiles_user] files when saved_games is set, the
// shortcuts that point into the folder, the [reg] values and the uninstall entry, then
// the uninstaller's own files, the emptied folders and the InstallFolder when it is
// empty. When a game file could not be removed (the game is running, say), the
// uninstaller's own files, its Start-menu shortcut and the uninstall entry stay, so that
// it can be run again. folder is the InstallFolder without a trailing backslash; the
// settings and the section lists must be loaded.
//
// kept is the protected copy's folder when that copy runs (null otherwise): the list is
// then read there and not in the InstallFolder, the shortcut and the uninstall entry that
// start the copy count as this installation's, and at the end its list, settings file
// and UnInst.dir are deleted too (the caller has its program and folder deleted when
// Windows next starts).
RemovalOutcome RunRemoval(const char *folder, const char *kept, int saved_games);

#endif
