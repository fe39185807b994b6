// Extraction: the installer's core against bare inflate and bare write loops over the same
// package (extract_bench_loops.h), natively. A benchmark, not a test.
//
//   extract_bench <setup.exe> <output-folder> [rounds [core|inflate|write|fused]]
//
// Put the output folder on tmpfs (/dev/shm) so that writes go to the page cache.
#include <stdlib.h>
#include <string.h>

#include <string>

#include "bench/extract_bench_loops.h"
#include "tools/fernpack/sjis_names.h"

namespace {


// Stand-ins for the progress window: they take what the window would show.
struct Progress {
  const char *path;
  uint64_t file_bytes;
  int64_t consumed;
};

void OnFileStarted(void *context, const char *path, uint32_t) {
  ((Progress *)context)->path = path;
}

int OnProgress(void *context, uint64_t file_bytes, int64_t consumed) {
  ((Progress *)context)->file_bytes = file_bytes;
  ((Progress *)context)->consumed = consumed;
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: extract_bench <setup.exe> <output-folder> [rounds [core|inflate|write|fused]]\n");
    return 2;
  }
  int rounds = argc > 3 ? atoi(argv[3]) : 5;
  Progress progress = {nullptr, 0, 0};
  ExtractObserver observer = {&progress, JoinHostEntryPath, OnFileStarted, OnProgress,
                              nullptr};
  return bench::Run("native", argv[1], argv[2], rounds < 1 ? 1 : rounds,
                    argc > 4 ? argv[4] : nullptr, JoinHostEntryPath, &observer);
}
