#include <stdarg.h>
#include <stdlib.h>

#include "support/messages.h"

namespace {

void Show(const char *kind, const char *format, va_list args) {
  char text[kMessageSize];
  FormatMessageText(text, sizeof text, format, args);
  fprintf(stderr, "%s: %s\n", kind, text);
}

}  // namespace

void ErrorBox(const char *format, ...) {
  va_list args;
  va_start(args, format);
  Show("error", format, args);
  va_end(args);
}

void RetryBox(const char *format, ...) {
  va_list args;
  va_start(args, format);
  Show("error", format, args);
  va_end(args);
  exit(-1);
}

int ConfirmBox(const char *format, ...) {
  va_list args;
  va_start(args, format);
  Show("question", format, args);
  va_end(args);
  return 0;
}

int CopyTextToClipboard(const char *) { return 0; }

FILE *OpenResourceFile(const char *name, const char *mode) {
  FILE *file = fopen(name, mode);
  if (file == nullptr) RetryBox("Ffopen : ファイル[%s]の読み込みで失敗しました", name);
  return file;
}

int ResourceExists(const char *name) {
  FILE *file = fopen(name, "rb");
  if (file == nullptr) return 0;
  fclose(file);
  return 1;
}
