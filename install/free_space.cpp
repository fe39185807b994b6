#include "install/free_space.h"

#include <stdio.h>
#include <string.h>

#include "archive/package_format.h"
#include "uninstall/file_list.h"

uint64_t MebibytesUp(uint64_t bytes) { return bytes / 1048576 + (bytes % 1048576 != 0); }

int FormatSpaceShortage(char *out, size_t size, uint64_t needed, uint64_t available) {
  // The free space is rounded down, so that 0.9 MiB free reads as 0, not as 1.
  int n = snprintf(out, size,
                   "インストール先のドライブの空き容量が足りません。\n"
                   "必要な空き容量: %llu MB\n現在の空き容量: %llu MB\n"
                   "インストールを中止しました",
                   (unsigned long long)MebibytesUp(needed),
                   (unsigned long long)(available / 1048576));
  return n >= 0 && (size_t)n < size ? 0 : -1;
}

int SumListGrowth(const char *text, size_t size, ExistingSize existing, void *context,
                  uint64_t *total) {
  *total = 0;
  if (!OpeningCommentsHold(text, size, kFileSizesNote)) return -1;
  size_t prefix_length = strlen(kSizeLinePrefix);
  bool have_size = false;
  uint64_t file_size = 0;
  size_t at = 0;
  while (at < size) {
    const char *start = text + at;
    const char *end = (const char *)memchr(start, '\n', size - at);
    size_t length = end != nullptr ? (size_t)(end - start) : size - at;
    at += length + (end != nullptr ? 1 : 0);
    while (length > 0 && (unsigned char)start[length - 1] <= ' ') length--;  // CR, blanks
    if (length >= prefix_length && memcmp(start, kSizeLinePrefix, prefix_length) == 0) {
      uint64_t value = 0;
      size_t digits = 0;
      for (size_t i = prefix_length; i < length; i++, digits++) {
        if (start[i] < '0' || start[i] > '9' || value > (UINT64_MAX - 9) / 10) return -1;
        value = value * 10 + (uint64_t)(start[i] - '0');
      }
      if (digits == 0) return -1;
      file_size = value;
      have_size = true;
      continue;
    }
    char line[kMaxNameSize + 1];
    if (length >= sizeof line) return -1;
    memcpy(line, start, length);
    line[length] = '\0';
    int kind = ClassifyListLine(line);
    if (kind != kListFile) continue;
    if (!have_size) return -1;
    *total += SpaceGrowth(file_size, existing != nullptr ? existing(context, line) : 0);
    have_size = false;
  }
  return 0;
}
