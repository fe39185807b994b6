// The WorkFolder: the temporary folder of one run, "TempQVInstallFolder_%09d" in the
// system temp folder, current from start-up until the menu closes or the installation
// moves on. The preview files (settings, menu picture, readme) are unpacked into it.
#ifndef FERN_APP_WORKFOLDER_H
#define FERN_APP_WORKFOLDER_H

#include <stddef.h>
#include <stdint.h>

// Folder names are formatted into this many bytes.
enum { kWorkFolderNameSize = 128 };

// "TempQVInstallFolder_%09d" with the tick count read as a signed 32-bit number.
void FormatWorkFolderName(uint32_t tick, char *name, size_t size);

// temp_path + a backslash when missing + the folder name, into out (size bytes).
// -1 when the result would not fit (out is then empty).
int BuildWorkFolderPath(const char *temp_path, uint32_t tick, char *out, size_t size);

// Windows only (workfolder_win32.cpp).
void CreateWorkFolder();
void RemoveWorkFolder();
const char *WorkFolder();
const char *StartFolder();
void DeleteFolderFiles(const char *folder, const char *pattern);
int FirstPlainFile(const char *pattern);
const char *NextPlainFile();

#endif
