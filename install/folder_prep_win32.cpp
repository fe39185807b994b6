// Making the InstallFolder ready: every missing level created, a probe file written and
// deleted, and a hidden batch job that gives everyone full access to the folder.
#include <windows.h>
#include <shlobj.h>

#include <stdio.h>
#include <string.h>

#include "install/folder_paths.h"
#include "install/install_steps.h"
#include "support/sjis.h"

namespace {

enum {
  kMaxLevels = 998,     // the chain stops after this many levels, whatever the path
  kBatchSize = 2048,    // three lines, each with a path of up to 259 bytes doubled
};

const char kProbeName[] = "UserAccountCheck.id";
const char kBatchName[] = "Fernstall_fullaccess.bat";

// The shared folders that no installation may open to everyone, nor anything above them.
const int kSharedFolders[] = {CSIDL_PROGRAM_FILES,        CSIDL_PROGRAM_FILESX86,
                              CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86,
                              CSIDL_COMMON_APPDATA,       CSIDL_COMMON_DOCUMENTS,
                              CSIDL_PROFILE};
enum { kSharedCount = sizeof kSharedFolders / sizeof kSharedFolders[0] };

// Whether the grant may be given to folder (GrantAllowed), with the folder written out in
// full and long names first, so that "C:\PROGRA~1" or "C:\Games\..\Windows" is seen for
// what it is. Any doubt keeps the folder's access as it is.
bool GrantIsSafe(const char *folder) {
  char full[kPathSize];
  DWORD length = GetFullPathNameA(folder, sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return false;
  char canonical[kPathSize];
  length = GetLongPathNameA(full, canonical, sizeof canonical);
  if (length == 0 || length >= sizeof canonical) CopyText(canonical, full, sizeof canonical);

  char windows[kPathSize];
  UINT windows_length = GetWindowsDirectoryA(windows, sizeof windows);
  if (windows_length == 0 || windows_length >= sizeof windows) return false;
  const char *inside[] = {windows};

  // The shared folders, the 64-bit program folder as a 32-bit program sees it, and the
  // folder that holds the user profiles.
  char shared[kSharedCount + 2][kPathSize];
  const char *not_above[kSharedCount + 2];
  for (int i = 0; i < kSharedCount; i++) {
    if (FAILED(SHGetFolderPathA(nullptr, kSharedFolders[i], nullptr, SHGFP_TYPE_CURRENT,
                                shared[i]))) {
      shared[i][0] = '\0';
    }
    not_above[i] = shared[i];
  }
  DWORD wide_length = GetEnvironmentVariableA("ProgramW6432", shared[kSharedCount], kPathSize);
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

}  // namespace

int CreateFolderChain(const char *path) {
  char chain[kPathSize];
  if (ChainPath(path, chain, sizeof chain) != 0) return 1;
  char saved[kPathSize];
  DWORD saved_length = GetCurrentDirectoryA(sizeof saved, saved);
  int result = 0;
  for (int level = 1; level <= kMaxLevels; level++) {
    char prefix[kPathSize];
    if (FolderPrefix(chain, prefix, sizeof prefix, level) != 0) {
      result = 1;
      break;
    }
    if (!SetCurrentDirectoryA(prefix) && !CreateDirectoryA(prefix, nullptr)) {
      result = 1;
      break;
    }
    if (strcmp(prefix, chain) == 0) break;
  }
  if (saved_length > 0 && saved_length < sizeof saved) SetCurrentDirectoryA(saved);
  return result;
}

int TestFolderWritable(const char *folder) {
  char probe[kPathSize];
  if (JoinPath(probe, sizeof probe, folder, kProbeName) != 0) return 1;
  FILE *file = fopen(probe, "wb");
  if (!file) return 1;
  fclose(file);
  DeleteFileA(probe);
  return 0;
}

void GrantFullAccess(const char *folder) {
  char temp[kPathSize];
  DWORD length = GetTempPathA(sizeof temp, temp);
  if (length == 0 || length >= sizeof temp) return;
  // A player may type the Windows folder or Program Files itself as the destination; the
  // game is installed there as asked, but the folder's access list stays as it is.
  if (!GrantIsSafe(folder)) {
    SetCurrentDirectoryA(temp);
    return;
  }
  char batch[kPathSize];
  char companion[kPathSize];
  char system_dir[kPathSize];
  UINT system_length = GetSystemDirectoryA(system_dir, sizeof system_dir);
  if (JoinPath(batch, sizeof batch, temp, kBatchName) != 0 ||
      ReplaceExtension(companion, sizeof companion, batch, "pif") != 0 ||
      system_length == 0 || system_length >= sizeof system_dir) {
    return;
  }
  char text[kBatchSize];
  if (FormatGrantBatch(text, sizeof text, system_dir, folder, companion, batch) != 0) return;
  // Nothing is started unless the whole batch file was written: a half-written one could
  // run a cut command line.
  FILE *file = fopen(batch, "w");
  if (!file) return;
  bool written = fputs(text, file) >= 0;
  if (fclose(file) != 0 || !written) {
    DeleteFileA(batch);
    return;
  }
  SetCurrentDirectoryA(temp);
  // The command line is quoted: a temp folder with a blank must start the batch file,
  // not a program named after the path's first word.
  char command[kPathSize + 2];
  snprintf(command, sizeof command, "\"%s\"", batch);
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process;
  memset(&process, 0, sizeof process);
  if (CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, IDLE_PRIORITY_CLASS, nullptr,
                     nullptr, &startup, &process)) {
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
}
