// Making the InstallFolder ready: every missing level created, a probe file written and
// deleted, and a hidden cacls run that gives everyone full access to the game's folder.
#include <windows.h>
#include <shlobj.h>

#include <stdio.h>
#include <string.h>

#include "install/folder_paths.h"
#include "install/folder_rules.h"
#include "install/install_steps.h"
#include "install/protected_folder.h"
#include "settings/settings_file.h"
#include "support/file_io.h"
#include "support/sjis.h"
#include "support/wide_win32.h"
#include "uninstall/file_list.h"
#include "uninstall/removal_rules.h"

namespace {

enum {
  kMaxLevels = 998,  // the chain stops after this many levels, whatever the path
};

// The shared folders that no installation may open to everyone, nor anything above them:
// the program and shared-data folders, whose access lists every folder below inherits,
// and the player's own folders.
const int kSharedFolders[] = {
    CSIDL_PROGRAM_FILES,    CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
    CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_COMMON_APPDATA, CSIDL_COMMON_DOCUMENTS,
    CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_STARTMENU, CSIDL_DESKTOPDIRECTORY,
    CSIDL_PERSONAL,         CSIDL_MYMUSIC,          CSIDL_MYPICTURES,
    CSIDL_MYVIDEO,          CSIDL_FAVORITES,        CSIDL_APPDATA,
    CSIDL_LOCAL_APPDATA,    CSIDL_STARTMENU,        CSIDL_PROFILE};
enum { kSharedCount = sizeof kSharedFolders / sizeof kSharedFolders[0] };

// Whether the grant may be given to the resolved folder (GrantAllowed): not in the Windows
// folder, and neither one of the shared folders nor above one.
bool GrantIsSafe(const char *canonical) {
  char windows[kPathSize];
  UINT windows_length = SjisGetWindowsDirectory(windows, sizeof windows);
  if (windows_length == 0 || windows_length >= sizeof windows) return false;
  const char *inside[] = {windows};

  // The shared folders, the 64-bit program folder as a 32-bit program sees it, and the
  // folder that holds the user profiles.
  char shared[kSharedCount + 2][kPathSize];
  const char *not_above[kSharedCount + 2];
  for (int i = 0; i < kSharedCount; i++) {
    if (FAILED(SjisGetFolderPath(kSharedFolders[i], SHGFP_TYPE_CURRENT, shared[i]))) {
      shared[i][0] = '\0';
    }
    not_above[i] = shared[i];
  }
  DWORD wide_length = SjisGetEnvironmentVariable("ProgramW6432", shared[kSharedCount], kPathSize);
  if (wide_length == 0 || wide_length >= kPathSize) shared[kSharedCount][0] = '\0';
  not_above[kSharedCount] = shared[kSharedCount];
  // C:\Users\player -> C:\Users (CSIDL_PROFILE comes last), never a bare drive.
  char *profiles = shared[kSharedCount + 1];
  if (!ParentFolder(profiles, kPathSize, shared[kSharedCount - 1]) || strlen(profiles) <= 2) {
    profiles[0] = '\0';
  }
  not_above[kSharedCount + 1] = profiles;
  return GrantAllowed(canonical, inside, 1, not_above, kSharedCount + 2);
}

// The folder's own path when the way to it crosses no link and no substituted drive:
// Windows's final path of the folder must then be its full path with long names. On
// Windows XP, which gives no final paths, every level is looked at for a reparse point
// and the drive for a substitution. false when the way crosses one (or cannot be told).
bool ResolvedWithoutLinks(const char *folder, char *canonical) {
  char full[kPathSize];
  char long_path[kPathSize];
  DWORD length = SjisGetFullPathName(folder, sizeof full, full);
  if (length == 0 || length >= sizeof full) return false;
  length = SjisGetLongPathName(full, long_path, sizeof long_path);
  if (length == 0 || length >= sizeof long_path) return false;
  if (FinalPathsAvailable()) {
    return ResolveFolder(long_path, canonical) && SameNameIgnoringCase(canonical, long_path);
  }
  CopyText(canonical, long_path, kPathSize);
  for (int level = 1; level <= kMaxLevels; level++) {
    char prefix[kPathSize];
    if (FolderPrefix(long_path, prefix, sizeof prefix, level) != 0) return false;
    DWORD attributes = SjisGetFileAttributes(prefix);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return false;
    }
    if (strcmp(prefix, long_path) == 0) break;
  }
  wchar_t drive[3] = {(wchar_t)(unsigned char)long_path[0], L':', 0};
  wchar_t device[kWidePathSize];
  if (QueryDosDeviceW(drive, device, kWidePathSize) == 0) return false;
  return wcsncmp(device, L"\\??\\", 4) != 0;  // "\??\C:\..." is a substituted drive
}

// Whether the folder holds this game's settings file from an earlier installation: a
// plain file whose TITLEBAR is this package's.
bool HoldsThisGame(const char *folder) {
  char path[kPathSize];
  if (JoinPath(path, sizeof path, folder, kSettingsFileName) != 0) return false;
  DWORD attributes = SjisGetFileAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    return false;
  }
  FILE *file = FileOpen(path, "rt");
  if (file == nullptr) return false;
  char title[kSettingTextSize];
  bool same = ReadSettingFromStream(file, "TITLEBAR", title, sizeof title) == 0 &&
              strcmp(title, GetTitleBar()) == 0;
  fclose(file);
  return same;
}

}  // namespace

int CreateFolderChain(const char *path, int *created) {
  *created = 0;
  char chain[kPathSize];
  if (ChainPath(path, chain, sizeof chain) != 0) return 1;
  char saved[kPathSize];
  DWORD saved_length = SjisGetCurrentDirectory(sizeof saved, saved);
  int result = 0;
  for (int level = 1; level <= kMaxLevels; level++) {
    char prefix[kPathSize];
    if (FolderPrefix(chain, prefix, sizeof prefix, level) != 0) {
      result = 1;
      break;
    }
    bool last = strcmp(prefix, chain) == 0;
    if (!SjisSetCurrentDirectory(prefix)) {
      if (!SjisCreateDirectory(prefix)) {
        result = 1;
        break;
      }
      (*created)++;
    }
    if (last) break;
  }
  if (saved_length > 0 && saved_length < sizeof saved) SjisSetCurrentDirectory(saved);
  return result;
}

void RemoveCreatedChain(const char *path, int levels) {
  char folder[kPathSize];
  if (ChainPath(path, folder, sizeof folder) != 0) return;
  for (int i = 0; i < levels; i++) {
    // A folder that is not empty stays, and with it every folder above.
    if (!SjisRemoveDirectory(folder)) return;
    char parent[kPathSize];
    if (!ParentFolder(parent, sizeof parent, folder)) return;
    CopyText(folder, parent, sizeof folder);
  }
}

int TestFolderWritable(const char *folder) {
  char probe[kPathSize];
  if (JoinPath(probe, sizeof probe, folder, kProbeFileName) != 0) return 1;
  FILE *file = FileOpen(probe, "wb");
  if (!file) return 1;
  fclose(file);
  SjisDeleteFile(probe);
  return 0;
}

void GrantFullAccess(const char *folder, int created) {
  char temp[kPathSize];
  DWORD length = SjisGetTempPath(sizeof temp, temp);
  if (length > 0 && length < sizeof temp) SjisSetCurrentDirectory(temp);
  // Only the game's own folder is opened to everyone: one this installation made, or one
  // that an earlier installation of this game made, reached through no link and no
  // substituted drive, and not a system, program or user folder. A player may type any of
  // those as the destination; the game is installed there as asked, but the folder's
  // access list stays as it is.
  char canonical[kPathSize];
  if ((!created && !HoldsThisGame(folder)) || !ResolvedWithoutLinks(folder, canonical) ||
      !GrantIsSafe(canonical)) {
    return;
  }
  // cacls from the system folder, started directly with its arguments quoted: no batch
  // file that another process could change before it runs, and no command interpreter
  // to expand parts of a name. It adds an entry for everyone (/e) and asks nothing.
  char system_dir[kPathSize];
  char program[kPathSize];
  UINT system_length = SjisGetSystemDirectory(system_dir, sizeof system_dir);
  if (system_length == 0 || system_length >= sizeof system_dir ||
      JoinPath(program, sizeof program, system_dir, "cacls.exe") != 0) {
    return;
  }
  char command[kPathSize * 2 + 64];
  int n = snprintf(command, sizeof command, "\"%s\" \"%s\" /e /g everyone:F", program, canonical);
  wchar_t wide_program[kWidePathSize];
  wchar_t wide_command[kPathSize * 2 + 64];
  if (n < 0 || (size_t)n >= sizeof command ||
      SjisToWide(program, wide_program, kWidePathSize) != 0 ||
      SjisToWide(command, wide_command, kPathSize * 2 + 64) != 0) {
    return;
  }
  STARTUPINFOW startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process;
  memset(&process, 0, sizeof process);
  if (CreateProcessW(wide_program, wide_command, nullptr, nullptr, FALSE,
                     IDLE_PRIORITY_CLASS | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                     &process)) {
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
}
