// The picture decoder, both ways: a whole file in memory through RctLocateStream and
// RctDecode (as fernpack reads one), and a file through LoadRctPicture into a surface (as
// the menu does). The first input byte picks a stride padding for the in-memory decode,
// so that the row re-layout runs too.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz/fuzz_budget.h"
#include "picture/rct_decode.h"
#include "picture/surface.h"

namespace {

// The picture may be as large as the stream can make (RctPixelReach): 65539 pixels of 3
// bytes (4 with the surface's row padding) for each 3 bytes of input, and a constant.
uint64_t PictureBudget(size_t size) { return 256 * 1024 + (uint64_t)size * 65539 * 2; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  size_t padding = data[0] & 3;
  data++;
  size--;

  BudgetStart();
  RctHeader header;
  size_t offset = 0, stream_size = 0;
  if (RctLocateStream(data, size, &header, &offset, &stream_size) == kRctOk) {
    size_t stride = (size_t)header.width * 3 + padding;
    size_t out_size = stride * (size_t)header.height;
    unsigned char *out = (unsigned char *)malloc(out_size);
    if (out != nullptr) {
      memset(out, 0xA5, out_size);
      if (RctDecode(data + offset, stream_size, header.width, header.height, out, out_size,
                    stride) == kRctOk) {
        // The padding after every row but the last holds zeros, not pixels.
        for (int32_t row = 0; row + 1 < header.height; row++) {
          for (size_t i = 0; i < padding; i++) {
            if (out[row * stride + (size_t)header.width * 3 + i] != 0) abort();
          }
        }
      }
      free(out);
    }
  }
  BudgetCheck("picture decode", PictureBudget(size), size);

  const char *path = WriteScratch("insttscr.rct", data, size);
  BudgetStart();
  Surface *surface = LoadRctPicture(path);
  if (surface != nullptr) ReleaseSurface(surface, 1);
  BudgetCheck("picture load", PictureBudget(size), size);
  return 0;
}
