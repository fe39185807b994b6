// The installer's use of the PackageArchive appended to its own executable.
// Windows only (extract_win32.cpp); the walk itself is package_reader.h.
#ifndef FERN_ARCHIVE_EXTRACT_H
#define FERN_ARCHIVE_EXTRACT_H

#include "archive/package_reader.h"

// Opens the running executable as a package; false when it cannot be opened or its
// archive start is impossible.
bool OpenPackageArchive(PackageReader *reader);

// Unpacks into folder (no trailing backslash): every entry in kFullMode, with the copy
// progress window; the preview files in kPreviewMode. Returns only when the walk ended
// normally; a damaged or unreadable archive is reported, the WorkFolder removed and the
// program ended with -1.
void ExtractPackage(const char *folder, ExtractMode mode);

#endif
