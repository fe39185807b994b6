// fullmode_run: a stub for the copy window scenario. Packed with fernpack like the
// installer, it unpacks its own appended package in FullMode, with the real copy progress
// window and its resources, into the folder named by its first argument or, without one,
// into "unpacked" beside the executable. It ends with 10 when every entry was written, 11
// when the player cancelled (Cancel or Esc, then Yes) and the walk stopped, or 2 to 5 when
// it could not run.
//
// FULLMODE_PAUSE_MS in the environment is a pause in milliseconds after the window opens
// and after each output block, so that a test can watch the bars move on a small package;
// the window's messages keep being drained while paused. FULLMODE_STALL_MS is a pause
// after the first block in which nothing is drained, as when a read stalls on a
// scratched disc: the window must stay alive on its own meanwhile.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "archive/extract.h"
#include "archive/file_writer.h"
#include "archive/progress_window.h"
#include "support/window.h"

namespace {

DWORD g_pause_ms = 0;
DWORD g_stall_ms = 0;

void Pause() {
  for (DWORD waited = 0; waited < g_pause_ms; waited += 10) {
    Sleep(10);
    PumpCopyMessages();
  }
}

void OnFileStarted(void *, const char *path, uint32_t unpacked_size) {
  StartCopyProgressFile(path, unpacked_size);
}

int OnProgress(void *, uint64_t file_bytes, int64_t consumed) {
  int stop = UpdateCopyProgress(file_bytes, consumed);
  if (g_stall_ms != 0) {
    Sleep(g_stall_ms);
    g_stall_ms = 0;
    stop = UpdateCopyProgress(file_bytes, consumed);
  }
  Pause();
  return stop;
}

// "<folder of the executable>\unpacked"; false when it does not fit.
bool DefaultFolder(char *out, DWORD size) {
  DWORD length = GetModuleFileNameA(nullptr, out, size);
  if (length == 0 || length >= size) return false;
  char *slash = strrchr(out, '\\');
  if (slash == nullptr) return false;
  slash[1] = '\0';
  return strlen(out) + sizeof "unpacked" <= size && strcat(out, "unpacked") != nullptr;
}

}  // namespace

int main(int argc, char **argv) {
  char folder[MAX_PATH];
  if (argc >= 2) {
    snprintf(folder, sizeof folder, "%s", argv[1]);
  } else if (!DefaultFolder(folder, sizeof folder)) {
    return 2;
  }
  const char *pause = getenv("FULLMODE_PAUSE_MS");
  if (pause != nullptr) g_pause_ms = (DWORD)atoi(pause);
  const char *stall = getenv("FULLMODE_STALL_MS");
  if (stall != nullptr) g_stall_ms = (DWORD)atoi(stall);
  CreateDirectoryA(folder, nullptr);

  PackageReader reader;
  if (!OpenPackageArchive(&reader)) return 3;
  if (!OpenCopyProgressWindow(reader.archive_length)) return 4;
  Pause();
  ExtractObserver observer = {nullptr, nullptr, OnFileStarted, OnProgress,
                              ThreadedFileWriter()};
  ArchiveResult result = ExtractEntries(&reader, folder, kFullMode, &observer);
  ClosePackage(&reader);
  CloseCopyProgressWindow();
  if (result == kArchiveCancelled) return 11;
  if (result != kArchiveOk) return 5;
  return 10;
}
