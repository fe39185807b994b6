// Making the InstallFolder ready: every missing level created, a probe file written and
// deleted, and a hidden batch job that gives everyone full access to the folder.
#include <windows.h>
#include <shlobj.h>

#include <stdio.h>
#include <string.h>

#include "install/folder_paths.h"
#include "install/install_steps.h"
#include "support/file_io.h"
#include "support/sjis.h"
#include "support/wide_win32.h"

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
  DWORD length = SjisGetFullPathName(folder, sizeof full, full);
  if (length == 0 || length >= sizeof full) return false;
  char canonical[kPathSize];
  length = SjisGetLongPathName(full, canonical, sizeof canonical);
  if (length == 0 || length >= sizeof canonical) CopyText(canonical, full, sizeof canonical);

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

// cmd reads a batch file in the console's code page, the OEM code page of the system: 932
// on a Japanese Windows, where the batch file holds the installer's own bytes, and 437,
// 850, 936... elsewhere. Whether every character of the Shift-JIS text has a form there.
bool ConsoleCanWrite(const char *text) {
  wchar_t wide[kWidePathSize];
  if (SjisToWide(text, wide, kWidePathSize) != 0) return false;
  if (GetOEMCP() == 932) return true;
  BOOL substituted = FALSE;
  int needed = WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0,
                                   nullptr, &substituted);
  return needed > 0 && !substituted;
}

// An existing path in a form the console's code page can write (kPathSize bytes): the path
// itself, or its short 8.3 form. -1 when neither will do: the grant is then not given.
int ConsoleForm(const char *path, char *out) {
  if (ConsoleCanWrite(path)) return CopyText(out, path, kPathSize) < kPathSize ? 0 : -1;
  wchar_t wide[kWidePathSize];
  wchar_t short_path[kWidePathSize];
  if (SjisToWide(path, wide, kWidePathSize) != 0) return -1;
  DWORD length = GetShortPathNameW(wide, short_path, kWidePathSize);
  if (length == 0 || length >= kWidePathSize) return -1;
  if (WideToSjis(short_path, out, kPathSize) != 0 || !ConsoleCanWrite(out)) {
    out[0] = '\0';
    return -1;
  }
  return 0;
}

// The batch text (Shift-JIS) in the console's code page, into size bytes; -1 when it does
// not fit or a character has no form there. Unchanged on a Japanese Windows.
int ToConsoleCodePage(const char *text, char *out, size_t size) {
  if (GetOEMCP() == 932) return CopyText(out, text, size) < size ? 0 : -1;
  wchar_t wide[kBatchSize];
  if (SjisToWide(text, wide, kBatchSize) != 0) return -1;
  BOOL substituted = FALSE;
  int written = WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, wide, -1, out, (int)size,
                                    nullptr, &substituted);
  return written > 0 && !substituted ? 0 : -1;
}

}  // namespace

int CreateFolderChain(const char *path) {
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
    if (!SjisSetCurrentDirectory(prefix) && !SjisCreateDirectory(prefix)) {
      result = 1;
      break;
    }
    if (strcmp(prefix, chain) == 0) break;
  }
  if (saved_length > 0 && saved_length < sizeof saved) SjisSetCurrentDirectory(saved);
  return result;
}

int TestFolderWritable(const char *folder) {
  char probe[kPathSize];
  if (JoinPath(probe, sizeof probe, folder, kProbeName) != 0) return 1;
  FILE *file = FileOpen(probe, "wb");
  if (!file) return 1;
  fclose(file);
  SjisDeleteFile(probe);
  return 0;
}

void GrantFullAccess(const char *folder) {
  char temp[kPathSize];
  DWORD length = SjisGetTempPath(sizeof temp, temp);
  if (length == 0 || length >= sizeof temp) return;
  // A player may type the Windows folder or Program Files itself as the destination; the
  // game is installed there as asked, but the folder's access list stays as it is.
  if (!GrantIsSafe(folder)) {
    SjisSetCurrentDirectory(temp);
    return;
  }
  char batch[kPathSize];
  char system_dir[kPathSize];
  UINT system_length = SjisGetSystemDirectory(system_dir, sizeof system_dir);
  if (JoinPath(batch, sizeof batch, temp, kBatchName) != 0 || system_length == 0 ||
      system_length >= sizeof system_dir) {
    return;
  }
  // The paths as the batch file names them: each in a form the console's code page can
  // write, so that cmd reads the very folders meant.
  char console_system[kPathSize];
  char console_folder[kPathSize];
  char console_temp[kPathSize];
  char console_batch[kPathSize];
  char console_companion[kPathSize];
  if (ConsoleForm(system_dir, console_system) != 0 || ConsoleForm(folder, console_folder) != 0 ||
      ConsoleForm(temp, console_temp) != 0 ||
      JoinPath(console_batch, sizeof console_batch, console_temp, kBatchName) != 0 ||
      ReplaceExtension(console_companion, sizeof console_companion, console_batch, "pif") != 0) {
    return;
  }
  char text[kBatchSize];
  if (FormatGrantBatch(text, sizeof text, console_system, console_folder, console_companion,
                       console_batch) != 0) {
    return;
  }
  char console_text[kBatchSize * 2];
  if (ToConsoleCodePage(text, console_text, sizeof console_text) != 0) return;
  // Nothing is started unless the whole batch file was written: a half-written one could
  // run a cut command line.
  FILE *file = FileOpen(batch, "w");
  if (!file) return;
  bool written = fputs(console_text, file) >= 0;
  if (fclose(file) != 0 || !written) {
    SjisDeleteFile(batch);
    return;
  }
  SjisSetCurrentDirectory(temp);
  // The command line is quoted: a temp folder with a blank must start the batch file,
  // not a program named after the path's first word.
  char command[kPathSize + 2];
  snprintf(command, sizeof command, "\"%s\"", batch);
  wchar_t wide_command[kWidePathSize + 2];
  if (SjisToWide(command, wide_command, kWidePathSize + 2) != 0) return;
  STARTUPINFOW startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process;
  memset(&process, 0, sizeof process);
  if (CreateProcessW(nullptr, wide_command, nullptr, nullptr, FALSE, IDLE_PRIORITY_CLASS,
                     nullptr, nullptr, &startup, &process)) {
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
}
