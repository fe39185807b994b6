// LoadRctPicture: an RCT file into a 24-bit Surface, decoded straight into the surface's
// pixel memory.
#include <stdio.h>

#include "picture/rct_decode.h"
#include "picture/surface.h"
#include "support/allocate.h"
#include "support/file_io.h"
#include "support/messages.h"

namespace {

// Module state: the outcome of the last load, for RctLastLoad.
RctLoadReport g_last_load = {kRctOk, 0};

enum ReadOutcome { kReadDone, kReadShort, kReadRefused };

// One attempt at reading the file: header, name and packed stream. kReadDone with the
// header and *packed (*packed_size bytes, owned by the caller) filled; kReadShort when
// the file ends early; kReadRefused with *result set otherwise. The file is closed on
// every road.
ReadOutcome ReadRctFile(const char *name, RctHeader *header, unsigned char **packed,
                        size_t *packed_size, int *result) {
  *packed = nullptr;
  FILE *file = OpenResourceFile(name, "rb");
  unsigned char bytes[kRctHeaderSize];
  if (fread(bytes, 1, sizeof bytes, file) != sizeof bytes) {
    fclose(file);
    return kReadShort;
  }
  *result = RctParseHeader(bytes, header);
  if (*result != kRctOk) {
    fclose(file);
    return kReadRefused;
  }
  if (header->kind == kRctKindTC01) {
    unsigned char length[kRctNameLengthSize];
    if (fread(length, 1, sizeof length, file) != sizeof length ||
        FileSeek(file, RctLe16(length), SEEK_CUR) != 0) {
      fclose(file);
      return kReadShort;
    }
  }
  // Compare with what the file still holds before allocating: a damaged size must not
  // cost a large allocation (and an out-of-memory box) for a file that is too short.
  size_t useful = RctUsefulPackedSize(header);
  int64_t here = FileTell(file);
  int64_t end = -1;
  if (here >= 0 && FileSeek(file, 0, SEEK_END) == 0) end = FileTell(file);
  if (end < 0 || FileSeek(file, here, SEEK_SET) != 0) {
    fclose(file);
    return kReadShort;
  }
  if (end - here < (int64_t)useful) {
    fclose(file);
    return kReadShort;
  }
  if (RctPixelReach(useful) < header->total / kRctPixelSize) {
    // The stream cannot make the picture its header claims: refused before the packed
    // buffer and the surface are allocated.
    fclose(file);
    *result = kRctTruncated;
    return kReadRefused;
  }
  *packed = (unsigned char *)AllocateOrWarn(useful);
  if (*packed == nullptr) {
    fclose(file);
    *result = kRctNoMemory;
    return kReadRefused;
  }
  size_t got = fread(*packed, 1, useful, file);
  fclose(file);
  if (got != useful) {
    ReleaseBlock(*packed);
    *packed = nullptr;
    return kReadShort;
  }
  *packed_size = useful;
  return kReadDone;
}

Surface *Finish(int result, int attempts) {
  g_last_load.result = result;
  g_last_load.attempts = attempts;
  return nullptr;
}

}  // namespace

Surface *LoadRctPicture(const char *name) {
  RctHeader header;
  unsigned char *packed = nullptr;
  size_t packed_size = 0;
  int result = kRctShortFile;
  int attempts = 0;
  ReadOutcome outcome = kReadShort;
  while (outcome == kReadShort && attempts < kRctReadAttempts) {
    attempts++;
    outcome = ReadRctFile(name, &header, &packed, &packed_size, &result);
  }
  if (outcome == kReadShort) return Finish(kRctShortFile, attempts);
  if (outcome == kReadRefused) return Finish(result, attempts);

  Surface *surface = CreateSurface24(header.width, header.height, 0);
  if (surface == nullptr) {
    ReleaseBlock(packed);
    return Finish(kRctNoMemory, attempts);
  }
  result = RctDecode(packed, packed_size, header.width, header.height, surface->bits,
                     (size_t)surface->stride * (size_t)surface->height, (size_t)surface->stride);
  ReleaseBlock(packed);
  if (result != kRctOk) {
    // A malformed stream gives no picture rather than a partly decoded one.
    ReleaseSurface(surface, 1);
    return Finish(result, attempts);
  }
  g_last_load.result = kRctOk;
  g_last_load.attempts = attempts;
  return surface;
}

RctLoadReport RctLastLoad() { return g_last_load; }
