// Removing a file or an empty folder below a folder without crossing a link
// (safe_remove.h): the uninstaller's removal and the installer's rollback after Cancel.
#include "install/safe_remove.h"

#include "archive/package_format.h"
#include "install/folder_paths.h"
#include "install/protected_folder.h"
#include "support/sjis.h"
#include "support/wide_win32.h"
#include "uninstall/removal_rules.h"

namespace {

// Wine shows a Unix link to a folder as a reparse point, but one to a file as a plain
// file, and opens (and deletes) the target even when asked for the link itself: the
// final-path check refuses both there.

// SetFileInformationByHandle, which Windows XP lacks: looked up at run time so that the
// program starts there.
typedef BOOL(WINAPI *SetInfoProc)(HANDLE, int, LPVOID, DWORD);
enum { kFileBasicInfo = 0, kFileDispositionInfo = 4 };  // FILE_INFO_BY_HANDLE_CLASS
struct BasicInfo {  // FILE_BASIC_INFO; a time of 0 and attributes of 0 are left as they are
  LARGE_INTEGER creation, last_access, last_write, change;
  DWORD attributes;
};
struct DispositionInfo {  // FILE_DISPOSITION_INFO
  BOOLEAN delete_file;
};
SetInfoProc g_set_info = nullptr;

void LookUpHandleCalls() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return;
  g_set_info = reinterpret_cast<SetInfoProc>(
      reinterpret_cast<void *>(GetProcAddress(kernel, "SetFileInformationByHandle")));
}

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Deletes the open file or folder, which is path: a read-only file loses that attribute
// first and gets it back when the deletion fails.
// attributes are the name's, read before it was opened (asking the handle again costs Wine
// close to a millisecond a file, as it also fetches the volume's serial number); should
// the read-only bit have changed since, the deletion fails and is reported.
int DeleteThroughHandle(HANDLE handle, DWORD attributes) {
  bool cleared = false;
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    BasicInfo basic = {};
    basic.attributes = (attributes & ~FILE_ATTRIBUTE_READONLY) != 0
                           ? attributes & ~FILE_ATTRIBUTE_READONLY
                           : FILE_ATTRIBUTE_NORMAL;
    cleared = g_set_info(handle, kFileBasicInfo, &basic, sizeof basic) != FALSE;
  }
  DispositionInfo disposition = {TRUE};
  if (g_set_info(handle, kFileDispositionInfo, &disposition, sizeof disposition)) return kFileGone;
  DWORD error = GetLastError();
  if (cleared) {
    BasicInfo basic = {};
    basic.attributes = attributes;
    g_set_info(handle, kFileBasicInfo, &basic, sizeof basic);
  }
  return ErrorResult(error);
}

}  // namespace

// The folder part of the name removed last, found free of links, and the folder it lies
// in: the files of one folder follow one another in a list, and with final paths checked
// through each handle, the walk need not be repeated for each of them.
struct WayCache {
  const SafeFolder *place;
  char folder[kMaxNameSize];
};
WayCache g_way = {nullptr, ""};

void PrepareSafeFolder(const char *folder, SafeFolder *place) {
  g_way.place = nullptr;
  LookUpHandleCalls();
  bool resolved = ResolveFolder(folder, place->canonical);
  place->verify = resolved && FinalPathsAvailable() && g_set_info != nullptr;
}

// Deletes one file; a read-only file loses that attribute first (and gets it back when the
// deletion fails, so nothing is changed half-way). A missing file is no failure.
int DeleteOneFile(const char *path) {
  DWORD attributes = SjisGetFileAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? kFileMissing
                                                                            : kFileFailed;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return kFileIsFolder;
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    SjisSetFileAttributes(path, attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if (SjisDeleteFile(path)) return kFileGone;
  DWORD error = GetLastError();
  if (attributes & FILE_ATTRIBUTE_READONLY) SjisSetFileAttributes(path, attributes);
  if (error == ERROR_FILE_NOT_FOUND) return kFileMissing;
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return kFileInUse;
  if (error == ERROR_ACCESS_DENIED) return kFileDenied;
  return kFileFailed;
}

// What a failed deletion's error means.
int ErrorResult(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return kFileMissing;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return kFileInUse;
    case ERROR_ACCESS_DENIED: return kFileDenied;
    case ERROR_DIR_NOT_EMPTY: return kFileNotEmpty;
    default: return kFileFailed;
  }
}

// Walks the folders of relative (a checked name) from the InstallFolder down, its last
// component too when whole is set: kWayLink when one is a junction, symbolic link or mount
// point, kWayMissing when one does not exist (or is no folder), else kWayOk.
int CheckWay(const SafeFolder *place, const char *relative, bool whole) {
  int levels = NameDepth(relative) + (whole ? 1 : 0);
  for (int level = 1; level <= levels; level++) {
    char part[kMaxNameSize];
    char path[kPathSize];
    if (FolderPrefix(relative, part, sizeof part, level) != 0 ||
        JoinPath(path, sizeof path, place->canonical, part) != 0) {
      return kWayMissing;
    }
    DWORD attributes = SjisGetFileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return kWayMissing;
      continue;  // unreadable: the deletion's own check decides
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return kWayLink;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return kWayMissing;
  }
  return kWayOk;
}

// Removes a file (folder unset) or an empty folder named relative to the InstallFolder,
// never through a link: a path that passes through one is kFileViaLink. A name that is
// itself a link is removed as a link where Windows can open the link itself (with
// allow_link), and kFileLinkKept otherwise; its target is never touched.
int RemoveInFolder(const SafeFolder *place, const char *relative, bool folder, bool allow_link) {
  char folder_part[kMaxNameSize];
  char last[kMaxNameSize];
  SplitLastComponent(relative, folder_part, sizeof folder_part, last, sizeof last);
  bool walked = place->verify && g_way.place == place && strcmp(g_way.folder, folder_part) == 0;
  if (!walked) {
    int way = CheckWay(place, relative, false);
    if (way == kWayLink) return kFileViaLink;
    if (way == kWayMissing) return kFileMissing;
    g_way.place = place;
    CopyText(g_way.folder, folder_part, sizeof g_way.folder);
  }
  char path[kPathSize];
  if (JoinPath(path, sizeof path, place->canonical, relative) != 0) return kFileFailed;
  DWORD attributes = SjisGetFileAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return ErrorResult(GetLastError());
  bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  bool is_folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (link && !allow_link) return kFileLinkKept;
  if (!link && is_folder != folder) return folder ? kFileMissing : kFileIsFolder;
  if (!place->verify) {
    // By name: Windows removes a junction or symbolic link itself, not what it points to.
    if (!is_folder) return DeleteOneFile(path);
    return SjisRemoveDirectory(path) ? kFileGone : ErrorResult(GetLastError());
  }
  HANDLE handle = SjisCreateFile(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                 kShareAll, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
  if (handle == INVALID_HANDLE_VALUE) return ErrorResult(GetLastError());
  // What the handle holds must be the name itself: not a link's target, nor anything put
  // in place of a folder since the walk.
  char final_path[kPathSize];
  int result;
  if (FinalPathOf(handle, final_path) != 0) {
    result = kFileFailed;
  } else if (!IsPathOf(final_path, place->canonical, relative)) {
    result = link ? kFileLinkKept : kFileViaLink;
  } else {
    result = DeleteThroughHandle(handle, attributes);
  }
  CloseHandle(handle);
  return result;
}

