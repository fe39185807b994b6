#include <stdarg.h>
#include <stdio.h>

#include "support/messages.h"

void FormatMessageText(char *buffer, size_t size, const char *format, va_list args) {
  if (size == 0) return;
  int n = vsnprintf(buffer, size, format, args);
  if (n < 0) buffer[0] = '\0';  // vsnprintf terminates a cut text itself
}
