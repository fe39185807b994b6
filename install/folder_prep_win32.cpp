// Making the InstallFolder ready: every missing level created, a probe file written and
// deleted, and a hidden batch job that gives everyone full access to the folder.
#include <windows.h>

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
