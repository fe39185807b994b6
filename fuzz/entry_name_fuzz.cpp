// The entry-name check: whatever it accepts must be a relative name that stays inside the
// destination on Windows: no separator first, no colon, no component of dots only, no
// control byte, and every lead byte followed by its trail byte.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "archive/entry_name.h"
#include "archive/package_format.h"
#include "support/sjis.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

void CheckAccepted(const char *name, bool is_folder) {
  size_t length = strlen(name);
  if (length == 0 || length + 1 > kMaxNameSize || IsSeparator(name[0])) abort();
  bool only_dots = true;
  size_t component = 0;
  for (const char *p = name;;) {
    size_t n = SjisCharLength(p);
    char c = *p;
    if (c == '\0' || (n == 1 && IsSeparator(c))) {
      bool folder_end = c != '\0' && p[1] == '\0' && is_folder && c == '\\';
      if (c != '\0' && p[1] == '\0' && !folder_end) abort();  // a file ending in a separator
      if (component == 0 || only_dots) abort();                // "a\\\\b", "..", ". ."
      if (c == '\0' || folder_end) return;
      only_dots = true;
      component = 0;
      p++;
      continue;
    }
    if (n == 1) {
      if (IsSjisLeadByte((unsigned char)c)) abort();  // a lead byte without its trail byte
      if ((unsigned char)c < 0x20 || c == ':' || strchr("<>\"|?*", c) != nullptr) abort();
      if (c != '.' && c != ' ') only_dots = false;
    } else {
      only_dots = false;
    }
    component++;
    p += n;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  char name[kMaxNameSize * 2];
  if (size >= sizeof name) return 0;
  memcpy(name, data, size);
  name[size] = '\0';
  for (int folder = 0; folder <= 1; folder++) {
    if (CheckEntryName(name, folder != 0) == kNameOk) CheckAccepted(name, folder != 0);
  }
  NameContains(name, ".txt");
  NameHasFolder(name);
  return 0;
}
