// Surfaces on real DIB sections, and the menu picture decoded into one.
#include "picture/surface.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <string>
#include <vector>

#include "picture/rct_decode.h"

namespace {

class SurfaceWin32 : public ::testing::Test {
 protected:
  void TearDown() override { ReleaseAllSurfaces(); }
};

DIBSECTION Section(const Surface *s) {
  DIBSECTION ds;
  memset(&ds, 0, sizeof ds);
  EXPECT_EQ((int)sizeof ds, GetObjectA((HBITMAP)s->bitmap, sizeof ds, &ds));
  return ds;
}

// The colour the platform sees at (x, y) of the surface's bitmap.
COLORREF PixelAt(const Surface *s, int x, int y) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, (HBITMAP)s->bitmap);
  COLORREF c = GetPixel(dc, x, y);
  SelectObject(dc, old);
  DeleteDC(dc);
  return c;
}

TEST_F(SurfaceWin32, PositiveHeightIsTopDown) {
  struct Row {
    int32_t height;
    int top_row_in_memory;  // the picture row that pixel memory's first row shows
  } rows[] = {{3, 0}, {-3, 2}};
  for (const Row &r : rows) {
    Surface *s = CreateSurface24(5, r.height, 0);
    ASSERT_NE(nullptr, s);
    DIBSECTION ds = Section(s);
    EXPECT_EQ(s->bits, ds.dsBm.bmBits);
    EXPECT_EQ(16, ds.dsBm.bmWidthBytes);
    EXPECT_EQ(16, s->stride);
    EXPECT_EQ(3, ds.dsBm.bmHeight);
    EXPECT_EQ(24, ds.dsBmih.biBitCount);
    EXPECT_EQ(-r.height,
              (int32_t)(s->info[8] | s->info[9] << 8 | s->info[10] << 16 | s->info[11] << 24));
    memset(s->bits, 0, s->stride * s->height);
    s->bits[2] = 0xFF;  // first pixel of memory: blue, green, red
    EXPECT_EQ(RGB(255, 0, 0), PixelAt(s, 0, r.top_row_in_memory)) << r.height;
    EXPECT_EQ(RGB(0, 0, 0), PixelAt(s, 0, 2 - r.top_row_in_memory)) << r.height;
    EXPECT_EQ(0, ReleaseSurface(s, 0));
  }
}

TEST_F(SurfaceWin32, IndexedSurfaceHasColourTable) {
  Surface *s = CreateSurface(7, 2, 1, 0);
  ASSERT_NE(nullptr, s);
  DIBSECTION ds = Section(s);
  EXPECT_EQ(8, ds.dsBmih.biBitCount);
  EXPECT_EQ(8, ds.dsBm.bmWidthBytes);
  EXPECT_EQ(s->info + 40, s->colors);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, (HBITMAP)s->bitmap);
  RGBQUAD table[256];
  memset(table, 0xAB, sizeof table);
  EXPECT_EQ(256u, GetDIBColorTable(dc, 0, 256, table));
  SelectObject(dc, old);
  DeleteDC(dc);
  for (const RGBQUAD &q : table) {
    EXPECT_EQ(0, q.rgbBlue | q.rgbGreen | q.rgbRed);
  }
}

TEST_F(SurfaceWin32, LockedRefusedWithoutForceAndRegistryOrder) {
  Surface *a = CreateSurface24(1, 1, 0);
  Surface *b = CreateSurface24(2, 2, 1);
  Surface *c = CreateSurface24(3, 3, 0);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(c, NewestSurface());
  EXPECT_EQ(b, c->older);
  EXPECT_EQ(a, b->older);
  EXPECT_EQ(1, ReleaseSurface(b, 0));
  EXPECT_EQ(OBJ_BITMAP, (int)GetObjectType((HBITMAP)b->bitmap));
  HBITMAP bitmap = (HBITMAP)b->bitmap;
  EXPECT_EQ(0, ReleaseSurface(b, 1));
  EXPECT_EQ(0, (int)GetObjectType(bitmap)) << "the section is deleted";
  EXPECT_EQ(a, c->older);
  EXPECT_EQ(c, a->newer);
  EXPECT_EQ(0, ReleaseSurface(c, 0));
  EXPECT_EQ(a, NewestSurface());
  EXPECT_EQ(nullptr, a->newer);
}

TEST_F(SurfaceWin32, RefusedSectionLeavesNothing) {
  // The seam reports a section the platform refuses, with nothing left behind.
  unsigned char info[kInfoSize24] = {40};
  info[kBiWidthOffset] = 4;
  info[kBiHeightOffset] = 4;
  info[kBiPlanesOffset] = 1;
  info[kBiBitCountOffset] = 7;  // no such format
  void *bitmap = &info;
  unsigned char *bits = info;
  EXPECT_EQ(-1, CreateSurfaceBitmap(info, 64, &bitmap, &bits));
  EXPECT_EQ(nullptr, bitmap);
  EXPECT_EQ(nullptr, bits);
}

TEST_F(SurfaceWin32, SectionTooLargeForProcessGivesNoSurface) {
  if (sizeof(void *) > 4) GTEST_SKIP() << "a 64-bit process can map the large section";
  Surface *keep = CreateSurface24(2, 2, 0);
  // 1.9 GB of pixels: allowed by the size rule, more than a 32-bit process can map.
  EXPECT_EQ(nullptr, CreateSurface24(25000, 25000, 0));
  EXPECT_EQ(keep, NewestSurface());
  EXPECT_EQ(nullptr, keep->newer);
}

// FERN_PICTURE_FIXTURE_DIR holds pictures made natively by tests/picture_fixture.sh: each
// NAME.rct encoded by fernpack from a PNG, and NAME.bgr, the PNG's pixels (blue, green,
// red, rows top to bottom) as read by an independent PNG reader.
std::vector<unsigned char> ReadAll(const std::string &path) {
  std::vector<unsigned char> bytes;
  FILE *f = fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  unsigned char block[65536];
  size_t n;
  while ((n = fread(block, 1, sizeof block, f)) > 0) bytes.insert(bytes.end(), block, block + n);
  fclose(f);
  return bytes;
}

TEST_F(SurfaceWin32, MenuPictureDecodesToThePngPixels) {
  const char *dir = getenv("FERN_PICTURE_FIXTURE_DIR");
  if (dir == nullptr || *dir == '\0') GTEST_SKIP() << "FERN_PICTURE_FIXTURE_DIR not set";
  std::string folder = dir;
  if (folder[0] == '/') folder = "Z:" + folder;  // a Unix path, through Wine's Z: drive
  for (const char *name : {"insttscr", "narrow"}) {
    std::vector<unsigned char> expected = ReadAll(folder + "/" + name + ".bgr");
    ASSERT_FALSE(expected.empty()) << folder << "/" << name << ".bgr";
    std::string picture = folder + "/" + name + ".rct";
    Surface *s = LoadRctPicture(picture.c_str());
    ASSERT_NE(nullptr, s) << picture << ": " << DescribeRctResult(RctLastLoad().result);
    size_t row_bytes = (size_t)s->width * 3;
    ASSERT_EQ(expected.size(), row_bytes * s->height) << name;
    EXPECT_EQ(s->bits, Section(s).dsBm.bmBits);
    int wrong_rows = 0;
    for (int y = 0; y < s->height; y++) {
      wrong_rows +=
          memcmp(s->bits + (size_t)y * s->stride, &expected[y * row_bytes], row_bytes) != 0;
    }
    EXPECT_EQ(0, wrong_rows) << name << " " << s->width << "x" << s->height;
    // What the platform draws agrees: the top-left and bottom-right pixels.
    const unsigned char *first = &expected[0], *last = &expected[expected.size() - 3];
    EXPECT_EQ(RGB(first[2], first[1], first[0]), PixelAt(s, 0, 0));
    EXPECT_EQ(RGB(last[2], last[1], last[0]), PixelAt(s, s->width - 1, s->height - 1));
    EXPECT_EQ(0, ReleaseSurface(s, 0));
  }
}

}  // namespace
