// The memory budget of one fuzzed reader call: the most bytes it may hold at once, as a
// function of the input's size. Every allocation is counted through the sanitizer's
// allocation hooks; a call whose peak passes its budget aborts, so a header that makes a
// small input allocate far more than it could ever fill is a finding like a crash.
#ifndef FERN_FUZZ_FUZZ_BUDGET_H
#define FERN_FUZZ_FUZZ_BUDGET_H

#include <stddef.h>
#include <stdint.h>

// Starts counting (once per process the hooks are installed).
void BudgetStart();
// The peak of bytes held since BudgetStart, beyond what was held at BudgetStart.
uint64_t BudgetPeak();
// Aborts with a message naming the reader when BudgetPeak() exceeds budget.
void BudgetCheck(const char *reader, uint64_t budget, size_t input_size);

// Scratch files: one per process, under a private folder that fuzz_budget.cpp makes and
// removes (with the folders that ended processes left behind); WriteScratch replaces the
// file's content with data.
const char *ScratchFolder();
// Removes path and everything under it, never following a link.
void RemoveTree(const char *path);
const char *WriteScratch(const char *name, const uint8_t *data, size_t size);

#endif
