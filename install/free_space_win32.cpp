#include "install/free_space.h"

#include <windows.h>

#include "archive/extract.h"
#include "support/messages.h"
#include "support/wide_win32.h"

int CheckFreeSpace(const char *folder, bool folder_is_new) {
  uint64_t needed = 0;
  if (PackageSpaceNeeded(folder, folder_is_new, &needed) != 0) return 0;
  ULARGE_INTEGER available;
  if (!SjisGetDiskFreeSpaceEx(folder, &available)) return 0;
  if (needed <= available.QuadPart) return 0;
  char text[kMessageSize];
  FormatSpaceShortage(text, sizeof text, needed, available.QuadPart);
  ErrorBox("%s", text);
  return -1;
}
