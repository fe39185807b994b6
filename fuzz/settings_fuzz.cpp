// The settings loader and the section loader over one file: the key lines into a table,
// the sections into their lists, as start-up reads install.env.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "fuzz/fuzz_budget.h"
#include "settings/section_lists.h"
#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *path = WriteScratch("install.env", data, size);
  BudgetStart();
  FILE *stream = fopen(path, "rt");
  if (stream == nullptr) abort();
  LineReader reader;
  StartLineReader(&reader, stream);
  SettingEntry *head = nullptr;
  // The reader can go on after an end marker or the line limit; go on as lint does.
  while (ReadSettingsStream(&reader, &head, nullptr, nullptr) != kSettingsStopEnd) {
  }
  fclose(stream);
  FindSettingValue(head, "TITLEBAR");
  FreeSettingEntries(&head);

  SectionLists lists = {};
  int open_section = 0;
  ReadSectionFile(path, &lists, &open_section, nullptr, nullptr);
  FreeSectionLists(&lists);
  // Each stored line costs its record, its text and the allocator's rounding.
  BudgetCheck("settings", 64 * 1024 + 48 * (uint64_t)size, size);
  return 0;
}
