#include "support/wide_text.h"

#include <string.h>

namespace {

bool IsTrailByte(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

bool IsUnassignedSingle(unsigned char byte) { return byte == 0x80 || byte == 0xA0 || byte >= 0xFD; }

}  // namespace

bool IsWellFormedSjis(const char *text) {
  for (const unsigned char *p = (const unsigned char *)text; *p;) {
    if (IsSjisLeadByte(*p)) {
      if (!IsTrailByte(p[1])) return false;
      p += 2;
    } else {
      if (IsUnassignedSingle(*p)) return false;
      p++;
    }
  }
  return true;
}

void SjisToWideShown(const char *text, WideChar *wide, size_t count) {
  if (count == 0) return;
  if (SjisToWide(text, wide, count) == 0) return;
  // One character at a time: whatever does not decode becomes "・", and the text ends
  // where the next character would not fit.
  size_t used = 0;
  const unsigned char *p = (const unsigned char *)text;
  while (*p && used + 1 < count) {
    size_t length = IsSjisLeadByte(*p) && p[1] != '\0' ? 2 : 1;
    char one[3] = {(char)p[0], length == 2 ? (char)p[1] : '\0', '\0'};
    WideChar decoded[2];
    if (SjisToWide(one, decoded, 2) == 0) {
      wide[used++] = decoded[0];
    } else {
      wide[used++] = (WideChar)0x30FB;
      length = 1;  // a lead byte with a bad trail: the trail byte is read again on its own
    }
    p += length;
  }
  wide[used] = 0;
}
