#include "uninstall/handover.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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
const char *ReadNumber(const char *p, unsigned long *value) {
  const char *start = p;
  unsigned long v = 0;
  while (*p >= '0' && *p <= '9' && p - start < 19) v = v * 10 + (unsigned long)(*p++ - '0');
  if (p == start || (*p != ' ' && *p != '\t')) return nullptr;
  *value = v;
  return p;
}

}  // namespace

int FormatHandoverCommand(char *out, size_t size, const char *program,
                          const HandoverOrder *order) {
  int n = snprintf(out, size, "\"%s\" %s %lu %d \"%s\"", program, kSwitch, order->process,
                   order->saved_games ? 1 : 0, order->folder);
  return n < 0 || (size_t)n >= size ? -1 : 0;
}

int ParseHandoverCommand(const char *command_line, HandoverOrder *order) {
  const char *p = SkipBlanks(SkipArgument(SkipBlanks(command_line)));
  size_t switch_length = strlen(kSwitch);
  if (strncmp(p, kSwitch, switch_length) != 0 || (p[switch_length] != ' ' &&
                                                  p[switch_length] != '\t')) {
    return 0;
  }
  p = SkipBlanks(p + switch_length);
  unsigned long process = 0;
  unsigned long saved_games = 0;
  p = ReadNumber(p, &process);
  if (p == nullptr) return 0;
  p = ReadNumber(SkipBlanks(p), &saved_games);
  if (p == nullptr || saved_games > 1) return 0;
  p = SkipBlanks(p);
  if (*p != '"') return 0;
  const char *close = strchr(p + 1, '"');
  if (close == nullptr || *SkipBlanks(close + 1) != '\0') return 0;
  size_t length = (size_t)(close - (p + 1));
  if (length == 0 || length >= sizeof order->folder) return 0;
  memcpy(order->folder, p + 1, length);
  order->folder[length] = '\0';
  order->process = process;
  order->saved_games = (int)saved_games;
  return 1;
}
