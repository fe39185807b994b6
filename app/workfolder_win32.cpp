#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "app/workfolder.h"
#include "support/messages.h"
#include "support/sjis.h"
#include "support/wide_win32.h"

namespace {

// Module state: the folders of this run and the plain-file search.
char g_start_folder[kPathSize];
char g_work_folder[kPathSize];  // empty when no WorkFolder could be formed

// Tick counts tried after the first when a folder of that name already exists, so that
// two runs started in the same millisecond do not share (and later delete) one folder.
const int kNameAttempts = 64;

struct PlainFileSearch {
  HANDLE handle = INVALID_HANDLE_VALUE;
  int step = -1;  // -1 ended, 1 first result pending, 0 next step calls SjisFindNextFile
  char pattern[kPathSize];
  WIN32_FIND_DATAA found;
  char result[kPathSize];
};
PlainFileSearch g_search;

// The drive and folder part of the pattern, up to and including its last separator.
size_t FolderPartLength(const char *pattern) {
  size_t length = 0;
  for (const char *p = pattern; *p; p += SjisCharLength(p)) {
    if (*p == '\\' || *p == '/' || *p == ':') length = (size_t)(p - pattern) + 1;
  }
  return length;
}

const char *ResultPath() {
  size_t folder_length = FolderPartLength(g_search.pattern);
  size_t name_length = strlen(g_search.found.cFileName);
  if (folder_length + name_length + 1 > sizeof g_search.result) return nullptr;
  memcpy(g_search.result, g_search.pattern, folder_length);
  memcpy(g_search.result + folder_length, g_search.found.cFileName, name_length + 1);
  return g_search.result;
}

bool FoundFolder() { return (g_search.found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

}  // namespace

const char *WorkFolder() { return g_work_folder; }
const char *StartFolder() { return g_start_folder; }

void CreateWorkFolder() {
  g_start_folder[0] = '\0';
  SjisGetCurrentDirectory(kPathSize - 1, g_start_folder);
  char temp_path[kPathSize];
  temp_path[0] = '\0';
  DWORD got = SjisGetTempPath(kPathSize - 1, temp_path);
  if (got == 0 && GetLastError() == ERROR_NO_UNICODE_TRANSLATION) {
    // The temp folder's name has a character Shift-JIS cannot write, and no short form:
    // nothing can be unpacked, and a name with "?" in its place would be another folder.
    ErrorBox("一時フォルダの名前に使用できない文字が含まれているため、起動できません。\n"
             "環境変数 TEMP を半角英数字だけのフォルダに設定して下さい。");
    exit(-1);
  }
  if (got == 0 || got >= kPathSize - 1) temp_path[0] = '\0';
  // Milliseconds since the system started, from kernel32 (which every process loads from
  // the system folder) rather than the multimedia library, whose DLL is not among those
  // Windows always takes from there.
  uint32_t tick = GetTickCount();
  for (int attempt = 0; attempt < kNameAttempts; attempt++, tick++) {
    // A temp path too long for the name leaves the WorkFolder empty: the preview then
    // fails with the damaged-package message and nothing is written or deleted elsewhere.
    if (temp_path[0] == '\0' ||
        BuildWorkFolderPath(temp_path, tick, g_work_folder, sizeof g_work_folder) != 0) {
      g_work_folder[0] = '\0';
      return;
    }
    if (SjisCreateDirectory(g_work_folder)) {
      SjisSetCurrentDirectory(g_work_folder);
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  // No folder of our own could be made: the WorkFolder stays empty, so start-up takes its
  // failure path instead of using (and later emptying) a folder that someone else owns.
  g_work_folder[0] = '\0';
}

void RemoveWorkFolder() {
  SjisSetCurrentDirectory(g_start_folder);
  if (g_work_folder[0] == '\0') return;
  DeleteFolderFiles(g_work_folder, "*.*");
  SjisRemoveDirectory(g_work_folder);
}

void DeleteFolderFiles(const char *folder, const char *pattern) {
  char saved[kPathSize];
  saved[0] = '\0';
  SjisGetCurrentDirectory(kPathSize, saved);
  // Deleting "*.*" anywhere but in the folder asked for would destroy unrelated files.
  if (!SjisSetCurrentDirectory(folder)) return;
  if (FirstPlainFile(pattern) == 0) {
    while (const char *path = NextPlainFile()) SjisDeleteFile(path);
  }
  SjisSetCurrentDirectory(saved);
}

int FirstPlainFile(const char *pattern) {
  if (g_search.handle != INVALID_HANDLE_VALUE) FindClose(g_search.handle);
  g_search.handle = INVALID_HANDLE_VALUE;
  g_search.step = -1;
  CopyText(g_search.pattern, pattern, sizeof g_search.pattern);
  HANDLE handle = SjisFindFirstFile(g_search.pattern, &g_search.found);
  if (handle == INVALID_HANDLE_VALUE) return 1;
  g_search.handle = handle;
  g_search.step = 1;
  return 0;
}

const char *NextPlainFile() {
  if (g_search.handle == INVALID_HANDLE_VALUE || g_search.step == -1) return nullptr;
  for (;;) {
    if (g_search.step == 1) {
      g_search.step = 0;
    } else if (!SjisFindNextFile(g_search.handle, &g_search.found)) {
      FindClose(g_search.handle);
      g_search.handle = INVALID_HANDLE_VALUE;
      g_search.step = -1;
      return nullptr;
    }
    if (!FoundFolder()) {
      const char *path = ResultPath();
      if (path != nullptr) return path;
    }
  }
}
