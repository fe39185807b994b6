// The [ini] and [reg] line parsing with token expansion. The input is a line, then after a
// NUL the InstallFolder; the CD-ROM root is fixed. Every output lives in a heap buffer of
// exactly 512 bytes and must come back terminated.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "install/transfer_lines.h"

namespace {

const char *CdromRoot() { return "Q:\\"; }

char *Buffer() { return (char *)malloc(kTransferTextSize); }

void CheckTerminated(const char *buffer) {
  if (memchr(buffer, '\0', kTransferTextSize) == nullptr) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 4 * kTransferTextSize) return 0;
  char line[4 * kTransferTextSize + 1];
  memcpy(line, data, size);
  line[size] = '\0';
  const char *folder = "C:\\Games\\App";
  size_t first = strlen(line);
  if (first < size) folder = line + first + 1;  // the text after the first NUL
  TokenValues values = {CdromRoot, folder};
  if (first >= kTransferTextSize) return 0;  // section lines are at most 511 bytes

  char *a = Buffer(), *b = Buffer();
  if (ExpandIniTokens(line, &values, a, kTransferTextSize) == 0) CheckTerminated(a);
  if (ExpandRegTokens(line, &values, a, kTransferTextSize) == 0) CheckTerminated(a);
  if (UnescapeRegText(line, a, kTransferTextSize) == 0) CheckTerminated(a);
  if (ParseIniLine(line, &values, a, kTransferTextSize, b, kTransferTextSize) == 0) {
    CheckTerminated(a);
    CheckTerminated(b);
  }
  if (ParseRegLine(line, &values, a, kTransferTextSize, b, kTransferTextSize) == 0) {
    CheckTerminated(a);
    CheckTerminated(b);
  }
  free(a);
  free(b);
  return 0;
}
