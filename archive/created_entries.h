// The entries that an extraction created: names that did not exist in the destination
// before it wrote them, in the order written (a folder before what it holds). A cancelled
// installation removes them again, last first, which is every folder after its contents.
// Portable; the list grows in blocks from AllocateOrWarn.
#ifndef FERN_ARCHIVE_CREATED_ENTRIES_H
#define FERN_ARCHIVE_CREATED_ENTRIES_H

#include <stddef.h>

struct CreatedEntries {
  char *names;     // the names, each followed by its terminator
  size_t used;     // bytes of names in use
  size_t capacity;
  int count;
  bool complete;   // false once a name could not be recorded (memory ran short)
};

void StartCreatedEntries(CreatedEntries *list);
// Records an archive entry name (a folder's ends with "\\"); false when memory ran short,
// after which the list stays incomplete.
bool RecordCreatedEntry(CreatedEntries *list, const char *name);
// The name recorded last, or null for an empty list; then the one recorded before name
// (a pointer this list gave), or null at the first.
const char *LastCreatedEntry(const CreatedEntries *list);
const char *CreatedEntryBefore(const CreatedEntries *list, const char *name);
void ReleaseCreatedEntries(CreatedEntries *list);

#endif
