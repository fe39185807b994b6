// Surfaces: pictures held in the form the platform draws directly, a device-independent
// bitmap section with its BITMAPINFOHEADER description block, linked into one
// process-wide registry (newest first).
//
// The record and the registry are portable; the bitmap itself comes through the seam at
// the end of this header: surface_win32.cpp makes a real DIB section, surface_posix.cpp
// plain heap memory for the native tests and tools. This header does not include
// windows.h, so the bitmap handle is held as void *.
//
// Single-threaded like the rest of the installer: only the user-interface thread creates,
// draws and releases surfaces, and the registry has no lock.
#ifndef FERN_PICTURE_SURFACE_H
#define FERN_PICTURE_SURFACE_H

#include <stddef.h>
#include <stdint.h>

// The description block: a BITMAPINFOHEADER (40 bytes, little-endian), followed for the
// 8-bit format by a colour table of 256 entries of 4 bytes.
enum {
  kBitmapHeaderSize = 40,
  kPaletteEntries = 256,
  kPaletteEntrySize = 4,
  kInfoSize24 = kBitmapHeaderSize,                                       // 40
  kInfoSize8 = kBitmapHeaderSize + kPaletteEntries * kPaletteEntrySize,  // 1064
};

// Byte offsets of the BITMAPINFOHEADER fields that a surface sets; the others stay 0
// (biCompression 0 is BI_RGB).
enum {
  kBiSizeOffset = 0,       // u32
  kBiWidthOffset = 4,      // s32
  kBiHeightOffset = 8,     // s32: negative for a top-down bitmap
  kBiPlanesOffset = 12,    // u16
  kBiBitCountOffset = 14,  // u16
  kBiClrUsedOffset = 32,   // u32
};

struct Surface {
  int32_t width;          // pixels per row, as requested
  int32_t height;         // rows: the absolute value of the requested height
  int32_t stride;         // bytes per row of pixel memory, a multiple of 4
  int32_t locked;         // set: ReleaseSurface refuses the surface unless forced
  int32_t indexed;        // set: 8 bits per pixel with a colour table; clear: 24 bits
  unsigned char *info;    // owned description block, kInfoSize8 or kInfoSize24 bytes
  unsigned char *colors;  // 8-bit: the colour table at info + 40; 24-bit: nullptr
  unsigned char *bits;    // pixel memory, stride * height bytes; belongs to the bitmap
  void *bitmap;           // the bitmap section (HBITMAP in the Windows build)
  Surface *newer;         // registry neighbour created after this one; nullptr for the head
  Surface *older;         // registry neighbour created before this one
};

// Bytes per row for a width: 24-bit ((width * 3 + 3) / 4) * 4, 8-bit ((width + 3) / 4) * 4,
// so that every row starts on a 4-byte boundary. -1 when width is not positive or the row
// would not fit a 32-bit signed value.
int32_t SurfaceStride(int32_t width, int indexed);

// Creates a surface of width x |height| pixels, linked at the head of the registry. A
// positive height makes a top-down bitmap (biHeight is the height negated), a negative one
// a bottom-up bitmap of the same number of rows. The pixel memory's content is not set.
//
// Returns nullptr, with nothing linked or left allocated, when the record or the
// description block cannot be allocated (AllocateOrWarn has warned), when the bitmap
// cannot be created (silently), or when the sizes make no bitmap: width not positive,
// height 0 or INT32_MIN, or stride * height over INT32_MAX bytes.
Surface *CreateSurface(int32_t width, int32_t height, int indexed, int locked);
Surface *CreateSurface24(int32_t width, int32_t height, int locked);

// Releases a surface: 0 when it was released or was nullptr, 1 when it is locked and
// force is clear (it then stays linked and usable).
int ReleaseSurface(Surface *surface, int force);

// The registry's newest surface, nullptr when none lives; follow `older` for the rest.
Surface *NewestSurface();

// Tests: releases every live surface, locked ones included, leaving the registry empty.
void ReleaseAllSurfaces();

// The platform seam. CreateSurfaceBitmap makes the bitmap that `info` describes, with
// bits_size bytes of pixel memory; 0 with *bitmap and *bits set, or -1 with both left
// nullptr. DeleteSurfaceBitmap frees the bitmap and its pixel memory.
int CreateSurfaceBitmap(const unsigned char *info, size_t bits_size, void **bitmap,
                        unsigned char **bits);
void DeleteSurfaceBitmap(void *bitmap);

#endif
