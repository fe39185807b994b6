#include "picture/rct_decode.h"

#include <string.h>

namespace {

// Largest picture in bytes: the linear image's size must stay a 32-bit signed value.
const uint32_t kMaxTotal = 0x7FFFFFFFu;

// Byte distance back to each neighbour entry's source, for one picture width; 0 marks an
// entry that can never be a valid source (it points at or after the output position, which
// only very narrow pictures produce, or further back than the whole picture).
void BuildDistances(int32_t width, size_t total, size_t distance[kRctNeighbourCount]) {
  for (int k = 0; k < kRctNeighbourCount; k++) {
    int64_t offset = RctNeighbourPixelOffset(k, width) * kRctPixelSize;
    distance[k] = (offset < 0 && (uint64_t)-offset <= (uint64_t)total) ? (size_t)-offset : 0;
  }
}

// Copies len bytes to dst from distance bytes before it, with the result of a byte-by-byte
// forward copy: when distance < len the source overlaps the bytes being written and the
// distance bytes before dst repeat. The copied span doubles each round: bytes
// [dst - distance, dst + done) already repeat with period distance, and done + distance is
// a multiple of it, so each block copy keeps the pattern and never overlaps itself.
inline void CopyRepeating(unsigned char *dst, size_t distance, size_t len) {
  const unsigned char *src = dst - distance;
  if (distance >= len) {
    memcpy(dst, src, len);
    return;
  }
  if (distance == kRctPixelSize) {
    // One pixel repeated: the commonest overlap (flat areas).
    unsigned char b = src[0], g = src[1], r = src[2];
    for (size_t i = 0; i < len; i += kRctPixelSize) {
      dst[i] = b;
      dst[i + 1] = g;
      dst[i + 2] = r;
    }
    return;
  }
  size_t done = 0;
  while (done < len) {
    size_t chunk = distance + done;
    if (chunk > len - done) chunk = len - done;
    memcpy(dst + done, src, chunk);
    done += chunk;
  }
}

// Short commands (most of them in real pictures) move one fixed-size block instead of
// their exact length when the picture, and for literals the packed stream, has that many
// bytes left: a fixed-size move is a few register loads and stores rather than a library
// call. The bytes written past the command's end lie ahead of the output position inside
// the picture, and the commands that follow write them again. A copy's block is loaded
// whole before it is stored (memmove), so when the source lies at least the command's
// length back, the command's own bytes come out exactly as a byte-by-byte copy makes them.
enum { kWideCopy = 16, kWideLiteral = 32 };

// The command loop: writes out[0, total) from packed[0, size). Every count is checked
// against the input left, the output left and, for copies, the output already written,
// before anything is read or written.
int DecodeLinear(const unsigned char *packed, size_t size, unsigned char *out, size_t total,
                 const size_t distance[kRctNeighbourCount]) {
  if (size < kRctPixelSize) return kRctTruncated;
  memcpy(out, packed, kRctPixelSize);
  size_t in = kRctPixelSize;
  size_t pos = kRctPixelSize;
  while (pos < total) {
    if (in >= size) return kRctTruncated;
    unsigned b = packed[in++];
    size_t pixels;
    if (b & kRctCopyFlag) {
      if ((b & kRctCopyCountMask) == kRctLongCopyCode) {
        if (size - in < kRctCountSize) return kRctTruncated;
        pixels = (size_t)RctLe16(packed + in) + kRctLongCopyBase;
        in += kRctCountSize;
      } else {
        pixels = (b & kRctCopyCountMask) + 1;
      }
      size_t len = pixels * kRctPixelSize;
      if (len > total - pos) return kRctOverrun;
      size_t back = distance[(b >> kRctEntryShift) & kRctEntryMask];
      if (back == 0 || back > pos) return kRctBadCopy;
      if (len <= kWideCopy && back >= len && total - pos >= kWideCopy) {
        memmove(out + pos, out + pos - back, kWideCopy);
      } else {
        CopyRepeating(out + pos, back, len);
      }
      pos += len;
    } else {
      if (b == kRctLongLiteral) {
        if (size - in < kRctCountSize) return kRctTruncated;
        pixels = (size_t)RctLe16(packed + in) + kRctLongLiteralBase;
        in += kRctCountSize;
      } else {
        pixels = b + 1;
      }
      size_t len = pixels * kRctPixelSize;
      if (len > total - pos) return kRctOverrun;
      if (len > size - in) return kRctTruncated;
      if (len <= kWideLiteral && size - in >= kWideLiteral && total - pos >= kWideLiteral) {
        memcpy(out + pos, packed + in, kWideLiteral);
      } else {
        memcpy(out + pos, packed + in, len);
      }
      in += len;
      pos += len;
    }
  }
  return kRctOk;
}

}  // namespace

const char *DescribeRctResult(int result) {
  switch (result) {
    case kRctOk:
      return "ok";
    case kRctUnknownKind:
      return "not an RCT picture of a known kind";
    case kRctBadSize:
      return "picture size out of range";
    case kRctShortFile:
      return "file shorter than its header says";
    case kRctTruncated:
      return "packed stream ends before the picture is complete";
    case kRctBadCopy:
      return "copy from outside the decoded picture";
    case kRctOverrun:
      return "command runs past the end of the picture";
    case kRctNoMemory:
      return "out of memory";
  }
  return "unknown result";
}

int RctParseHeader(const unsigned char *bytes, RctHeader *header) {
  int kind;
  if (memcmp(bytes, kRctMagicTC00, kRctMagicSize) == 0) {
    kind = kRctKindTC00;
  } else if (memcmp(bytes, kRctMagicTC01, kRctMagicSize) == 0) {
    kind = kRctKindTC01;
  } else {
    return kRctUnknownKind;
  }
  header->kind = kind;
  header->width = (int32_t)RctLe32(bytes + kRctWidthOffset);
  header->height = (int32_t)RctLe32(bytes + kRctHeightOffset);
  header->packed_size = RctLe32(bytes + kRctPackedSizeOffset);
  header->total = 0;
  if (header->width <= 0 || header->height <= 0) return kRctBadSize;
  uint64_t total = (uint64_t)header->width * (uint64_t)header->height * kRctPixelSize;
  if (total > kMaxTotal) return kRctBadSize;
  header->total = (uint32_t)total;
  return kRctOk;
}

uint32_t RctUsefulPackedSize(const RctHeader *header) {
  uint64_t pixels = header->total / kRctPixelSize;
  uint64_t most = kRctPixelSize + 4 * (pixels - 1);  // below 2^32: total <= INT32_MAX
  return header->packed_size < most ? header->packed_size : (uint32_t)most;
}

uint64_t RctPixelReach(uint64_t stream_size) {
  if (stream_size < kRctPixelSize) return 0;
  uint64_t commands = (stream_size - kRctPixelSize + kRctCountSize) / (1 + kRctCountSize);
  return 1 + commands * (uint64_t)kRctLongCopyMaxPixels;
}

int RctLocateStream(const unsigned char *file, size_t file_size, RctHeader *header,
                    size_t *stream_offset, size_t *stream_size) {
  if (file_size < kRctHeaderSize) {
    // Too short even to tell the kind: unknown when the bytes present already differ.
    if (file_size >= kRctMagicSize && memcmp(file, kRctMagicTC00, kRctMagicSize) != 0 &&
        memcmp(file, kRctMagicTC01, kRctMagicSize) != 0) {
      return kRctUnknownKind;
    }
    return kRctShortFile;
  }
  int result = RctParseHeader(file, header);
  if (result != kRctOk) return result;
  size_t offset = kRctHeaderSize;
  if (header->kind == kRctKindTC01) {
    if (file_size - offset < kRctNameLengthSize) return kRctShortFile;
    size_t name_length = RctLe16(file + offset);
    offset += kRctNameLengthSize;
    if (file_size - offset < name_length) return kRctShortFile;
    offset += name_length;
  }
  size_t useful = RctUsefulPackedSize(header);
  if (file_size - offset < useful) return kRctShortFile;
  if (RctPixelReach(useful) < header->total / kRctPixelSize) return kRctTruncated;
  *stream_offset = offset;
  *stream_size = useful;
  return kRctOk;
}

int RctDecode(const unsigned char *packed, size_t packed_size, int32_t width, int32_t height,
              unsigned char *out, size_t out_size, size_t stride) {
  if (width <= 0 || height <= 0) return kRctBadSize;
  uint64_t row_bytes = (uint64_t)width * kRctPixelSize;
  uint64_t total = row_bytes * (uint64_t)height;
  if (total > kMaxTotal || stride < row_bytes) return kRctBadSize;
  // The last row needs only its pixels, not its padding.
  if ((uint64_t)stride * (uint64_t)(height - 1) + row_bytes > (uint64_t)out_size) {
    return kRctBadSize;
  }
  size_t distance[kRctNeighbourCount];
  BuildDistances(width, (size_t)total, distance);
  int result = DecodeLinear(packed, packed_size, out, (size_t)total, distance);
  if (result != kRctOk) return result;
  if (stride != row_bytes) {
    // Last row first: row r moves from r * row_bytes up to r * stride, which is at or past
    // every row above it, so no row is overwritten before it has moved. Row 0 stays. The
    // padding after each moved-from row held pixels of the linear image: it is cleared,
    // so that the surface holds the picture and nothing else.
    size_t padding = stride - (size_t)row_bytes;
    for (size_t row = (size_t)height - 1; row > 0; row--) {
      memmove(out + row * stride, out + row * (size_t)row_bytes, (size_t)row_bytes);
      memset(out + (row - 1) * stride + (size_t)row_bytes, 0, padding);
    }
  }
  return kRctOk;
}
