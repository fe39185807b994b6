// The bare removal of a folder tree under Wine, to set the uninstaller's time against: a
// depth-first walk that deletes every file and then the emptied folder, with no checks.
// A benchmark, not a test.
//
//   delete_bench_win32.exe <folder>
//
// Prints "RESULT delete <seconds> <files> <folders>".
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

namespace {

const int kPathChars = 32768;

int g_files = 0;
int g_folders = 0;

// Empties and removes the folder whose path is in path (its length is length); path is
// used as the walk's scratch and holds the folder's path again on return.
void RemoveTree(wchar_t *path, size_t length) {
  if (length + 3 >= (size_t)kPathChars) return;
  wcscpy(path + length, L"\\*");
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(path, &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) continue;
      size_t name = wcslen(found.cFileName);
      if (length + 1 + name >= (size_t)kPathChars) continue;
      path[length] = L'\\';
      wcscpy(path + length + 1, found.cFileName);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path, length + 1 + name);
      } else if (DeleteFileW(path)) {
        g_files++;
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  path[length] = 0;
  if (RemoveDirectoryW(path)) g_folders++;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc != 2) {
    fputs("usage: delete_bench_win32.exe <folder>\n", stderr);
    return 2;
  }
  static wchar_t path[kPathChars];
  if (wcslen(argv[1]) >= (size_t)kPathChars - 3) return 2;
  wcscpy(path, argv[1]);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  RemoveTree(path, wcslen(path));
  QueryPerformanceCounter(&end);
  printf("RESULT delete %.4f %d %d\n",
         (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart, g_files,
         g_folders);
  return 0;
}
