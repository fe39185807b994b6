// The native builds' bitmap: plain heap memory, which the bitmap handle also points to.
#include "picture/surface.h"
#include "support/allocate.h"

int CreateSurfaceBitmap(const unsigned char *, size_t bits_size, void **bitmap,
                        unsigned char **bits) {
  unsigned char *memory = (unsigned char *)AllocateOrWarn(bits_size);
  *bitmap = memory;
  *bits = memory;
  return memory != nullptr ? 0 : -1;
}

void DeleteSurfaceBitmap(void *bitmap) { ReleaseBlock(bitmap); }
