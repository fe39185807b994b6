// The installer's use of the PackageArchive appended to its own executable.
// Windows only (extract_win32.cpp); the walk itself is package_reader.h.
#ifndef FERN_ARCHIVE_EXTRACT_H
#define FERN_ARCHIVE_EXTRACT_H

#include "archive/package_reader.h"

// Opens the running executable as a package; false when it cannot be opened or its
// archive start is impossible.
bool OpenPackageArchive(PackageReader *reader);

// The bytes that the package's files add on disk in folder (from the sizes in the file
// list, else SumUnpackedSizes over the running executable's archive; a file already there
// counts as freed, unless folder_is_new says that none can be): 0, or -1 when the headers
// cannot be walked (the extraction then reports the damage).
int PackageSpaceNeeded(const char *folder, bool folder_is_new, uint64_t *bytes);

// Unpacks into folder (no trailing backslash): every entry in kFullMode, with the copy
// progress window; the preview files in kPreviewMode. Returns 0 when the walk ended
// normally, and -1 when the player cancelled the copy (Cancel or Esc in the copy window,
// then Yes): the window is closed, and the file being written and every file and folder
// this run created are removed again (never through a link; a folder only when empty).
// A damaged or unreadable archive, or a file that cannot be written (a full disk, a
// refused write, each with its own message), is reported, the WorkFolder removed and the
// program ended with -1.
// folder_is_new: this run made the folder, so it held nothing (FullMode; a Cancel then
// takes back every entry without asking which were there before).
int ExtractPackage(const char *folder, ExtractMode mode, bool folder_is_new = false);

#endif
