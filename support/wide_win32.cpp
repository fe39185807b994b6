#include "support/wide_win32.h"

#include <string.h>

namespace {

// Decodes a name for a call; false (last error ERROR_NO_UNICODE_TRANSLATION) when it is not
// Shift-JIS or longer than a path.
bool WideName(const char *name, wchar_t *wide) {
  if (SjisToWide(name, wide, kWidePathSize) == 0) return true;
  SetLastError(ERROR_NO_UNICODE_TRANSLATION);
  return false;
}

// A length returned by a wide call that writes a path into kWidePathSize units.
bool FitsWide(DWORD length) { return length > 0 && length < kWidePathSize; }

}  // namespace

DWORD WidePathToSjis(const wchar_t *wide, char *path, DWORD size) {
  if (size > 0) path[0] = '\0';
  int converted = WideToSjis(wide, path, size);
  if (converted == -1) return size;
  if (converted == kWideNoSjisForm) {
    wchar_t short_path[kWidePathSize];
    DWORD length = GetShortPathNameW(wide, short_path, kWidePathSize);
    if (!FitsWide(length)) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
    converted = WideToSjis(short_path, path, size);
    if (converted == -1) return size;
    if (converted != 0) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
  }
  return (DWORD)strlen(path);
}

namespace {

// The answer of a wide call that wrote length units of a path into wide, given back like
// the byte-string call's: 0 on failure, size when it does not fit, else its length.
DWORD GivenPath(DWORD length, const wchar_t *wide, char *path, DWORD size) {
  if (length == 0) return 0;
  if (length >= kWidePathSize) return size;
  return WidePathToSjis(wide, path, size);
}

}  // namespace

BOOL SjisCreateDirectory(const char *path) {
  wchar_t wide[kWidePathSize];
  return WideName(path, wide) && CreateDirectoryW(wide, nullptr);
}

DWORD SjisGetFileAttributes(const char *path) {
  wchar_t wide[kWidePathSize];
  return WideName(path, wide) ? GetFileAttributesW(wide) : INVALID_FILE_ATTRIBUTES;
}

BOOL SjisSetFileAttributes(const char *path, DWORD attributes) {
  wchar_t wide[kWidePathSize];
  return WideName(path, wide) && SetFileAttributesW(wide, attributes);
}

BOOL SjisDeleteFile(const char *path) {
  wchar_t wide[kWidePathSize];
  return WideName(path, wide) && DeleteFileW(wide);
}

BOOL SjisRemoveDirectory(const char *path) {
  wchar_t wide[kWidePathSize];
  return WideName(path, wide) && RemoveDirectoryW(wide);
}

BOOL SjisSetCurrentDirectory(const char *path) {
  wchar_t wide[kWidePathSize];
  return WideName(path, wide) && SetCurrentDirectoryW(wide);
}

BOOL SjisCopyFile(const char *from, const char *to, BOOL fail_if_exists) {
  wchar_t wide_from[kWidePathSize];
  wchar_t wide_to[kWidePathSize];
  return WideName(from, wide_from) && WideName(to, wide_to) &&
         CopyFileW(wide_from, wide_to, fail_if_exists);
}

BOOL SjisMoveFileEx(const char *from, const char *to, DWORD flags) {
  wchar_t wide_from[kWidePathSize];
  wchar_t wide_to[kWidePathSize];
  if (!WideName(from, wide_from)) return FALSE;
  if (to == nullptr) return MoveFileExW(wide_from, nullptr, flags);
  return WideName(to, wide_to) && MoveFileExW(wide_from, wide_to, flags);
}

UINT SjisGetDriveType(const char *root) {
  wchar_t wide[kWidePathSize];
  return WideName(root, wide) ? GetDriveTypeW(wide) : DRIVE_UNKNOWN;
}

BOOL SjisGetDiskFreeSpaceEx(const char *path, ULARGE_INTEGER *available) {
  wchar_t wide[kWidePathSize];
  return WideName(path, wide) && GetDiskFreeSpaceExW(wide, available, nullptr, nullptr);
}

HANDLE SjisCreateMutex(const char *name, BOOL initial_owner) {
  wchar_t wide[kWidePathSize];
  return WideName(name, wide) ? CreateMutexW(nullptr, initial_owner, wide) : nullptr;
}

HANDLE SjisCreateFile(const char *path, DWORD access, DWORD share, DWORD disposition,
                      DWORD flags) {
  wchar_t wide[kWidePathSize];
  if (!WideName(path, wide)) return INVALID_HANDLE_VALUE;
  return CreateFileW(wide, access, share, nullptr, disposition, flags, nullptr);
}

DWORD SjisGetCurrentDirectory(DWORD size, char *path) {
  wchar_t wide[kWidePathSize];
  return GivenPath(GetCurrentDirectoryW(kWidePathSize, wide), wide, path, size);
}

DWORD SjisGetTempPath(DWORD size, char *path) {
  wchar_t wide[kWidePathSize];
  return GivenPath(GetTempPathW(kWidePathSize, wide), wide, path, size);
}

DWORD SjisGetModuleFileName(HMODULE module, char *path, DWORD size) {
  wchar_t wide[kWidePathSize];
  return GivenPath(GetModuleFileNameW(module, wide, kWidePathSize), wide, path, size);
}

UINT SjisGetWindowsDirectory(char *path, UINT size) {
  wchar_t wide[kWidePathSize];
  return GivenPath(GetWindowsDirectoryW(wide, kWidePathSize), wide, path, size);
}

UINT SjisGetSystemDirectory(char *path, UINT size) {
  wchar_t wide[kWidePathSize];
  return GivenPath(GetSystemDirectoryW(wide, kWidePathSize), wide, path, size);
}

DWORD SjisGetFullPathName(const char *path, DWORD size, char *full) {
  wchar_t wide[kWidePathSize];
  wchar_t wide_full[kWidePathSize];
  if (!WideName(path, wide)) return 0;
  return GivenPath(GetFullPathNameW(wide, kWidePathSize, wide_full, nullptr), wide_full, full,
                   size);
}

DWORD SjisGetLongPathName(const char *path, char *long_path, DWORD size) {
  wchar_t wide[kWidePathSize];
  wchar_t wide_long[kWidePathSize];
  if (!WideName(path, wide)) return 0;
  return GivenPath(GetLongPathNameW(wide, wide_long, kWidePathSize), wide_long, long_path,
                   size);
}

DWORD SjisGetEnvironmentVariable(const char *name, char *value, DWORD size) {
  wchar_t wide_name[kWidePathSize];
  wchar_t wide[kWidePathSize];
  if (!WideName(name, wide_name)) return 0;
  return GivenPath(GetEnvironmentVariableW(wide_name, wide, kWidePathSize), wide, value, size);
}

HRESULT SjisGetFolderPath(int csidl, DWORD flags, char *path) {
  path[0] = '\0';
  wchar_t wide[MAX_PATH];
  HRESULT result = SHGetFolderPathW(nullptr, csidl, nullptr, flags, wide);
  if (FAILED(result)) return result;
  DWORD length = WidePathToSjis(wide, path, kPathSize);
  if (length == 0 || length >= kPathSize) {
    path[0] = '\0';
    return E_FAIL;
  }
  return result;
}

BOOL SjisGetPathFromIDList(LPCITEMIDLIST list, char *path) {
  path[0] = '\0';
  wchar_t wide[MAX_PATH];
  if (!SHGetPathFromIDListW(list, wide)) return FALSE;
  DWORD length = WidePathToSjis(wide, path, kPathSize);
  if (length == 0 || length >= kPathSize) {
    path[0] = '\0';
    return FALSE;
  }
  return TRUE;
}

namespace {

// Fills the byte-string find data from the wide one; false when the name cannot be given
// in Shift-JIS at all.
bool NarrowFound(const WIN32_FIND_DATAW &wide, WIN32_FIND_DATAA *found) {
  memset(found, 0, sizeof *found);
  found->dwFileAttributes = wide.dwFileAttributes;
  found->ftCreationTime = wide.ftCreationTime;
  found->ftLastAccessTime = wide.ftLastAccessTime;
  found->ftLastWriteTime = wide.ftLastWriteTime;
  found->nFileSizeHigh = wide.nFileSizeHigh;
  found->nFileSizeLow = wide.nFileSizeLow;
  found->dwReserved0 = wide.dwReserved0;
  found->dwReserved1 = wide.dwReserved1;
  WideToSjis(wide.cAlternateFileName, found->cAlternateFileName,
             sizeof found->cAlternateFileName);
  if (WideToSjis(wide.cFileName, found->cFileName, sizeof found->cFileName) == 0) return true;
  if (found->cAlternateFileName[0] == '\0') return false;
  memcpy(found->cFileName, found->cAlternateFileName, sizeof found->cAlternateFileName);
  return true;
}

// Steps on from the current wide entry until one that can be given; false at the end.
bool NextNameable(HANDLE find, WIN32_FIND_DATAW *wide, WIN32_FIND_DATAA *found, bool fresh) {
  if (!fresh && !FindNextFileW(find, wide)) return false;
  while (!NarrowFound(*wide, found)) {
    if (!FindNextFileW(find, wide)) return false;
  }
  return true;
}

}  // namespace

HANDLE SjisFindFirstFile(const char *pattern, WIN32_FIND_DATAA *found) {
  wchar_t wide_pattern[kWidePathSize];
  if (!WideName(pattern, wide_pattern)) return INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW wide;
  HANDLE find = FindFirstFileW(wide_pattern, &wide);
  if (find == INVALID_HANDLE_VALUE) return find;
  if (!NextNameable(find, &wide, found, true)) {
    FindClose(find);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return find;
}

BOOL SjisFindNextFile(HANDLE find, WIN32_FIND_DATAA *found) {
  WIN32_FIND_DATAW wide;
  return NextNameable(find, &wide, found, false);
}

BOOL SjisSetWindowText(HWND window, const char *text) {
  wchar_t wide[kShownSize];
  SjisToWideShown(text, wide, kShownSize);
  return SetWindowTextW(window, wide);
}

BOOL SjisSetDlgItemText(HWND dialog, int id, const char *text) {
  wchar_t wide[kShownSize];
  SjisToWideShown(text, wide, kShownSize);
  return SetDlgItemTextW(dialog, id, wide);
}

int SjisMessageBox(HWND owner, const char *text, const char *caption, UINT style) {
  wchar_t wide_text[kShownSize];
  wchar_t wide_caption[kShownSize];
  SjisToWideShown(text, wide_text, kShownSize);
  SjisToWideShown(caption, wide_caption, kShownSize);
  return MessageBoxW(owner, wide_text, wide_caption, style);
}

int SjisGetWindowText(HWND window, char *text, int size) {
  if (size <= 0) return -1;
  text[0] = '\0';
  wchar_t wide[kShownSize];
  int length = GetWindowTextLengthW(window);
  if (length >= kShownSize) return -1;
  GetWindowTextW(window, wide, kShownSize);
  return WideToSjis(wide, text, (size_t)size) == 0 ? (int)strlen(text) : -1;
}

LONG SjisRegCreateKey(HKEY root, const char *path, REGSAM access, HKEY *key) {
  wchar_t wide[kShownSize];
  if (SjisToWide(path, wide, kShownSize) != 0) return ERROR_NO_UNICODE_TRANSLATION;
  return RegCreateKeyExW(root, wide, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key,
                         nullptr);
}

LONG SjisRegOpenKey(HKEY root, const char *path, REGSAM access, HKEY *key) {
  wchar_t wide[kShownSize];
  if (SjisToWide(path, wide, kShownSize) != 0) return ERROR_NO_UNICODE_TRANSLATION;
  return RegOpenKeyExW(root, wide, 0, access, key);
}

LONG SjisRegDeleteKey(HKEY root, const char *path) {
  wchar_t wide[kShownSize];
  if (SjisToWide(path, wide, kShownSize) != 0) return ERROR_NO_UNICODE_TRANSLATION;
  return RegDeleteKeyW(root, wide);
}

LONG SjisRegDeleteValue(HKEY key, const char *name) {
  wchar_t wide[kShownSize];
  if (SjisToWide(name, wide, kShownSize) != 0) return ERROR_NO_UNICODE_TRANSLATION;
  return RegDeleteValueW(key, wide);
}

LONG SjisRegSetString(HKEY key, const char *name, const char *text) {
  wchar_t wide_name[kShownSize];
  wchar_t wide_text[kShownSize];
  if (SjisToWide(name != nullptr ? name : "", wide_name, kShownSize) != 0 ||
      SjisToWide(text, wide_text, kShownSize) != 0) {
    return ERROR_NO_UNICODE_TRANSLATION;
  }
  DWORD bytes = (DWORD)((wcslen(wide_text) + 1) * sizeof(wchar_t));
  return RegSetValueExW(key, wide_name, 0, REG_SZ, (const BYTE *)wide_text, bytes);
}

LONG SjisRegQueryString(HKEY key, const char *name, DWORD *type, char *text, size_t size) {
  if (size > 0) text[0] = '\0';
  wchar_t wide_name[kShownSize];
  if (SjisToWide(name != nullptr ? name : "", wide_name, kShownSize) != 0) {
    return ERROR_NO_UNICODE_TRANSLATION;
  }
  // Room for size characters and a terminator added below: a value that fits size bytes
  // in Shift-JIS never has more characters than that.
  wchar_t wide[kShownSize + 1];
  DWORD room = (DWORD)((size < (size_t)kShownSize ? size : (size_t)kShownSize) * sizeof(wchar_t));
  DWORD bytes = room;
  LONG status = RegQueryValueExW(key, wide_name, nullptr, type, (BYTE *)wide, &bytes);
  if (status != ERROR_SUCCESS) return status;
  if (*type != REG_SZ && *type != REG_EXPAND_SZ) return ERROR_SUCCESS;
  wide[bytes / sizeof(wchar_t)] = 0;
  if (WideToSjis(wide, text, size) != 0) {
    text[0] = '\0';
    return ERROR_MORE_DATA;
  }
  return ERROR_SUCCESS;
}
