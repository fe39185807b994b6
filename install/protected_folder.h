// Folders that only administrators may change, and paths as Windows resolves them.
// Shared by the installer and UnInst.exe. Windows only.
//
// A program that runs with administrator rights must not run or trust anything that
// other users can change. The installer therefore keeps a protected copy of the
// uninstaller (with its list and settings) in "<common program files>\Fernstall\<16 hex
// digits>", and the uninstaller hands over to a copy of itself in a new folder of the
// temp folder; both folders are made here, open to administrators and the system alone.
#ifndef FERN_INSTALL_PROTECTED_FOLDER_H
#define FERN_INSTALL_PROTECTED_FOLDER_H

#include <windows.h>

// The final path of an open file or folder, plain ("C:\x"), as Shift-JIS in kPathSize
// bytes (its short form where a name has no Shift-JIS form). 0, or -1 (also on Windows
// XP, which gives no final paths).
int FinalPathOf(HANDLE handle, char *out);
// Whether Windows gives final paths (Vista and later).
bool FinalPathsAvailable();
// A folder's own path into out (kPathSize bytes): its final path where Windows gives one
// (true), else its full path with long names (false). "C:\Games\.." is "C:\" either way.
bool ResolveFolder(const char *path, char *out);

// Makes a new folder in parent named prefix followed by 16 (or 32, with long_name)
// random hexadecimal digits, created only where nothing has the name yet. Administrators
// and the system get full control; other users may read and run its files when
// users_read is set, and may do nothing otherwise. path receives its full path
// (kPathSize bytes). 0, or -1 when none could be made.
int MakePrivateFolder(const char *parent, const char *prefix, bool long_name, bool users_read,
                      char *path);

// The folder of the protected uninstaller copies ("<common program files>\Fernstall")
// into out (kPathSize bytes), made (open to administrators) when create is set and it is
// missing. 0, or -1 when it cannot be found or made, or is a link.
int KeptCopyRoot(bool create, char *out);

// Whether folder is one of the protected copies' folders: a folder directly inside
// KeptCopyRoot, both compared as Windows resolves them.
bool IsKeptCopyFolder(const char *folder);

#endif
