#include "install/free_space.h"

#include <stdio.h>

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
