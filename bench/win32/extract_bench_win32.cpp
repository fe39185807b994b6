// Extraction under Windows (run under Wine here): the installer's core against bare
// inflate and bare write loops over the same package, with the same zlib built for
// Windows (extract_bench_loops.h). The core runs with FullMode's observer: the files
// written on the writer's thread (archive/file_writer.h) and the progress call after every
// block, which drains the message queue at most every 40 ms, here with no window. Then,
// for the record:
//   - the core once more with the installer's copy progress window shown and updated
//     (its template and animation are linked in);
//   - what one drain of an empty message queue costs, and what a file's time costs when
//     the file is reopened by path to set it rather than set through the open file.
// A benchmark, not a test.
//
//   extract_bench_win32.exe <setup.exe> <output-folder> [rounds [core|inflate|write|fused]]
#include <windows.h>

#include <stdlib.h>

#include "archive/file_writer.h"
#include "archive/progress_window.h"
#include "bench/extract_bench_loops.h"
#include "support/sjis.h"
#include "support/window.h"

namespace {

void OnFileStarted(void *, const char *path, uint32_t unpacked_size) {
  StartCopyProgressFile(path, unpacked_size);
}

int OnProgress(void *, uint64_t file_bytes, int64_t consumed) {
  return UpdateCopyProgress(file_bytes, consumed);
}

int JoinPath(void *, const char *folder, const char *name, char *out, int size) {
  return JoinEntryPath(folder, name, out, size);
}

// Microseconds per call of PumpMessages on an empty queue, and per small file written and
// given its time in each of two ways: reopened by path after closing (CreateFileA,
// SetFileTime, CloseHandle) or set through the still-open file, as the core does.
void TimePlatformCalls(const char *folder) {
  const int kCalls = 2000;
  bench::Clock::time_point start = bench::Clock::now();
  for (int i = 0; i < kCalls; i++) PumpMessages();
  double pump = bench::Seconds(start) / kCalls * 1e6;
  char path[kPathSize];
  JoinEntryPath(folder, "time-probe.bin", path, sizeof path);
  double by_path = 0, open_file = 0;
  for (int way = 0; way < 2; way++) {
    start = bench::Clock::now();
    for (int i = 0; i < kCalls / 4; i++) {
      FILE *probe = fopen(path, "wb");
      if (probe == nullptr) return;
      fputc('x', probe);
      if (way == 1 && fflush(probe) == 0) {
        SetOpenFileLastWrite(probe, kFileTimeUnixEpoch + (uint64_t)i);
      }
      fclose(probe);
      if (way == 0) SetFileLastWrite(path, kFileTimeUnixEpoch + (uint64_t)i);
    }
    (way == 0 ? by_path : open_file) = bench::Seconds(start) / (kCalls / 4) * 1e6;
  }
  remove(path);
  printf("  one drain of an empty message queue %.1f us; a one-byte file with its time set "
         "by path %.1f us, through the open file %.1f us\n", pump, by_path, open_file);
  printf("RESULT wine-calls %.2f %.2f %.2f\n", pump, by_path, open_file);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: extract_bench_win32 <setup.exe> <output-folder> "
                    "[rounds [core|inflate|write|fused]]\n");
    return 2;
  }
  int rounds = argc > 3 ? atoi(argv[3]) : 5;
  if (rounds < 1) rounds = 1;
  const char *only = argc > 4 ? argv[4] : nullptr;
  ExtractObserver observer = {nullptr, nullptr, OnFileStarted, OnProgress,
                              ThreadedFileWriter()};
  int result = bench::Run("wine", argv[1], argv[2], rounds, only, JoinPath, &observer);
  if (result != 0 || only != nullptr) return result;

  TimePlatformCalls(argv[2]);
  PackageReader reader;
  if (OpenPackage(argv[1], &reader) != kArchiveOk) return 1;
  ClosePackage(&reader);
  if (!OpenCopyProgressWindow(reader.archive_length)) {
    fprintf(stderr, "extract_bench_win32: the progress window cannot be opened\n");
    return 1;
  }
  ExtractObserver shown = {nullptr, nullptr, OnFileStarted, OnProgress, ThreadedFileWriter()};
  double best = 1e9;
  // As many rounds as the other loops: on shared cores the window's run varies the most.
  for (int round = 0; round < rounds; round++) {
    bench::ClearFolder(argv[2]);
    double t = bench::TimeCore(argv[1], argv[2], &shown);
    if (t < best) best = t;
  }
  CloseCopyProgressWindow();
  bench::ClearFolder(argv[2]);
  printf("  core with the progress window shown %.3f s (best of %d)\n", best, rounds);
  printf("RESULT wine-window %.4f\n", best);
  return 0;
}
