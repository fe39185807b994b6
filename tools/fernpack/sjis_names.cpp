#include "tools/fernpack/sjis_names.h"

#include <errno.h>
#include <iconv.h>
#include <string.h>

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

bool HostPathToEntryName(const std::string &path, std::string *name) {
  std::string sjis;
  if (!Utf8ToSjis(path, &sjis)) return false;
  name->clear();
  for (const char *p = sjis.c_str(); *p; p += SjisCharLength(p)) {
    size_t n = SjisCharLength(p);
    name->push_back(n == 1 && *p == '/' ? '\\' : p[0]);
    if (n == 2) name->push_back(p[1]);
  }
  return true;
}

int JoinHostEntryPath(void *, const char *folder, const char *name, char *out, int size) {
  std::string relative;
  if (!EntryNameToHostPath(name, &relative)) return -1;
  std::string path = std::string(folder) + "/" + relative;
  if (path.size() + 1 > (size_t)size) return -1;
  memcpy(out, path.c_str(), path.size() + 1);
  return 0;
}
