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

const char *FindSjisChar(const char *text, char c) {
  for (const char *p = text; *p; p += SjisCharLength(p)) {
    if (*p == c) return p;
  }
  return nullptr;
}

const char *FindSjisText(const char *text, const char *needle) {
  size_t needle_length = strlen(needle);
  if (needle_length == 0) return text;
  // strncmp stops at the text's terminator, so a candidate near the end never reads past it.
  for (const char *p = text; *p; p += SjisCharLength(p)) {
    if (strncmp(p, needle, needle_length) == 0) return p;
  }
  return nullptr;
}

size_t CopyTextWhole(char *dst, const char *src, size_t size) {
  size_t length = 0;
  size_t n = 0;
  for (const char *p = src; *p; p += SjisCharLength(p)) {
    size_t char_length = SjisCharLength(p);
    if (size > 0 && n + char_length <= size - 1 && n == length) n += char_length;
    length += char_length;
  }
  if (size == 0) return length;
  memcpy(dst, src, n);
  dst[n] = '\0';
  return length;
}
