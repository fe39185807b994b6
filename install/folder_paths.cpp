#include "install/folder_paths.h"

#include <string.h>

#include "support/sjis.h"

namespace {

// Bounded appending into a caller's buffer. Bytes are written only while a terminator
// still fits after them; the caller learns from Finish whether everything went in.
struct TextOut {
  char *out;
  size_t size;
  size_t length;  // bytes the whole text needs, terminator excluded
};

void Put(TextOut *t, const char *text, size_t length) {
  for (size_t i = 0; i < length; i++) {
    if (t->length + 1 < t->size) t->out[t->length] = text[i];
    t->length++;
  }
}

void Put(TextOut *t, const char *text) { Put(t, text, strlen(text)); }

int Finish(TextOut *t) {
  if (t->size == 0) return -1;
  if (t->length >= t->size) {
    t->out[0] = '\0';  // never leave a cut text behind
    return -1;
  }
  t->out[t->length] = '\0';
  return 0;
}

}  // namespace

int FolderPrefix(const char *path, char *out, size_t size, int level) {
  if (level < 1) return -1;
  // Each search begins one character past the previous hit (or past the first
  // character), so a separator that opens the path never counts.
  const char *cut = path;
  for (int n = 0; n < level && cut != nullptr; n++) {
    cut = *cut == '\0' ? nullptr : FindSeparator(cut + SjisCharLength(cut), false);
  }
  size_t length = cut == nullptr ? strlen(path) : (size_t)(cut - path);
  TextOut t = {out, size, 0};
  Put(&t, path, length);
  return Finish(&t);
}

int ChainPath(const char *path, char *out, size_t size) {
  size_t length = strlen(path);
  // Too short to name a folder on a drive: "C:" at most.
  if (length <= 2) return -1;
  if (length >= size) return -1;
  memcpy(out, path, length + 1);
  // A drive root keeps its backslash: "C:" alone would name drive C's current folder.
  if (EndsWithBackslash(out) && out[length - 2] != ':') out[length - 1] = '\0';
  return 0;
}

int ReplaceExtension(char *out, size_t size, const char *path, const char *extension) {
  // The name is what follows the last separator or drive colon; its extension starts at
  // its last dot. A dot in a folder name is not an extension.
  const char *name = path;
  const char *dot = nullptr;
  for (const char *p = path; *p; p += SjisCharLength(p)) {
    if (*p == '\\' || *p == '/' || *p == ':') {
      name = p + 1;
      dot = nullptr;
    } else if (*p == '.') {
      dot = p;
    }
  }
  size_t base = dot == nullptr ? strlen(path) : (size_t)(dot - path);
  // A base name that ends in "." would otherwise give "name..pif".
  if (base > (size_t)(name - path) && path[base - 1] == '.') base--;
  TextOut t = {out, size, 0};
  Put(&t, path, base);
  Put(&t, ".");
  Put(&t, extension);
  return Finish(&t);
}

int JoinPath(char *out, size_t size, const char *folder, const char *name) {
  TextOut t = {out, size, 0};
  Put(&t, folder);
  if (!EndsWithBackslash(folder)) Put(&t, "\\");
  Put(&t, name);
  return Finish(&t);
}

namespace {

char FoldLetter(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c; }

// The length of path without a final backslash that is a character of its own.
size_t LengthWithoutFinalBackslash(const char *path) {
  size_t length = strlen(path);
  return EndsWithBackslash(path) ? length - 1 : length;
}

}  // namespace

int ParentFolder(char *out, size_t size, const char *path) {
  const char *last = nullptr;
  for (const char *p = FindSeparator(path, false); p; p = FindSeparator(p + 1, false)) last = p;
  if (!last || (size_t)(last - path) >= size) return 0;
  memcpy(out, path, last - path);
  out[last - path] = '\0';
  return 1;
}

bool PathWithin(const char *path, const char *base) {
  size_t base_length = LengthWithoutFinalBackslash(base);
  if (base_length == 0) return false;
  size_t i = 0;
  while (i < base_length) {
    unsigned char b = (unsigned char)base[i];
    if (IsSjisLeadByte(b)) {
      // A lead byte that ends the base has lost its trail byte: only the same text matches.
      if (i + 1 >= base_length) return path[i] == base[i] && path[i + 1] == '\0';
      if (path[i] != base[i] || path[i + 1] != base[i + 1]) return false;
      i += 2;
      continue;
    }
    if (path[i] == '\0' || FoldLetter(path[i]) != FoldLetter(base[i])) return false;
    i++;
  }
  // Equal up to here: the path must end, or go on with a separator of its own.
  return path[i] == '\0' || path[i] == '\\';
}

bool GrantAllowed(const char *folder, const char *const *inside, size_t inside_count,
                  const char *const *not_above, size_t not_above_count) {
  for (size_t i = 0; i < inside_count; i++) {
    if (PathWithin(folder, inside[i])) return false;
  }
  for (size_t i = 0; i < not_above_count; i++) {
    if (folder[0] != '\0' && PathWithin(not_above[i], folder)) return false;
  }
  return true;
}
