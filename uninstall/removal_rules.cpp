#include "uninstall/removal_rules.h"

#include <string.h>

#include "archive/package_format.h"
#include "support/sjis.h"

namespace {

bool IsBlank(unsigned char byte) { return byte <= 0x20; }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c; }

// The last separator that is a character of its own, or null.
const char *LastSeparator(const char *text) {
  const char *last = nullptr;
  for (const char *p = FindSeparator(text, true); p; p = FindSeparator(p + 1, true)) last = p;
  return last;
}

// Compares one character at a and b; both lengths are the same when it returns true.
bool SameCharacter(const char *a, const char *b, size_t length) {
  if (length == 1) {
    if (IsSeparator(*a) && IsSeparator(*b)) return true;
    return FoldCase(*a) == FoldCase(*b);
  }
  return a[0] == b[0] && a[1] == b[1];
}

// Length of a path without one trailing separator that is a character of its own.
size_t LengthWithoutSeparator(const char *path) {
  size_t length = strlen(path);
  const char *last = LastSeparator(path);
  if (last != nullptr && last[1] == '\0') length = (size_t)(last - path);
  return length;
}

}  // namespace

int FirstWord(const char *line, char *out, size_t size) {
  if (size > 0) out[0] = '\0';
  while (*line && IsBlank((unsigned char)*line)) line++;
  size_t length = 0;
  while (line[length] && !IsBlank((unsigned char)line[length])) length++;
  if (length == 0) return -1;
  if (length >= size) return -2;
  memcpy(out, line, length);
  out[length] = '\0';
  return 0;
}

int CheckRemovalLine(const char *name, bool allow_pattern, char *out, size_t size) {
  if (size > 0) out[0] = '\0';
  // The entry name rules apply to names without wildcards; the pattern characters are
  // checked for their place first and then stand in as a plain letter.
  char plain[kMaxNameSize];
  if (CopyText(plain, name, sizeof plain) >= sizeof plain) return kNameTooLong;
  const char *last = LastSeparator(plain);
  for (char *p = plain; *p; p += SjisCharLength(p)) {
    if (*p != '*' && *p != '?') continue;
    if (!allow_pattern) return kNameBadCharacter;
    if (last != nullptr && p < last) return kNamePatternInFolder;
    *p = 'x';
  }
  bool is_folder = EndsWithBackslash(plain);
  NameCheck check = CheckEntryName(plain, is_folder);
  if (check != kNameOk) return check;
  if (CopyText(out, name, size) >= size) {
    out[0] = '\0';
    return kNameTooLong;
  }
  for (char *p = out; *p; p += SjisCharLength(p)) {
    if (*p == '/') *p = '\\';
  }
  return kNameOk;
}

bool HasWildcard(const char *text) {
  return FindSjisChar(text, '*') != nullptr || FindSjisChar(text, '?') != nullptr;
}

void SplitLastComponent(const char *name, char *folder, size_t folder_size, char *last,
                        size_t last_size) {
  const char *cut = LastSeparator(name);
  if (cut == nullptr) {
    CopyText(folder, "", folder_size);
    CopyText(last, name, last_size);
    return;
  }
  size_t length = (size_t)(cut - name);
  if (folder_size > 0) {
    size_t n = length < folder_size - 1 ? length : folder_size - 1;
    memcpy(folder, name, n);
    folder[n] = '\0';
  }
  CopyText(last, cut + 1, last_size);
}

// Iterative matching with one remembered star: on a mismatch the last "*" takes one more
// character of the name and the rest of the pattern is tried again from there. This is
// linear in the pattern for each star position, so no input makes it recurse or explode.
bool MatchNamePattern(const char *pattern, const char *name) {
  const char *star = nullptr;      // the pattern just after the last "*" seen
  const char *star_name = nullptr;  // where in the name that star's run ends now
  const char *p = pattern;
  const char *n = name;
  while (*n) {
    size_t name_length = SjisCharLength(n);
    if (*p == '*') {
      star = ++p;
      star_name = n;
      continue;
    }
    if (*p) {
      size_t pattern_length = SjisCharLength(p);
      if (*p == '?' && pattern_length == 1) {
        p++;
        n += name_length;
        continue;
      }
      if (pattern_length == name_length && SameCharacter(p, n, name_length)) {
        p += pattern_length;
        n += name_length;
        continue;
      }
    }
    if (star == nullptr) return false;
    star_name += SjisCharLength(star_name);
    n = star_name;
    p = star;
  }
  while (*p == '*') p++;
  return *p == '\0';
}

bool SameNameIgnoringCase(const char *a, const char *b) {
  while (*a && *b) {
    size_t length = SjisCharLength(a);
    if (length != SjisCharLength(b) || !SameCharacter(a, b, length)) return false;
    a += length;
    b += length;
  }
  return *a == '\0' && *b == '\0';
}

bool PathPointsInto(const char *path, const char *folder) {
  size_t folder_length = strlen(folder);
  const char *last = LastSeparator(folder);
  if (last != nullptr && last[1] == '\0') folder_length = (size_t)(last - folder);
  if (folder_length == 0) return false;
  const char *f = folder;
  const char *end = folder + folder_length;
  const char *p = path;
  while (f < end) {
    size_t length = SjisCharLength(f);
    if (f + length > end || length != SjisCharLength(p) || !SameCharacter(f, p, length)) {
      return false;
    }
    f += length;
    p += length;
  }
  return *p == '\0' || IsSeparator(*p);
}

int NameDepth(const char *name) {
  int depth = 0;
  for (const char *p = FindSeparator(name, true); p; p = FindSeparator(p + 1, true)) depth++;
  return depth;
}

void StripQuotes(char *text) {
  size_t length = strlen(text);
  if (length >= 2 && text[0] == '"' && text[length - 1] == '"') {
    memmove(text, text + 1, length - 2);
    text[length - 2] = '\0';
  }
}

int PlainFinalPath(const char *final_path, char *out, size_t size) {
  const char *rest = final_path;
  const char *lead = "";
  // Only a drive's or a share's path loses the prefix; a volume's ("\\?\Volume{...}\")
  // has no other form.
  if (strncmp(final_path, "\\\\?\\", 4) == 0) {
    const char *after = final_path + 4;
    if (FoldCase(after[0]) == 'U' && FoldCase(after[1]) == 'N' && FoldCase(after[2]) == 'C' &&
        after[3] == '\\') {
      rest = after + 4;
      lead = "\\\\";
    } else if (after[0] != '\0' && after[1] == ':') {
      rest = after;
    }
  }
  size_t lead_length = strlen(lead);
  size_t rest_length = strlen(rest);
  if (lead_length + rest_length >= size) {
    if (size > 0) out[0] = '\0';
    return -1;
  }
  memmove(out + lead_length, rest, rest_length + 1);  // out may be final_path itself
  memcpy(out, lead, lead_length);
  return 0;
}

bool IsPathOf(const char *path, const char *folder, const char *relative) {
  char plain[kPathSize];
  char expected[kPathSize * 2];
  if (PlainFinalPath(path, plain, sizeof plain) != 0) return false;
  size_t folder_length = LengthWithoutSeparator(folder);
  if (folder_length == 0 || folder_length >= kPathSize) return false;
  memcpy(expected, folder, folder_length);
  expected[folder_length] = '\0';
  if (relative[0] != '\0') {
    if (folder_length + 1 + strlen(relative) >= sizeof expected) return false;
    expected[folder_length] = '\\';
    strcpy(expected + folder_length + 1, relative);
  }
  return SameNameIgnoringCase(plain, expected);
}

bool IsSharedFolder(const char *folder, const char *const *shared, size_t shared_count,
                    const char *const *inside, size_t inside_count) {
  char plain[kPathSize];
  if (PlainFinalPath(folder, plain, sizeof plain) != 0) return true;  // no doubt left open
  plain[LengthWithoutSeparator(plain)] = '\0';
  // A drive root, "X:"; a share's root, "\\server\share"; a volume's, "\\?\Volume{...}".
  if (plain[0] != '\0' && plain[1] == ':' && plain[2] == '\0') return true;
  if (IsSeparator(plain[0]) && IsSeparator(plain[1]) && NameDepth(plain + 2) <= 1) return true;
  if (plain[0] == '\0') return true;
  char entry[kPathSize];
  for (size_t i = 0; i < shared_count; i++) {
    if (PlainFinalPath(shared[i], entry, sizeof entry) != 0 || entry[0] == '\0') continue;
    if (PathPointsInto(plain, entry) && LengthWithoutSeparator(entry) == strlen(plain)) {
      return true;
    }
  }
  for (size_t i = 0; i < inside_count; i++) {
    if (PlainFinalPath(inside[i], entry, sizeof entry) != 0 || entry[0] == '\0') continue;
    if (PathPointsInto(plain, entry)) return true;
  }
  return false;
}
