#include "archive/extract.h"

#include <windows.h>

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "app/workfolder.h"
#include "archive/created_entries.h"
#include "archive/file_writer.h"
#include "archive/progress_window.h"
#include "install/folder_paths.h"
#include "install/free_space.h"
#include "install/safe_remove.h"
#include "support/allocate.h"
#include "uninstall/file_list.h"
#include "support/messages.h"
#include "support/sjis.h"
#include "support/wide_win32.h"

namespace {

// The largest file list read for the free-space check: about 20 bytes a file, so far more
// files than any package holds.
const uint32_t kListSizeLimit = 64u << 20;

// One extraction: in FullMode what it created, so that a Cancel can take that away again.
struct ExtractRun {
  bool record;               // FullMode: record what is created
  bool folder_is_new;        // the folder was made by this installation, so it was empty
  CreatedEntries created;    // entries that did not exist before this run wrote them
  char current[kMaxNameSize];  // the entry being written
};

// The output path of an entry, noting (in FullMode) whether the run creates it: in a
// folder this run made, every entry is new, and none is looked up.
int MakeOutputPath(void *context, const char *folder, const char *name, char *out, int size) {
  ExtractRun *run = (ExtractRun *)context;
  if (JoinEntryPath(folder, name, out, size) != 0) return -1;
  if (run->record) {
    CopyText(run->current, name, sizeof run->current);
    if (run->folder_is_new || SjisGetFileAttributes(out) == INVALID_FILE_ATTRIBUTES) {
      RecordCreatedEntry(&run->created, name);
    }
  }
  return 0;
}

void OnFileStarted(void *context, const char *path, uint32_t unpacked_size) {
  (void)context;
  StartCopyProgressFile(path, unpacked_size);
}

int OnProgress(void *context, uint64_t file_bytes, int64_t consumed) {
  (void)context;
  return UpdateCopyProgress(file_bytes, consumed);
}

// After a Cancel: the file being written goes (it is only partly written, also when it
// replaced an older one), then every file and folder this run created, last first, each
// only when it can be reached through no link (install/safe_remove.h) and a folder only
// when empty. A file that was there before and was already replaced stays as it is.
void TakeBackCreated(const char *folder, ExtractRun *run) {
  SafeFolder place;
  PrepareSafeFolder(folder, &place);
  if (run->current[0] != '\0' && !EndsWithBackslash(run->current)) {
    RemoveInFolder(&place, run->current, false, false);
  }
  for (const char *name = LastCreatedEntry(&run->created); name != nullptr;
       name = CreatedEntryBefore(&run->created, name)) {
    char relative[kMaxNameSize];
    CopyText(relative, name, sizeof relative);
    bool is_folder = EndsWithBackslash(relative);
    if (is_folder) StripBackslash(relative);
    RemoveInFolder(&place, relative, is_folder, false);
  }
}

// True when the drive that holds path has less than one output block free: a write that
// failed there failed for want of space, whatever error number the C library left (a
// short write on a full disk may set none).
bool DriveIsFull(const char *path) {
  char folder[kPathSize];
  CopyText(folder, path, sizeof folder);
  char *last = nullptr;
  for (char *p = folder; *p; p += SjisCharLength(p)) {
    if (*p == '\\') last = p;
  }
  if (last == nullptr) return false;
  last[1] = '\0';
  ULARGE_INTEGER available;
  if (!SjisGetDiskFreeSpaceEx(folder, &available)) return false;
  return available.QuadPart < (ULONGLONG)kArchiveBlockSize;
}

// Every way the extraction can fail ends the program with -1 after one message that
// says what happened: a package that cannot be read is damaged; a file that cannot be
// written is not, and the message says so, with the reason the system gave and the file.
// A memory shortage has been reported by AllocateOrWarn already.
// The preview writes into the WorkFolder in the temp folder, the installation into the
// chosen destination: the message names the one that failed.
[[noreturn]] void FailExtraction(PackageReader *reader, ArchiveResult result, ExtractMode mode) {
  CloseCopyProgressWindow();
  AwaitCopyProgressWindow();
  if (result == kArchiveWriteFailed) {
    const char *where = mode == kFullMode ? "インストール先" : "一時フォルダ";
    int error = reader->write_error;
    if (error == ENOSPC || (error != EACCES && error != EROFS && error != EPERM &&
                            DriveIsFull(reader->failed_path))) {
      ErrorBox("%sのディスクの空き容量が足りなくなったため、"
               "ファイルを書き込めませんでした。\n%s", where, reader->failed_path);
    } else if (error == EACCES || error == EROFS || error == EPERM) {
      ErrorBox("%sへの書き込みが拒否されたため、"
               "ファイルを書き込めませんでした。\n%s", where, reader->failed_path);
    } else {
      ErrorBox("%sにファイルを書き込めませんでした。\n%s", where, reader->failed_path);
    }
  } else if (result != kArchiveNoMemory) {
    ErrorBox("ファイルの読み込みに失敗しました。ファイルが壊れている可能性があります。");
  }
  RemoveWorkFolder();
  exit(-1);  // the archive stream is left to the process exit
}

// The size of the file that an entry would replace in the folder (the context), 0 when
// there is none: a reinstallation, or a rerun after an interrupted copy, needs room only
// for what grows.
uint64_t ExistingFileSize(void *context, const char *name) {
  char path[kPathSize];
  if (JoinEntryPath((const char *)context, name, path, (int)sizeof path) != 0) return 0;
  wchar_t wide[kWidePathSize];
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (SjisToWide(path, wide, kWidePathSize) != 0 ||
      !GetFileAttributesExW(wide, GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return 0;
  }
  return ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

}  // namespace

int PackageSpaceNeeded(const char *folder, bool folder_is_new, uint64_t *bytes) {
  // In a folder this run made, nothing is there to be replaced: no file is looked up.
  ExistingSize existing = folder_is_new ? nullptr : ExistingFileSize;
  // The sizes that fernpack records in the file list, one of the package's first entries:
  // a disc then reads a few blocks at its front instead of seeking to every entry.
  PackageReader reader;
  bool opened = OpenPackageArchive(&reader);
  char *list = nullptr;
  uint32_t list_size = 0;
  if (opened && ReadTopLevelFile(&reader, IsFileListName, kListSizeLimit, &list, &list_size) ==
                    kArchiveOk) {
    int summed = SumListGrowth(list, list_size, existing, const_cast<char *>(folder), bytes);
    ReleaseBlock(list);
    if (summed == 0) {
      ClosePackage(&reader);
      return 0;
    }
  }
  ClosePackage(&reader);
  // A package without them (another tool, an older fernpack): a walk over every header.
  opened = OpenPackageArchive(&reader);
  ArchiveResult result = opened ? SumUnpackedSizes(&reader, bytes, existing,
                                                   const_cast<char *>(folder))
                                : kArchiveDamaged;
  ClosePackage(&reader);
  return result == kArchiveOk ? 0 : -1;
}

bool OpenPackageArchive(PackageReader *reader) {
  char path[kPathSize];
  DWORD length = SjisGetModuleFileName(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) {
    memset(reader, 0, sizeof *reader);
    return false;
  }
  return OpenPackage(path, reader) == kArchiveOk;
}

int ExtractPackage(const char *folder, ExtractMode mode, bool folder_is_new) {
  PackageReader reader;
  if (!OpenPackageArchive(&reader)) FailExtraction(&reader, kArchiveDamaged, mode);
  // No WorkFolder (its name did not fit): nothing can be written, as before a damaged read.
  if (folder[0] == '\0') FailExtraction(&reader, kArchiveDamaged, mode);
  ExtractRun run;
  if (mode == kFullMode) OpenCopyProgressWindow(reader.archive_length);
  run.record = mode == kFullMode;
  run.folder_is_new = folder_is_new;
  run.current[0] = '\0';
  StartCreatedEntries(&run.created);
  // FullMode writes its files on a thread of their own; the preview's few are written in
  // line.
  ExtractObserver observer = {&run, MakeOutputPath, OnFileStarted, OnProgress,
                              mode == kFullMode ? ThreadedFileWriter() : nullptr};
  ArchiveResult result = ExtractEntries(&reader, folder, mode, &observer);
  if (result == kArchiveCancelled) {
    ClosePackage(&reader);
    CloseCopyProgressWindow();
    TakeBackCreated(folder, &run);
    ReleaseCreatedEntries(&run.created);
    return -1;
  }
  ReleaseCreatedEntries(&run.created);
  if (result != kArchiveOk) FailExtraction(&reader, result, mode);
  ClosePackage(&reader);
  CloseCopyProgressWindow();
  return 0;
}
