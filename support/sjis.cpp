#include "support/sjis.h"

#include <string.h>

bool IsSjisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

size_t SjisCharLength(const char *text) {
  if (IsSjisLeadByte((unsigned char)text[0]) && text[1] != '\0') return 2;
  return 1;
}

bool EndsWithBackslash(const char *path) {
  const char *last = nullptr;
  for (const char *p = path; *p; p += SjisCharLength(p)) last = p;
  return last != nullptr && *last == '\\';
}

int AppendBackslash(char *path, size_t size) {
  if (EndsWithBackslash(path)) return 0;
  size_t length = strlen(path);
  if (length + 2 > size) return -1;
  path[length] = '\\';
  path[length + 1] = '\0';
  return 0;
}

void StripBackslash(char *path) {
  const char *last = nullptr;
  for (const char *p = path; *p; p += SjisCharLength(p)) last = p;
  if (last != nullptr && *last == '\\') path[last - path] = '\0';
}

const char *FindSeparator(const char *text, bool slash_too) {
  for (const char *p = text; *p; p += SjisCharLength(p)) {
    if (*p == '\\' || (slash_too && *p == '/')) return p;
  }
  return nullptr;
}

size_t CopyText(char *dst, const char *src, size_t size) {
  size_t length = strlen(src);
  if (size == 0) return length;
  size_t n = length < size - 1 ? length : size - 1;
  memcpy(dst, src, n);
  dst[n] = '\0';
  return length;
}
