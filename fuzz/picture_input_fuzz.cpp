// fernpack's picture input: PNG through libpng and 24-bit BMP. The size a header claims
// must be checked against what the file can hold before anything is allocated.
#include <stdint.h>
#include <string>
#include <vector>

#include "fuzz/fuzz_budget.h"
#include "tools/fernpack/png_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<unsigned char> bytes(data, data + size);
  BgrImage image;
  std::string error;
  BudgetStart();
  ReadPng(bytes, &image, &error);
  image = BgrImage();
  ReadBmp(bytes, &image, &error);
  image = BgrImage();
  // Deflate makes at most about 1032 bytes per input byte; a PNG row of up to 8 bytes per
  // pixel becomes 3 bytes of BGR, and libpng keeps a row or two besides.
  BudgetCheck("picture input", 4u * 1024 * 1024 + (uint64_t)size * 1032 * 4, size);
  return 0;
}
