#include "archive/extract.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "app/workfolder.h"
#include "archive/progress_window.h"
#include "support/messages.h"
#include "support/sjis.h"

namespace {

void OnFileStarted(void *context, const char *path, uint32_t unpacked_size) {
  StartCopyProgressFile((HWND)context, path, unpacked_size);
}

void OnProgress(void *context, uint64_t file_bytes, int64_t consumed) {
  UpdateCopyProgress((HWND)context, file_bytes, consumed);
}

[[noreturn]] void FailExtraction(PackageReader *reader) {
  CloseCopyProgressWindow();
  ErrorBox("ファイルの読み込みに失敗しました。ファイルが壊れている可能性があります。");
  RemoveWorkFolder();
  (void)reader;  // the archive stream is left to the process exit
  exit(-1);
}

}  // namespace

bool OpenPackageArchive(PackageReader *reader) {
  char path[kPathSize];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) {
    memset(reader, 0, sizeof *reader);
    return false;
  }
  return OpenPackage(path, reader) == kArchiveOk;
}

void ExtractPackage(const char *folder, ExtractMode mode) {
  PackageReader reader;
  if (!OpenPackageArchive(&reader) || folder[0] == '\0') FailExtraction(&reader);
  HWND window = mode == kFullMode ? OpenCopyProgressWindow(reader.archive_length) : nullptr;
  ExtractObserver observer = {window, nullptr, OnFileStarted, OnProgress};
  if (ExtractEntries(&reader, folder, mode, &observer) != kArchiveOk) FailExtraction(&reader);
  ClosePackage(&reader);
  CloseCopyProgressWindow();
}
