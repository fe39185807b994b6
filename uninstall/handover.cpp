#include "uninstall/handover.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "archive/entry_name.h"
#include "support/sjis.h"

namespace {

const char kSwitch[] = "/fern-uninstall";

const char *SkipBlanks(const char *p) {
  while (*p == ' ' || *p == '\t') p++;
  return p;
}

// Steps over one argument: a quoted run up to its closing quote, or a run up to a blank.
const char *SkipArgument(const char *p) {
  if (*p == '"') {
    const char *close = strchr(p + 1, '"');
    return close ? close + 1 : p + strlen(p);
  }
  while (*p && *p != ' ' && *p != '\t') p++;
  return p;
}

// A decimal number of at most 19 digits followed by a blank; null when there is none.
// 19 digits always fit 64 bits; unsigned long has only 32 on Windows.
const char *ReadNumber(const char *p, uint64_t *value) {
  const char *start = p;
  uint64_t v = 0;
  while (*p >= '0' && *p <= '9' && p - start < 19) v = v * 10 + (uint64_t)(*p++ - '0');
  if (p == start || (*p != ' ' && *p != '\t')) return nullptr;
  *value = v;
  return p;
}

}  // namespace

int FormatHandoverCommand(char *out, size_t size, const char *program,
                          const HandoverOrder *order) {
  int n = snprintf(out, size, "\"%s\" %s %llu %d \"%s\"", program, kSwitch,
                   (unsigned long long)order->process, order->saved_games ? 1 : 0, order->folder);
  return n < 0 || (size_t)n >= size ? -1 : 0;
}

bool HandoverFolderAcceptable(const char *folder) {
  char letter = (char)(folder[0] | 0x20);
  if (letter < 'a' || letter > 'z' || folder[1] != ':' || folder[2] != '\\') return false;
  if (folder[3] == '\0') return false;
  // Name by name, so that a folder as long as a path may be passes when its names do.
  const char *name = folder + 3;
  for (;;) {
    const char *separator = FindSeparator(name, false);
    size_t length = separator != nullptr ? (size_t)(separator - name) : strlen(name);
    char component[kPathSize];
    if (length == 0 || length >= sizeof component) return false;
    memcpy(component, name, length);
    component[length] = '\0';
    if (CheckEntryName(component, false) != kNameOk) return false;
    if (separator == nullptr) return true;
    name = separator + 1;
  }
}

int ParseHandoverCommand(const char *command_line, HandoverOrder *order) {
  const char *p = SkipBlanks(SkipArgument(SkipBlanks(command_line)));
  size_t switch_length = strlen(kSwitch);
  if (strncmp(p, kSwitch, switch_length) != 0 || (p[switch_length] != ' ' &&
                                                  p[switch_length] != '\t')) {
    return 0;
  }
  p = SkipBlanks(p + switch_length);
  uint64_t process = 0;
  uint64_t saved_games = 0;
  p = ReadNumber(p, &process);
  if (p == nullptr) return -1;
  p = ReadNumber(SkipBlanks(p), &saved_games);
  if (p == nullptr || saved_games > 1) return -1;
  p = SkipBlanks(p);
  if (*p != '"') return -1;
  const char *close = strchr(p + 1, '"');
  if (close == nullptr || *SkipBlanks(close + 1) != '\0') return -1;
  size_t length = (size_t)(close - (p + 1));
  if (length == 0 || length >= sizeof order->folder) return -1;
  memcpy(order->folder, p + 1, length);
  order->folder[length] = '\0';
  if (!HandoverFolderAcceptable(order->folder)) return -1;
  order->process = process;
  order->saved_games = (int)saved_games;
  return 1;
}
