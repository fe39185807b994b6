#include "install/free_space.h"

#include <windows.h>

#include "archive/extract.h"
#include "support/messages.h"

int CheckFreeSpace(const char *folder) {
  uint64_t needed = 0;
  if (PackageSpaceNeeded(&needed) != 0) return 0;
  ULARGE_INTEGER available, total, total_free;
  if (!GetDiskFreeSpaceExA(folder, &available, &total, &total_free)) return 0;
  if (needed <= available.QuadPart) return 0;
  char text[kMessageSize];
  FormatSpaceShortage(text, sizeof text, needed, available.QuadPart);
  ErrorBox("%s", text);
  return -1;
}
