// The conversions with iconv's CP932 tables, so the native tests check the same contract
// as Windows' tables give the installer.
#include "support/wide_text.h"

#include <errno.h>
#include <iconv.h>
#include <string.h>

namespace {

size_t WideLength(const WideChar *wide) {
  size_t n = 0;
  while (wide[n]) n++;
  return n;
}

// Converts length bytes; returns the bytes written, or -1 (fit) / -2 (no mapping).
long Convert(const char *to, const char *from, const char *in, size_t length, char *out,
             size_t room) {
  iconv_t cd = iconv_open(to, from);
  if (cd == (iconv_t)-1) return -2;
  char *in_ptr = const_cast<char *>(in);
  char *out_ptr = out;
  size_t in_left = length;
  size_t out_left = room;
  long result = 0;
  while (in_left > 0) {
    if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) == (size_t)-1) {
      result = errno == E2BIG ? -1 : -2;
      break;
    }
  }
  iconv_close(cd);
  return result == 0 ? (long)(room - out_left) : result;
}

}  // namespace

int SjisToWide(const char *text, WideChar *wide, size_t count) {
  if (count == 0) return -1;
  wide[0] = 0;
  if (!IsWellFormedSjis(text)) return -1;
  long written = Convert("UTF-16LE", "CP932", text, strlen(text), (char *)wide,
                         (count - 1) * sizeof(WideChar));
  if (written < 0) {
    wide[0] = 0;
    return -1;
  }
  wide[written / sizeof(WideChar)] = 0;
  return 0;
}

int WideToSjis(const WideChar *wide, char *text, size_t size) {
  if (size == 0) return -1;
  text[0] = '\0';
  long written = Convert("CP932", "UTF-16LE", (const char *)wide,
                         WideLength(wide) * sizeof(WideChar), text, size - 1);
  if (written < 0) {
    text[0] = '\0';
    return (int)written;
  }
  text[written] = '\0';
  return 0;
}
