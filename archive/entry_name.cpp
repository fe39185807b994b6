#include "archive/entry_name.h"

#include <string.h>

#include "archive/package_format.h"
#include "support/sjis.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Device names that Windows maps to devices in any folder, with any extension.
bool IsDeviceName(const char *begin, size_t length) {
  static const char *const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  // The device name is the part before the first dot, trailing spaces ignored.
  size_t base = 0;
  while (base < length && begin[base] != '.') base++;
  while (base > 0 && begin[base - 1] == ' ') base--;
  char upper[8];
  if (base == 0 || base >= sizeof upper) return false;
  for (size_t i = 0; i < base; i++) {
    char c = begin[i];
    upper[i] = (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
  }
  upper[base] = '\0';
  for (const char *device : kDevices) {
    if (strcmp(upper, device) == 0) return true;
  }
  if (base == 4 && (memcmp(upper, "COM", 3) == 0 || memcmp(upper, "LPT", 3) == 0) &&
      upper[3] >= '0' && upper[3] <= '9') {
    return true;
  }
  return false;
}

NameCheck CheckComponent(const char *begin, size_t length) {
  if (length == 0) return kNameEmpty;
  bool only_dots_and_spaces = true;
  for (size_t i = 0; i < length; i++) {
    if (begin[i] != '.' && begin[i] != ' ') only_dots_and_spaces = false;
  }
  if (only_dots_and_spaces) return kNameDotComponent;
  if (IsDeviceName(begin, length)) return kNameDevice;
  return kNameOk;
}

void LowerAscii(char *text) {
  for (char *p = text; *p; p += SjisCharLength(p)) {
    if (*p >= 'A' && *p <= 'Z') *p = (char)(*p - 'A' + 'a');
  }
}

}  // namespace

NameCheck CheckEntryName(const char *name, bool is_folder) {
  size_t length = strlen(name);
  if (length + 1 > kMaxNameSize) return kNameTooLong;
  if (length == 0) return kNameEmpty;
  if (IsSeparator(name[0])) return kNameAbsolute;

  const char *component = name;
  for (const char *p = name;; ) {
    unsigned char c = (unsigned char)*p;
    if (c == '\0' || IsSeparator((char)c)) {
      size_t component_length = (size_t)(p - component);
      bool folder_tail = is_folder && c == '\\' && p[1] == '\0' && component_length > 0;
      NameCheck check = CheckComponent(component, component_length);
      if (check != kNameOk) return check;
      if (c == '\0' || folder_tail) return kNameOk;
      component = p + 1;
      p++;
      if (*p == '\0') return kNameEmpty;  // a file, or a folder ending in '/'
      continue;
    }
    if (IsSjisLeadByte(c)) {
      // A trail byte is 0x40-0x7E or 0x80-0xFC; anything else (a separator, a control
      // byte, the terminator) means the name is not Shift-JIS.
      unsigned char trail = (unsigned char)p[1];
      if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return kNameBadEncoding;
      p += 2;
      continue;
    }
    if (c == ':') return kNameDrive;
    if (c < 0x20 || c == 0x7F || strchr("<>\"|?*", (int)c) != nullptr) return kNameBadCharacter;
    p++;
  }
}

const char *DescribeNameCheck(NameCheck check) {
  switch (check) {
    case kNameOk: return "valid";
    case kNameEmpty: return "empty name or empty folder component";
    case kNameAbsolute: return "absolute path (begins with a separator)";
    case kNameDrive: return "drive letter or colon";
    case kNameDotComponent: return "'.' or '..' component";
    case kNameBadCharacter: return "character that Windows file names cannot hold";
    case kNameDevice: return "reserved Windows device name";
    case kNameTooLong: return "name longer than 255 bytes in Shift-JIS";
    case kNameBadEncoding: return "broken Shift-JIS character";
  }
  return "invalid name";
}

bool NameContains(const char *name, const char *needle) {
  char haystack_copy[kPathSize];
  char needle_copy[kPathSize];
  CopyText(haystack_copy, name, sizeof haystack_copy);
  CopyText(needle_copy, needle, sizeof needle_copy);
  LowerAscii(haystack_copy);
  LowerAscii(needle_copy);
  size_t needle_length = strlen(needle_copy);
  for (const char *p = haystack_copy; *p; p += SjisCharLength(p)) {
    if (strncmp(p, needle_copy, needle_length) == 0) return true;
  }
  return needle_length == 0;
}

bool NameHasFolder(const char *name) { return FindSeparator(name, true) != nullptr; }
