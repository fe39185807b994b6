// The Windows bitmap: a device-independent bitmap section compatible with the screen. Its
// pixel memory belongs to the section and goes with DeleteObject.
#include <windows.h>

#include "picture/surface.h"

int CreateSurfaceBitmap(const unsigned char *info, size_t, void **bitmap, unsigned char **bits) {
  *bitmap = nullptr;
  *bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) return -1;
  void *memory = nullptr;
  HBITMAP section =
      CreateDIBSection(dc, (const BITMAPINFO *)info, DIB_RGB_COLORS, &memory, nullptr, 0);
  DeleteDC(dc);
  if (section == nullptr || memory == nullptr) {
    if (section != nullptr) DeleteObject(section);
    return -1;
  }
  *bitmap = section;
  *bits = (unsigned char *)memory;
  return 0;
}

void DeleteSurfaceBitmap(void *bitmap) {
  if (bitmap != nullptr) DeleteObject((HBITMAP)bitmap);
}
