// fernpack's picture input: PNG through libpng and 24-bit BMP. The size a header claims
// must be checked against what the file can hold before anything is allocated. A PNG is
// read as given, and again with every chunk's CRC made right: a mutated chunk almost
// never keeps its CRC, and libpng stops at the first wrong one, so without the second
// reading the chunks' contents would hardly be reached.
#include <stdint.h>
#include <string.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_budget.h"
#include "tools/fernpack/png_io.h"

namespace {

uint32_t ReadBe32(const unsigned char *p) {
  return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

// Rewrites the CRC of every whole chunk after the signature; true when one changed.
bool RepairChunkCrcs(std::vector<unsigned char> *bytes) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (bytes->size() < 8 || memcmp(bytes->data(), kSignature, 8) != 0) return false;
  bool changed = false;
  size_t at = 8;
  while (bytes->size() - at >= 12) {
    unsigned char *chunk = bytes->data() + at;
    uint32_t length = ReadBe32(chunk);
    if (length > bytes->size() - at - 12) break;
    uint32_t crc = (uint32_t)crc32(0, chunk + 4, 4 + length);
    unsigned char *stored = chunk + 8 + length;
    if (ReadBe32(stored) != crc) {
      for (int i = 0; i < 4; i++) stored[i] = (unsigned char)(crc >> (24 - 8 * i));
      changed = true;
    }
    at += 12 + (size_t)length;
  }
  return changed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<unsigned char> bytes(data, data + size);
  BgrImage image;
  std::string error;
  BudgetStart();
  ReadPng(bytes, &image, &error);
  image = BgrImage();
  if (RepairChunkCrcs(&bytes)) {
    ReadPng(bytes, &image, &error);
    image = BgrImage();
  }
  ReadBmp(bytes, &image, &error);
  image = BgrImage();
  // Deflate makes at most about 1032 bytes of raw rows per input byte, and a raw byte
  // holds up to 8 pixels (1 bit each), which become 24 bytes of BGR; libpng keeps a row or
  // two besides.
  BudgetCheck("picture input", 4u * 1024 * 1024 + (uint64_t)size * 1032 * 24, size);
  return 0;
}
