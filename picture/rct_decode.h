// Reading RCT pictures (layout in rct_format.h): header parsing, the decoder of a packed
// stream into caller-provided memory, and LoadRctPicture, which turns a file into a
// 24-bit Surface.
//
// Portable; the decoder keeps no state. LoadRctPicture remembers the outcome of its last
// call (RctLastLoad) for tests and messages; like the rest of the installer it runs on the
// one user-interface thread and is not reentrant.
//
// Malformed pictures yield no picture at all, never a partial one: every check happens
// before the byte it protects is read or written, and the decoder reports why it stopped.
#ifndef FERN_PICTURE_RCT_DECODE_H
#define FERN_PICTURE_RCT_DECODE_H

#include <stddef.h>
#include <stdint.h>

#include "picture/rct_format.h"

struct Surface;

enum RctResult {
  kRctOk = 0,
  kRctUnknownKind,  // signature and kind are neither "TC00" nor "TC01"
  kRctBadSize,      // width or height not positive, or width * height * 3 over INT32_MAX;
                    // for RctDecode also an output area too small for the picture
  kRctShortFile,    // the file ends inside its header, name or packed stream
  kRctTruncated,    // the packed stream ends before the picture is complete
  kRctBadCopy,      // a copy source before the picture's first byte, or not yet decoded
  kRctOverrun,      // a command would write past the end of the picture
  kRctNoMemory,     // the packed buffer or the surface could not be had
};

// A short English reason for fernpack's messages and test output.
const char *DescribeRctResult(int result);

enum RctKind { kRctKindTC00 = 0, kRctKindTC01 = 1 };

struct RctHeader {
  int kind;              // RctKind
  int32_t width;         // > 0 once parsed
  int32_t height;        // > 0 once parsed
  uint32_t packed_size;  // as stored; see RctUsefulPackedSize
  uint32_t total;        // width * height * 3, at most INT32_MAX
};

// Parses the 20 header bytes. kRctUnknownKind for any other signature and kind (the
// header is then not filled in), kRctBadSize for sizes that make no picture.
int RctParseHeader(const unsigned char *bytes, RctHeader *header);

// The number of packed-stream bytes that matter: the stored packed size, but no more than
// any stream for a picture of this size can use. Each command costs at most 4 bytes per
// pixel it makes (a one-pixel literal), so the first pixel plus 4 bytes for every other
// pixel bound what the decoder can read; bytes beyond that would never be read, and
// neither allocating nor reading them protects against a packed size that claims gigabytes.
uint32_t RctUsefulPackedSize(const RctHeader *header);

// The most pixels a packed stream of stream_size bytes can make: the first pixel takes 3
// bytes, and no command makes more than a long copy's 65539 pixels for its 3 bytes. A
// picture larger than this cannot be decoded from the stream, so its header is refused
// (kRctTruncated) before the picture's memory is allocated: a 23-byte file that claims
// gigabytes of pixels costs nothing. This ties every allocation of the decoder to the
// input: the picture to at most 65539 pixels per 3 bytes of file, the packed buffer to
// the file's size.
uint64_t RctPixelReach(uint64_t stream_size);

// Finds the packed stream in a whole file held in memory (fernpack and tests). On kRctOk
// the stream is file[*stream_offset, *stream_offset + *stream_size), where stream_size is
// RctUsefulPackedSize. kRctShortFile when the file ends before that; kRctTruncated when
// the stream cannot make the picture (RctPixelReach).
int RctLocateStream(const unsigned char *file, size_t file_size, RctHeader *header,
                    size_t *stream_offset, size_t *stream_size);

// Decodes a packed stream into out, the picture's rows `stride` bytes apart (stride at
// least width * 3); out holds out_size bytes, which must cover stride * (height - 1) +
// width * 3. The linear image is written from out[0] and then spread to the stride in
// place, last row first; the padding bytes at the end of each row but the last are then
// set to zero (the linear image passed through them). Reads only packed[0,
// packed_size) and writes only the picture's rows. On failure out holds an unfinished
// picture, which the caller discards.
int RctDecode(const unsigned char *packed, size_t packed_size, int32_t width, int32_t height,
              unsigned char *out, size_t out_size, size_t stride);

// Tries to read a file whose header or packed stream turns out short this many times, each
// with a fresh open, before giving up on it with no picture: a file being written by
// someone else may be complete a moment later, a truncated file never will be.
enum { kRctReadAttempts = 3 };

// Reads the picture file `name` (relative to the current folder) through OpenResourceFile
// and returns it as an unlocked 24-bit Surface, or nullptr when the file is unknown
// ("8_00" included), malformed, stays short for kRctReadAttempts reads, or memory is
// short (AllocateOrWarn has warned then). Nothing else is shown to the user. The caller
// releases the surface with ReleaseSurface.
Surface *LoadRctPicture(const char *name);

// What the last LoadRctPicture call ended with, and how many times it opened the file.
struct RctLoadReport {
  int result;  // RctResult
  int attempts;
};
RctLoadReport RctLastLoad();

#endif
