#include "support/allocate.h"

#include <stdlib.h>

namespace {
// Allocations still to fail in a test; 0 in normal runs. Not thread-safe: only the
// installer's single thread and single-threaded tests use it.
int g_failures_to_simulate = 0;
}  // namespace

void SimulateAllocationFailures(int count) { g_failures_to_simulate = count; }

void *AllocateOrWarn(size_t size) {
  void *block = nullptr;
  if (g_failures_to_simulate > 0) {
    g_failures_to_simulate--;
  } else {
    block = malloc(size == 0 ? 1 : size);
  }
  if (block == nullptr) WarnOutOfMemory();
  return block;
}

void ReleaseBlock(void *block) { free(block); }
