#include "support/file_io.h"

#include <windows.h>

#include <io.h>

int FileSeek(FILE *file, int64_t offset, int whence) { return _fseeki64(file, offset, whence); }

int64_t FileTell(FILE *file) { return _ftelli64(file); }

int MakeFolder(const char *path) {
  if (CreateDirectoryA(path, nullptr)) return 0;
  DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
  return -1;
}

namespace {

int SetHandleLastWrite(HANDLE handle, uint64_t file_time) {
  FILETIME last_write;
  last_write.dwLowDateTime = (DWORD)file_time;
  last_write.dwHighDateTime = (DWORD)(file_time >> 32);
  return SetFileTime(handle, nullptr, nullptr, &last_write) ? 0 : -1;
}

}  // namespace

int SetFileLastWrite(const char *path, uint64_t file_time) {
  HANDLE handle = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return -1;
  int result = SetHandleLastWrite(handle, file_time);
  CloseHandle(handle);
  return result;
}

int SetOpenFileLastWrite(FILE *file, uint64_t file_time) {
  // The file system stops moving a time that was set explicitly through the handle, so
  // closing it later keeps this one.
  HANDLE handle = (HANDLE)_get_osfhandle(_fileno(file));
  if (handle == INVALID_HANDLE_VALUE) return -1;
  return SetHandleLastWrite(handle, file_time);
}
