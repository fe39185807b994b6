// Windows calls with Shift-JIS texts. Each converts its texts at the boundary
// (support/wide_text.h) and calls the wide-character function, so Windows reads every
// name and text as code page 932 whatever the system code page is; on a Japanese
// Windows the result is what the byte-string function gives.
//
// A name that is not well-formed Shift-JIS fails the call (ERROR_NO_UNICODE_TRANSLATION),
// as a name that does not exist would. Paths that Windows gives back (the temp folder, the
// program's own path, special folders) come back as Shift-JIS; one that has a character
// with no Shift-JIS form (a profile folder "José" on a Western Windows) comes back in its
// short 8.3 form when the volume has one, and fails otherwise: a text with "?" in place of
// a character is never returned. The functions that give a path return its length like
// the byte-string functions: 0 on failure, size or more when it does not fit.
#ifndef FERN_SUPPORT_WIDE_WIN32_H
#define FERN_SUPPORT_WIDE_WIN32_H

#include <windows.h>
#include <shlobj.h>

#include "support/wide_text.h"

// Paths given to Windows.
BOOL SjisCreateDirectory(const char *path);
DWORD SjisGetFileAttributes(const char *path);
BOOL SjisSetFileAttributes(const char *path, DWORD attributes);
BOOL SjisDeleteFile(const char *path);
BOOL SjisRemoveDirectory(const char *path);
BOOL SjisSetCurrentDirectory(const char *path);
BOOL SjisCopyFile(const char *from, const char *to, BOOL fail_if_exists);
// to may be nullptr (MOVEFILE_DELAY_UNTIL_REBOOT deletion).
BOOL SjisMoveFileEx(const char *from, const char *to, DWORD flags);
UINT SjisGetDriveType(const char *root);
BOOL SjisGetDiskFreeSpaceEx(const char *path, ULARGE_INTEGER *available);
HANDLE SjisCreateMutex(const char *name, BOOL initial_owner);
// CreateFileW with no security attributes and no template; INVALID_HANDLE_VALUE on failure.
HANDLE SjisCreateFile(const char *path, DWORD access, DWORD share, DWORD disposition,
                      DWORD flags);

// Paths Windows gives.
DWORD SjisGetCurrentDirectory(DWORD size, char *path);
DWORD SjisGetTempPath(DWORD size, char *path);
DWORD SjisGetModuleFileName(HMODULE module, char *path, DWORD size);
UINT SjisGetWindowsDirectory(char *path, UINT size);
UINT SjisGetSystemDirectory(char *path, UINT size);
DWORD SjisGetFullPathName(const char *path, DWORD size, char *full);
DWORD SjisGetLongPathName(const char *path, char *long_path, DWORD size);
DWORD SjisGetEnvironmentVariable(const char *name, char *value, DWORD size);
// SHGetFolderPath into a kPathSize buffer.
HRESULT SjisGetFolderPath(int csidl, DWORD flags, char *path);
// SHGetPathFromIDList into a kPathSize buffer.
BOOL SjisGetPathFromIDList(LPCITEMIDLIST list, char *path);
// A wide path Windows gave, as Shift-JIS in size bytes (its short form when it must be).
DWORD WidePathToSjis(const wchar_t *wide, char *path, DWORD size);

// Finding files: the data's cFileName is Shift-JIS. A name with no Shift-JIS form is given
// by its short name when it has one, and passed over otherwise.
HANDLE SjisFindFirstFile(const char *pattern, WIN32_FIND_DATAA *found);
BOOL SjisFindNextFile(HANDLE find, WIN32_FIND_DATAA *found);

// Texts shown to a person (decoded with SjisToWideShown; up to kShownSize characters).
enum { kShownSize = 1024 };
BOOL SjisSetWindowText(HWND window, const char *text);
BOOL SjisSetDlgItemText(HWND dialog, int id, const char *text);
int SjisMessageBox(HWND owner, const char *text, const char *caption, UINT style);

// A control's text as Shift-JIS in size bytes: its length, or -1 when it does not fit or
// holds a character with no Shift-JIS form (text empty then).
int SjisGetWindowText(HWND window, char *text, int size);

// Registry keys and string values.
LONG SjisRegCreateKey(HKEY root, const char *path, REGSAM access, HKEY *key);
LONG SjisRegOpenKey(HKEY root, const char *path, REGSAM access, HKEY *key);
LONG SjisRegDeleteKey(HKEY root, const char *path);
LONG SjisRegDeleteValue(HKEY key, const char *name);
// Sets a REG_SZ value (nullptr or "" name: the key's default value).
LONG SjisRegSetString(HKEY key, const char *name, const char *text);
// Reads a value into text (size bytes): ERROR_SUCCESS with *type set, text terminated even
// when the stored data lacks its terminator; ERROR_MORE_DATA when it does not fit (or has
// no Shift-JIS form); other results as Windows gives them. Only REG_SZ and REG_EXPAND_SZ
// values are converted; for other types text is empty.
LONG SjisRegQueryString(HKEY key, const char *name, DWORD *type, char *text, size_t size);

#endif
