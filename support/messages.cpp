#include <stdarg.h>
#include <stdio.h>

#include "support/messages.h"
#include "support/sjis.h"

void FormatMessageText(char *buffer, size_t size, const char *format, va_list args) {
  if (size == 0) return;
  int n = vsnprintf(buffer, size, format, args);
  if (n < 0) {
    buffer[0] = '\0';
    return;
  }
  if ((size_t)n >= size) {
    // The text was cut at size - 1 bytes; do not leave half a double-byte character.
    char *p = buffer;
    while (*p) {
      if (IsSjisLeadByte((unsigned char)*p) && p[1] == '\0') {
        *p = '\0';
        break;
      }
      p += SjisCharLength(p);
    }
  }
}
