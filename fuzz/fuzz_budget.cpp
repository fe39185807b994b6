#include "fuzz/fuzz_budget.h"

#include <dirent.h>
#include <errno.h>
#include <ftw.h>
#include <sanitizer/allocator_interface.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace {

// Module state: the running count and its peak, updated from the allocation hooks (which
// may run on any thread; the readers run on one).
std::atomic<int64_t> g_held{0};
std::atomic<int64_t> g_peak{0};
int64_t g_base = 0;
bool g_hooked = false;

enum { kScratchPathSize = 512 };
char g_scratch[kScratchPathSize];
char g_scratch_file[kScratchPathSize];

void OnMalloc(const volatile void *, size_t size) {
  int64_t now = g_held.fetch_add((int64_t)size) + (int64_t)size;
  int64_t peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
}

void OnFree(const volatile void *pointer) {
  if (pointer == nullptr) return;
  g_held.fetch_sub((int64_t)__sanitizer_get_allocated_size((const void *)pointer));
}

const char kScratchPrefix[] = "fernfuzz-";

int RemoveEntry(const char *path, const struct stat *, int, struct FTW *) {
  return remove(path);
}

void RemoveScratch() {
  if (g_scratch[0] != '\0') RemoveTree(g_scratch);
}

// A crash or a kill skips the exit handler and leaves its scratch folder behind; the
// folder's name carries the process id, so a later run removes the folders of processes
// that are gone, and leaves those of targets still running.
void RemoveStaleScratch(const char *base) {
  DIR *dir = opendir(base);
  if (dir == nullptr) return;
  size_t prefix = strlen(kScratchPrefix);
  while (struct dirent *entry = readdir(dir)) {
    if (strncmp(entry->d_name, kScratchPrefix, prefix) != 0) continue;
    char *end = nullptr;
    long pid = strtol(entry->d_name + prefix, &end, 10);
    if (end == entry->d_name + prefix || *end != '-' || pid <= 0) continue;
    if (kill((pid_t)pid, 0) == 0 || errno != ESRCH) continue;
    char path[kScratchPathSize];
    if (snprintf(path, sizeof path, "%s/%s", base, entry->d_name) < (int)sizeof path) {
      RemoveTree(path);
    }
  }
  closedir(dir);
}

}  // namespace

void BudgetStart() {
  if (!g_hooked) {
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
    g_hooked = true;
  }
  g_base = g_held.load();
  g_peak.store(g_base);
}

uint64_t BudgetPeak() {
  int64_t peak = g_peak.load() - g_base;
  return peak > 0 ? (uint64_t)peak : 0;
}

void BudgetCheck(const char *reader, uint64_t budget, size_t input_size) {
  uint64_t peak = BudgetPeak();
  if (peak <= budget) return;
  fprintf(stderr, "%s: held %llu bytes at once for an input of %zu bytes; budget %llu\n",
          reader, (unsigned long long)peak, input_size, (unsigned long long)budget);
  abort();
}

const char *ScratchFolder() {
  if (g_scratch[0] == '\0') {
    const char *base = getenv("TMPDIR");
    if (base == nullptr) base = "/tmp";
    RemoveStaleScratch(base);
    snprintf(g_scratch, sizeof g_scratch, "%s/%s%ld-XXXXXX", base, kScratchPrefix,
             (long)getpid());
    if (mkdtemp(g_scratch) == nullptr) {
      perror("mkdtemp");
      abort();
    }
    atexit(RemoveScratch);
  }
  return g_scratch;
}

void RemoveTree(const char *path) { nftw(path, RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }

const char *WriteScratch(const char *name, const uint8_t *data, size_t size) {
  snprintf(g_scratch_file, sizeof g_scratch_file, "%s/%s", ScratchFolder(), name);
  FILE *file = fopen(g_scratch_file, "wb");
  if (file == nullptr || (size > 0 && fwrite(data, 1, size, file) != size) || fclose(file) != 0) {
    perror(g_scratch_file);
    abort();
  }
  return g_scratch_file;
}
