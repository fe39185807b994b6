// Removing what lies below a folder, never through a link. Everyone may write in an
// InstallFolder, and the programs that remove from it run as administrator, so a junction,
// symbolic link or mount point planted there must never turn a deletion elsewhere. The
// folder is resolved once; each name's folders are walked down from there for reparse
// points, then the name is opened as itself, its final path compared with the resolved
// folder and the name, and it is deleted through that very handle. Windows only.
#ifndef FERN_INSTALL_SAFE_REMOVE_H
#define FERN_INSTALL_SAFE_REMOVE_H

#include <windows.h>

#include "support/sjis.h"

enum FileResult {
  kFileGone = 0,
  kFileMissing,
  kFileInUse,
  kFileDenied,
  kFileIsFolder,
  kFileFailed,
  kFileNotEmpty,  // a folder that still holds something
  kFileViaLink,   // the path passes through a link, or leads somewhere else
  kFileLinkKept,  // the name is a link that cannot be removed as itself here
};


// The folder removals happen in, as Windows resolves it.
struct SafeFolder {
  // Its final path (links above it followed, long names); every name is removed through
  // this path and checked against it.
  char canonical[kPathSize];
  // Windows gives final paths and deletes through a handle; without them (Windows XP) the
  // walk over the folders' attributes is the check.
  bool verify;
};
void PrepareSafeFolder(const char *folder, SafeFolder *place);

enum { kWayOk = 0, kWayMissing, kWayLink };
// Walks the folders of relative (a checked name) from the folder down, its last component
// too when whole is set: kWayLink when one is a junction, symbolic link or mount point,
// kWayMissing when one does not exist (or is no folder), else kWayOk.
int CheckWay(const SafeFolder *place, const char *relative, bool whole);

// Removes a file (folder unset) or an empty folder named relative to the folder, never
// through a link: a path that passes through one is kFileViaLink. A name that is itself a
// link is removed as a link where Windows can open the link itself (with allow_link), and
// kFileLinkKept otherwise; its target is never touched. A FileResult.
int RemoveInFolder(const SafeFolder *place, const char *relative, bool folder, bool allow_link);

// Deletes one file by its path; a read-only file loses that attribute first (and gets it
// back when the deletion fails). A missing file is kFileMissing, no failure.
int DeleteOneFile(const char *path);

// What a failed deletion's error means, as a FileResult.
int ErrorResult(DWORD error);

#endif
