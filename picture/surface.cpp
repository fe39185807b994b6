#include "picture/surface.h"

#include <string.h>

#include "support/allocate.h"

namespace {

// Module state: the registry's head, the newest live surface.
struct SurfaceState {
  Surface *newest;
};
SurfaceState g_state = {nullptr};

const int64_t kMaxInt32 = 0x7FFFFFFF;

void PutLe16(unsigned char *p, uint32_t v) {
  p[0] = (unsigned char)v;
  p[1] = (unsigned char)(v >> 8);
}

void PutLe32(unsigned char *p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = (unsigned char)(v >> (8 * i));
}

}  // namespace

int32_t SurfaceStride(int32_t width, int indexed) {
  if (width <= 0) return -1;
  int64_t row = indexed ? (int64_t)width : (int64_t)width * 3;
  int64_t stride = (row + 3) / 4 * 4;
  return stride > kMaxInt32 ? -1 : (int32_t)stride;
}

Surface *CreateSurface(int32_t width, int32_t height, int indexed, int locked) {
  // Sizes first, so that a refused surface costs nothing.
  if (height == 0 || height == INT32_MIN) return nullptr;
  int32_t stride = SurfaceStride(width, indexed);
  int32_t rows = height < 0 ? -height : height;
  if (stride < 0 || (int64_t)stride * rows > kMaxInt32) return nullptr;

  Surface *surface = (Surface *)AllocateOrWarn(sizeof(Surface));
  if (surface == nullptr) return nullptr;
  memset(surface, 0, sizeof *surface);
  surface->width = width;
  surface->height = rows;
  surface->stride = stride;
  surface->locked = locked ? 1 : 0;
  surface->indexed = indexed ? 1 : 0;

  size_t info_size = indexed ? kInfoSize8 : kInfoSize24;
  surface->info = (unsigned char *)AllocateOrWarn(info_size);
  if (surface->info == nullptr) {
    ReleaseBlock(surface);
    return nullptr;
  }
  memset(surface->info, 0, info_size);
  unsigned char *info = surface->info;
  PutLe32(info + kBiSizeOffset, kBitmapHeaderSize);
  PutLe32(info + kBiWidthOffset, (uint32_t)width);
  PutLe32(info + kBiHeightOffset, (uint32_t)-height);  // positive height: top-down
  PutLe16(info + kBiPlanesOffset, 1);
  PutLe16(info + kBiBitCountOffset, indexed ? 8 : 24);
  if (indexed) {
    PutLe32(info + kBiClrUsedOffset, kPaletteEntries);
    surface->colors = info + kBitmapHeaderSize;
  }

  if (CreateSurfaceBitmap(info, (size_t)stride * (size_t)rows, &surface->bitmap, &surface->bits) !=
      0) {
    ReleaseBlock(surface->info);
    ReleaseBlock(surface);
    return nullptr;
  }

  surface->older = g_state.newest;
  if (g_state.newest != nullptr) g_state.newest->newer = surface;
  g_state.newest = surface;
  return surface;
}

Surface *CreateSurface24(int32_t width, int32_t height, int locked) {
  return CreateSurface(width, height, 0, locked);
}

int ReleaseSurface(Surface *surface, int force) {
  if (surface == nullptr) return 0;
  if (!force && surface->locked) return 1;
  if (surface->newer != nullptr) {
    surface->newer->older = surface->older;
  } else {
    g_state.newest = surface->older;
  }
  if (surface->older != nullptr) surface->older->newer = surface->newer;
  DeleteSurfaceBitmap(surface->bitmap);
  ReleaseBlock(surface->info);
  ReleaseBlock(surface);
  return 0;
}

Surface *NewestSurface() { return g_state.newest; }

void ReleaseAllSurfaces() {
  while (g_state.newest != nullptr) ReleaseSurface(g_state.newest, 1);
}
