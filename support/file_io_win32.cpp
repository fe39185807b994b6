#include "support/file_io.h"

#include <windows.h>

#include <direct.h>
#include <errno.h>
#include <io.h>
#include <stdlib.h>

#include "support/wide_text.h"

FILE *FileOpen(const char *path, const char *mode) {
  wchar_t wide_path[kWidePathSize];
  wchar_t wide_mode[8];
  if (SjisToWide(path, wide_path, kWidePathSize) != 0 || SjisToWide(mode, wide_mode, 8) != 0) {
    errno = EILSEQ;
    return nullptr;
  }
  return _wfopen(wide_path, wide_mode);
}

int FileSeek(FILE *file, int64_t offset, int whence) { return _fseeki64(file, offset, whence); }

int64_t FileTell(FILE *file) { return _ftelli64(file); }

int MakeFolder(const char *path) {
  wchar_t wide[kWidePathSize];
  if (SjisToWide(path, wide, kWidePathSize) != 0) {
    errno = EILSEQ;
    return -1;
  }
  // The C library's call sets errno from the system's error as its file opens do, so a
  // refused or full drive reads the same here as for a file.
  if (_wmkdir(wide) == 0) return 0;
  int error = errno;
  DWORD attributes = GetFileAttributesW(wide);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
  errno = error;
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
  wchar_t wide[kWidePathSize];
  if (SjisToWide(path, wide, kWidePathSize) != 0) return -1;
  HANDLE handle = CreateFileW(wide, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
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
