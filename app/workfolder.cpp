#include "app/workfolder.h"

#include <stdio.h>
#include <string.h>

#include "support/sjis.h"

void FormatWorkFolderName(uint32_t tick, char *name, size_t size) {
  snprintf(name, size, "TempQVInstallFolder_%09d", (int)(int32_t)tick);
}

int BuildWorkFolderPath(const char *temp_path, uint32_t tick, char *out, size_t size) {
  char name[kWorkFolderNameSize];
  FormatWorkFolderName(tick, name, sizeof name);
  if (CopyText(out, temp_path, size) >= size || AppendBackslash(out, size) != 0 ||
      strlen(out) + strlen(name) + 1 > size) {
    if (size > 0) out[0] = '\0';
    return -1;
  }
  size_t length = strlen(out);
  memcpy(out + length, name, strlen(name) + 1);
  return 0;
}
