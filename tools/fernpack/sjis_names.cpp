#include "tools/fernpack/sjis_names.h"

#include <errno.h>
#include <iconv.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unicase.h>
#include <uninorm.h>
#include <unistr.h>

#include "support/sjis.h"

namespace {

bool Convert(const char *to, const char *from, const std::string &in, std::string *out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == (iconv_t)-1) return false;
  out->clear();
  char buffer[1024];
  char *in_ptr = const_cast<char *>(in.data());
  size_t in_left = in.size();
  bool ok = true;
  while (in_left > 0) {
    char *out_ptr = buffer;
    size_t out_left = sizeof buffer;
    size_t r = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    out->append(buffer, sizeof buffer - out_left);
    if (r == (size_t)-1 && errno != E2BIG) {
      ok = false;
      break;
    }
    if (r != (size_t)-1 && r > 0) {
      ok = false;  // irreversible conversions: a character was replaced
      break;
    }
  }
  iconv_close(cd);
  return ok;
}

}  // namespace

bool Utf8ToSjis(const std::string &utf8, std::string *sjis) {
  return Convert("CP932", "UTF-8", utf8, sjis);
}

bool SjisToUtf8(const std::string &sjis, std::string *utf8) {
  return Convert("UTF-8", "CP932", sjis, utf8);
}

bool EntryNameToHostPath(const char *name, std::string *path) {
  std::string sjis;
  for (const char *p = name; *p; p += SjisCharLength(p)) {
    size_t n = SjisCharLength(p);
    if (n == 1 && (*p == '\\' || *p == '/')) {
      sjis.push_back('/');
    } else {
      sjis.append(p, n);
    }
  }
  return SjisToUtf8(sjis, path);
}

int JoinHostEntryPath(void *, const char *folder, const char *name, char *out, int size) {
  std::string relative;
  if (!EntryNameToHostPath(name, &relative)) return -1;
  std::string path = std::string(folder) + "/" + relative;
  if (path.size() + 1 > (size_t)size) return -1;
  memcpy(out, path.c_str(), path.size() + 1);
  return 0;
}

namespace {

// "'c' (U+XXXX)" for messages.
std::string ShowCodePoint(ucs4_t c) {
  uint8_t utf8[8];
  size_t length = sizeof utf8;
  u32_to_u8(&c, 1, utf8, &length);
  char code[16];
  snprintf(code, sizeof code, "U+%04X", (unsigned)c);
  return "'" + std::string((const char *)utf8, length) + "' (" + code + ")";
}

}  // namespace

bool ConvertNameComponent(const std::string &utf8, std::string *sjis, std::string *error) {
  const uint8_t *bytes = (const uint8_t *)utf8.data();
  if (u8_check(bytes, utf8.size()) != nullptr) {
    *error = "the name is not valid UTF-8 (the file system holds it in another encoding): "
             "rename it in UTF-8";
    return false;
  }
  size_t composed_length = 0;
  uint8_t *composed = u8_normalize(UNINORM_NFC, bytes, utf8.size(), nullptr, &composed_length);
  if (composed == nullptr) {
    *error = "the name cannot be composed (out of memory)";
    return false;
  }
  std::string nfc((const char *)composed, composed_length);
  free(composed);

  sjis->clear();
  const uint8_t *p = (const uint8_t *)nfc.data();
  const uint8_t *end = p + nfc.size();
  while (p < end) {
    ucs4_t c = 0;
    int n = u8_mbtouc(&c, p, (size_t)(end - p));
    std::string one;
    if (!Utf8ToSjis(std::string((const char *)p, (size_t)n), &one)) {
      *error = "the character " + ShowCodePoint(c) +
               " has no Shift-JIS form, so Windows in Japanese cannot show the name: "
               "rename it with characters of code page 932";
      return false;
    }
    if (one.size() == 1 && (one[0] == '\\' || one[0] == '/')) {
      *error = "the character " + ShowCodePoint(c) + " becomes the byte 0x" +
               (one[0] == '\\' ? "5C" : "2F") +
               " in Shift-JIS, which Windows reads as a folder separator: rename it"
               " (the full-width yen sign U+FFE5 is safe)";
      return false;
    }
    sjis->append(one);
    p += n;
  }
  if (!sjis->empty() && (sjis->back() == '.' || sjis->back() == ' ')) {
    *error = "the name ends with a dot or a space, which Windows removes when it creates "
             "the file: rename it";
    return false;
  }
  return true;
}

bool WindowsNameKey(const std::string &sjis_name, std::string *key) {
  std::string utf8;
  if (!EntryNameToHostPath(sjis_name.c_str(), &utf8)) return false;
  const uint8_t *p = (const uint8_t *)utf8.data();
  const uint8_t *end = p + utf8.size();
  key->clear();
  while (p < end) {
    ucs4_t c = 0;
    int n = u8_mbtouc(&c, p, (size_t)(end - p));
    ucs4_t upper = uc_toupper(c);
    uint8_t out[8];
    size_t length = sizeof out;
    if (u32_to_u8(&upper, 1, out, &length) == nullptr) return false;
    key->append((const char *)out, length);
    p += n;
  }
  return true;
}
