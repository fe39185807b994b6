// Decisions about the destination folder, without Windows: the proposal shown in the
// folder dialog, what a pick in the folder browser turns into, and the normalisation of
// whatever the player typed into a drive-letter path. The Win32 layer (folder_choice_win32)
// supplies the Windows folder and the settings, and shows the messages.
//
// Every text is Shift-JIS; every search for "\\", ":" and "/" steps over double-byte
// characters, except the network test and the INSTTO test, which are plain byte searches
// (see NormaliseInstallFolder).
#ifndef FERN_INSTALL_FOLDER_RULES_H
#define FERN_INSTALL_FOLDER_RULES_H

#include <stddef.h>

// What the settings say about the destination. inst_fol is null when INSTFOL is missing.
struct FolderSettings {
  const char *windows_dir;  // GetWindowsDirectoryA's text, such as "C:\\windows"
  const char *inst_fol;     // INSTFOL, or null
  const char *inst_to;      // INSTTO
  int inst_make_fol;        // INSTMAKEFOL
};

// Results of NormaliseInstallFolder.
enum FolderVerdict {
  kFolderAccepted = 0,  // the candidate now holds the final drive-letter path
  kFolderNetwork,       // a "\\\\" pair: a network path (or a doubled separator)
  kFolderRoot,          // the text names a drive root
  kFolderTooLong,       // the normalised text would not fit the buffer
};

// Writes the proposal: the Windows drive's root, "Program Files\\", INSTFOL and "\\" when
// present, then INSTTO. Returns 0, or -1 when it would not fit: a cut path would propose
// a folder the settings never named, so the caller refuses it.
int BuildProposedFolder(char *candidate, size_t size, const FolderSettings *settings);

// The folder browser's pick: the picked path, then INSTFOL unless the path already
// contains it (searched character-wise), then always INSTTO, each after AppendBackslash.
// Returns 0, or -1 with the candidate unchanged when the result would not fit.
int ApplyBrowsedFolder(char *candidate, size_t size, const char *picked,
                       const FolderSettings *settings);

// The steps after the dialog, in place, in order: "/" to "\\"; the network test; the
// final backslash stripped; the folder extension (INSTMAKEFOL); the drive prefix taken
// from the Windows folder; "\\" after the drive's ":"; "." and ".." components taken out
// as Windows takes them ("C:\\Games\\.." is "C:\\"); the root test. On any verdict but
// kFolderAccepted the candidate holds the text as far as it got.
FolderVerdict NormaliseInstallFolder(char *candidate, size_t size,
                                     const FolderSettings *settings);

// The probe file that the installer writes into the folder to see that it may write there.
extern const char kProbeFileName[];  // "UserAccountCheck.id"

// Whether folder\UserAccountCheck.id fits a path of kPathSize bytes: a longer folder is
// refused as too long before anything is created.
bool FolderLeavesRoom(const char *folder);

#endif
