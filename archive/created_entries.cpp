#include "archive/created_entries.h"

#include <string.h>

#include "support/allocate.h"

namespace {

const size_t kFirstCapacity = 16384;

}  // namespace

void StartCreatedEntries(CreatedEntries *list) {
  list->names = nullptr;
  list->used = 0;
  list->capacity = 0;
  list->count = 0;
  list->complete = true;
}

bool RecordCreatedEntry(CreatedEntries *list, const char *name) {
  if (!list->complete) return false;
  size_t length = strlen(name) + 1;
  if (list->capacity - list->used < length) {
    size_t capacity = list->capacity == 0 ? kFirstCapacity : list->capacity * 2;
    while (capacity - list->used < length) capacity *= 2;
    char *names = (char *)AllocateOrWarn(capacity);
    if (names == nullptr) {
      list->complete = false;
      return false;
    }
    if (list->used > 0) memcpy(names, list->names, list->used);
    ReleaseBlock(list->names);
    list->names = names;
    list->capacity = capacity;
  }
  memcpy(list->names + list->used, name, length);
  list->used += length;
  list->count++;
  return true;
}

const char *LastCreatedEntry(const CreatedEntries *list) {
  if (list->used == 0) return nullptr;
  return CreatedEntryBefore(list, list->names + list->used);
}

const char *CreatedEntryBefore(const CreatedEntries *list, const char *name) {
  if (name <= list->names) return nullptr;
  // name - 1 is the terminator of the entry before; its first byte follows the terminator
  // before that, or is the start of the block.
  const char *end = name - 1;
  const char *start = end;
  while (start > list->names && start[-1] != '\0') start--;
  return start;
}

void ReleaseCreatedEntries(CreatedEntries *list) {
  if (list->names != nullptr) ReleaseBlock(list->names);
  StartCreatedEntries(list);
}
