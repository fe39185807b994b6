#include "install/ini_text.h"

#include <stdint.h>
#include <string.h>

#include "support/sjis.h"

namespace {

// Bytes of a text that are neither owned nor terminated.
struct Span {
  const char *begin;
  const char *end;
};

// One line of the file: its content, and its line end ("\r\n", "\n", or nothing for a
// last line without one).
struct Line {
  const char *begin;
  const char *eol;
  const char *next;
};

const char kLineEnd[] = "\r\n";

bool IsBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == 0x1A;
}

bool IsTrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

// Length of the character at p (1 or 2), never reaching end. A lead byte without a trail
// byte after it stands alone, so that it never swallows a line end or a bracket.
size_t CharLength(const char *p, const char *end) {
  if (IsSjisLeadByte((unsigned char)p[0]) && end - p >= 2 && IsTrailByte((unsigned char)p[1])) {
    return 2;
  }
  return 1;
}

// Blanks are all below 0x40, so none of them is ever a trail byte: trimming from the end
// byte by byte never cuts a character.
Span Trim(Span s) {
  while (s.begin < s.end && IsBlank((unsigned char)*s.begin)) s.begin++;
  while (s.end > s.begin && IsBlank((unsigned char)s.end[-1])) s.end--;
  return s;
}

Span TrimmedText(const char *text) { return Trim(Span{text, text + strlen(text)}); }

// First character c (ASCII) of its own in s; s.end when none.
const char *FindChar(Span s, char c) {
  for (const char *p = s.begin; p < s.end; p += CharLength(p, s.end)) {
    if (*p == c) return p;
  }
  return s.end;
}

// Last character c (ASCII) of its own in s; nullptr when none.
const char *FindLastChar(Span s, char c) {
  const char *found = nullptr;
  for (const char *p = s.begin; p < s.end; p += CharLength(p, s.end)) {
    if (*p == c) found = p;
  }
  return found;
}

unsigned char FoldAscii(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

// Same length and the same characters, ASCII letters without case. Double-byte characters
// compare whole: a trail byte that looks like a letter is never folded. Both sides step
// together, because every character before a step compared equal.
bool NamesEqual(Span a, Span b) {
  if (a.end - a.begin != b.end - b.begin) return false;
  const char *q = b.begin;
  for (const char *p = a.begin; p < a.end;) {
    size_t n = CharLength(p, a.end);
    if (n == 2) {
      if (p[0] != q[0] || p[1] != q[1]) return false;
    } else if (FoldAscii((unsigned char)*p) != FoldAscii((unsigned char)*q)) {
      return false;
    }
    p += n;
    q += n;
  }
  return true;
}

// The line that starts at begin. "\n" is never a trail byte, so the first one ends it.
Line LineAt(const char *begin, const char *end) {
  const void *found = memchr(begin, '\n', (size_t)(end - begin));
  Line line = {begin, end, end};
  if (found != nullptr) {
    line.next = (const char *)found + 1;
    line.eol = (const char *)found;
    if (line.eol > begin && line.eol[-1] == '\r') line.eol--;
  }
  return line;
}

// A header's name, trimmed, into *name. False for a line that is no header.
bool HeaderName(Span trimmed, Span *name) {
  if (trimmed.begin == trimmed.end || *trimmed.begin != '[') return false;
  Span inside = {trimmed.begin + 1, trimmed.end};
  const char *close = FindLastChar(inside, ']');
  if (close == nullptr) return false;
  *name = Trim(Span{inside.begin, close});
  return true;
}

// The key a line of a section names: the text before its first "=", or the whole line.
Span KeyName(Span trimmed) { return Trim(Span{trimmed.begin, FindChar(trimmed, '=')}); }

bool HasLineEnd(const char *text) {
  return strchr(text, '\r') != nullptr || strchr(text, '\n') != nullptr;
}

// A request that would leave a line the profile functions read back as something else.
bool Refused(const char *section, const char *key, const char *value) {
  if (section == nullptr || key == nullptr || value == nullptr) return true;
  if (HasLineEnd(section) || HasLineEnd(key) || HasLineEnd(value)) return true;
  Span s = TrimmedText(section);
  Span k = TrimmedText(key);
  if (s.begin == s.end || k.begin == k.end) return true;
  // A key "a=b" would read back as "a", and a key "[k" as a header once the value holds
  // a "]".
  return *k.begin == '[' || FindChar(k, '=') != k.end;
}

// Bounded appending: bytes go into out only while they fit whole; length counts what the
// whole text needs, so once something did not fit nothing more is written.
struct Output {
  char *out;
  size_t size;
  size_t length;
};

void Put(Output *o, const char *p, size_t n) {
  if (n == 0) return;
  if (o->length <= o->size && n <= o->size - o->length) memcpy(o->out + o->length, p, n);
  o->length = n > SIZE_MAX - o->length ? SIZE_MAX : o->length + n;
}

void Put(Output *o, const char *begin, const char *end) { Put(o, begin, (size_t)(end - begin)); }

void Put(Output *o, const char *text) { Put(o, text, strlen(text)); }

void PutSetting(Output *o, const char *key, const char *value) {
  Put(o, key);
  Put(o, "=");
  Put(o, value);
  Put(o, kLineEnd);
}

// Where the setting goes: the key's line to replace, or the point to insert at.
struct Target {
  bool section_found;
  bool key_found;
  Line key_line;          // the line to replace, when key_found
  const char *insert_at;  // after the section's last non-blank line
  bool insert_needs_eol;  // that line is the file's last and has no line end
};

Target FindTarget(const char *text, const char *end, Span section, Span key) {
  Target t = {false, false, {nullptr, nullptr, nullptr}, nullptr, false};
  for (const char *p = text; p < end;) {
    Line line = LineAt(p, end);
    p = line.next;
    Span trimmed = Trim(Span{line.begin, line.eol});
    Span name;
    bool header = HeaderName(trimmed, &name);
    if (!t.section_found) {
      if (header && NamesEqual(name, section)) {
        t.section_found = true;
        t.insert_at = line.next;
        t.insert_needs_eol = line.eol == line.next;
      }
      continue;
    }
    // Only the first section of the name counts: the next header ends the search.
    if (header) break;
    if (trimmed.begin == trimmed.end) continue;
    t.insert_at = line.next;
    t.insert_needs_eol = line.eol == line.next;
    if (NamesEqual(KeyName(trimmed), key)) {
      t.key_found = true;
      t.key_line = line;
      break;
    }
  }
  return t;
}

}  // namespace

int UpdateIniText(const char *text, size_t length, const char *section, const char *key,
                  const char *value, char *out, size_t out_size, size_t *out_length) {
  *out_length = 0;
  if (Refused(section, key, value)) return -1;
  if (text == nullptr) length = 0;
  const char *end = text + length;
  Target t = FindTarget(text, end, TrimmedText(section), TrimmedText(key));

  Output o = {out, out_size, 0};
  if (t.key_found) {
    Put(&o, text, t.key_line.begin);
    Put(&o, key);
    Put(&o, "=");
    Put(&o, value);
    Put(&o, t.key_line.eol, end);
  } else if (t.section_found) {
    Put(&o, text, t.insert_at);
    if (t.insert_needs_eol) Put(&o, kLineEnd);
    PutSetting(&o, key, value);
    Put(&o, t.insert_at, end);
  } else {
    Put(&o, text, end);
    if (length > 0 && end[-1] != '\n') Put(&o, kLineEnd);
    Put(&o, "[");
    Put(&o, section);
    Put(&o, "]");
    Put(&o, kLineEnd);
    PutSetting(&o, key, value);
  }
  *out_length = o.length;
  return o.length <= out_size ? 0 : -1;
}
