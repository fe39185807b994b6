// The RCT picture: the installer's menu picture, 24-bit pixels packed with literal runs
// and copies from a fixed neighbourhood of already decoded pixels.
//
// Byte map of a file (all numbers little-endian, read byte by byte):
//
//   offset 0    4   signature        98 5A 92 9A
//   offset 4    4   kind             "TC00" or "TC01" (signature and kind are compared
//                                    together as one 8-byte value; "8_00" and anything
//                                    else is unknown)
//   offset 8    4   width            pixels per row, signed
//   offset 12   4   height           rows, signed
//   offset 16   4   packed size      bytes of the packed stream, unsigned
//   "TC01" only:
//   offset 20   2   name length N    unsigned
//   offset 22   N   name             skipped, never used
//   then        packed size bytes    the packed stream: at offset 20 ("TC00") or 22 + N
//
// Pixels are 3 bytes, blue, green, red (a 24-bit bitmap's order), rows top to bottom, no
// padding: the linear image of width * height * 3 bytes. All positions below count bytes
// of the linear image.
//
// Packed stream: 3 bytes, the first pixel verbatim; then commands until the picture is
// complete, each opened by one control byte b:
//
//   0x00-0x7E              literal       3 * (b + 1) pixel bytes follow      1-127 px
//   0x7F                   long literal  u16 L, then 3 * (L + 128) bytes     128-65663 px
//   0x80-0xFF, b & 3 < 3   copy          nothing follows                      1-3 px
//   0x80-0xFF, b & 3 = 3   long copy     u16 L                                4-65539 px
//
// A copy takes neighbour entry k = (b >> 2) & 0x1F and copies byte by byte, in increasing
// order, from (output position + offset of k) to the output position, so a source that
// overlaps the bytes being written repeats them. Entry k names the pixel (dx, dy) from the
// current one; its offset is 3 * (dx + dy * width) and ignores row edges: near a row's end
// a positive dx reaches into the next row of the linear image.
//
// Decoding stops when the output reaches width * height * 3; later bytes of the packed
// stream are never read.
//
// This header is shared by the installer's decoder, fernpack's encoder and the tests; it
// is the only place that spells out the layout.
#ifndef FERN_PICTURE_RCT_FORMAT_H
#define FERN_PICTURE_RCT_FORMAT_H

#include <stdint.h>

enum {
  kRctHeaderSize = 20,      // signature, kind, width, height, packed size
  kRctMagicSize = 8,        // signature and kind, compared as one value
  kRctWidthOffset = 8,
  kRctHeightOffset = 12,
  kRctPackedSizeOffset = 16,
  kRctNameLengthSize = 2,   // "TC01": the u16 name length after the header
  kRctPixelSize = 3,        // blue, green, red
};

static const unsigned char kRctMagicTC00[kRctMagicSize] = {0x98, 0x5A, 0x92, 0x9A,
                                                           'T',  'C',  '0',  '0'};
static const unsigned char kRctMagicTC01[kRctMagicSize] = {0x98, 0x5A, 0x92, 0x9A,
                                                           'T',  'C',  '0',  '1'};

// Control bytes and the pixel counts of each command form.
enum {
  kRctLiteralLast = 0x7E,        // 0x00-0x7E: literal of b + 1 pixels
  kRctLongLiteral = 0x7F,        // u16 count follows
  kRctCopyFlag = 0x80,           // set: copy from a neighbour entry
  kRctCopyCountMask = 3,         // b & 3: 0-2 short copy of (b & 3) + 1 pixels, 3 long copy
  kRctLongCopyCode = 3,
  kRctEntryShift = 2,            // entry k = (b >> 2) & 0x1F
  kRctEntryMask = 0x1F,
  kRctCountSize = 2,             // the u16 count of the long forms

  kRctLiteralMaxPixels = 127,                 // short literal: 1-127
  kRctLongLiteralBase = 128,                  // long literal: L + 128
  kRctLongLiteralMaxPixels = 128 + 65535,     // 65663
  kRctCopyMaxPixels = 3,                      // short copy: 1-3
  kRctLongCopyBase = 4,                       // long copy: L + 4
  kRctLongCopyMaxPixels = 4 + 65535,          // 65539
};

// The neighbour table: entry k is the pixel (dx, dy) from the current one, dy < 0 above.
enum { kRctNeighbourCount = 32 };
static const signed char kRctNeighbourDx[kRctNeighbourCount] = {
    -1, -2, -3, -4, -5, -6,             // 0-5    same row
    3,  2,  1,  0,  -1, -2, -3,         // 6-12   one row up
    3,  2,  1,  0,  -1, -2, -3,         // 13-19  two rows up
    3,  2,  1,  0,  -1, -2, -3,         // 20-26  three rows up
    2,  1,  0,  -1, -2,                 // 27-31  four rows up
};
static const signed char kRctNeighbourDy[kRctNeighbourCount] = {
    0,  0,  0,  0,  0,  0,
    -1, -1, -1, -1, -1, -1, -1,
    -2, -2, -2, -2, -2, -2, -2,
    -3, -3, -3, -3, -3, -3, -3,
    -4, -4, -4, -4, -4,
};

// Offset of entry k in pixels of the linear image (multiply by kRctPixelSize for bytes).
// 64-bit: with a very wide picture 4 rows of pixels do not fit in 32 bits.
inline int64_t RctNeighbourPixelOffset(int k, int32_t width) {
  return (int64_t)kRctNeighbourDx[k] + (int64_t)kRctNeighbourDy[k] * (int64_t)width;
}

inline uint16_t RctLe16(const unsigned char *p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t RctLe32(const unsigned char *p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) |
         ((uint32_t)p[3] << 24);
}
inline void RctPutLe16(unsigned char *p, uint16_t v) {
  p[0] = (unsigned char)v;
  p[1] = (unsigned char)(v >> 8);
}
inline void RctPutLe32(unsigned char *p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = (unsigned char)(v >> (8 * i));
}

#endif
