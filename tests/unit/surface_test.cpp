#include "picture/surface.h"

#include <gtest/gtest.h>
#include <stdint.h>

#include <vector>

#include "picture/rct_format.h"
#include "support/allocate.h"

namespace {

class SurfaceTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SimulateAllocationFailures(0);
    ReleaseAllSurfaces();
  }
};

// Newest first, checking the links both ways.
std::vector<Surface *> Registry() {
  std::vector<Surface *> list;
  for (Surface *s = NewestSurface(); s != nullptr; s = s->older) {
    EXPECT_EQ(list.empty() ? nullptr : list.back(), s->newer);
    list.push_back(s);
  }
  return list;
}

TEST_F(SurfaceTest, StrideRule) {
  struct Row {
    int32_t width, stride24, stride8;
  } rows[] = {{1, 4, 4},          {4, 12, 4},  {5, 16, 8},   {255, 768, 256},
              {256, 768, 256},    {0, -1, -1}, {-3, -1, -1}, {715827882, -1, 715827884},
              {INT32_MAX, -1, -1}};
  for (const Row &r : rows) {
    EXPECT_EQ(r.stride24, SurfaceStride(r.width, 0)) << r.width;
    EXPECT_EQ(r.stride8, SurfaceStride(r.width, 1)) << r.width;
  }
}

TEST_F(SurfaceTest, DescriptionBlockIsBitmapInfoHeader) {
  struct Row {
    int32_t height;
    int indexed;
    int32_t rows, bi_height;
    uint16_t bit_count;
    uint32_t colours_used;
  } rows[] = {{10, 0, 10, -10, 24, 0}, {-10, 0, 10, 10, 24, 0}, {3, 1, 3, -3, 8, 256}};
  for (const Row &r : rows) {
    Surface *s = CreateSurface(7, r.height, r.indexed, 0);
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(r.rows, s->height);
    const unsigned char *info = s->info;
    EXPECT_EQ(40u, RctLe32(info + kBiSizeOffset));
    EXPECT_EQ(7u, RctLe32(info + kBiWidthOffset));
    EXPECT_EQ(r.bi_height, (int32_t)RctLe32(info + kBiHeightOffset));
    EXPECT_EQ(1, RctLe16(info + kBiPlanesOffset));
    EXPECT_EQ(r.bit_count, RctLe16(info + kBiBitCountOffset));
    EXPECT_EQ(r.colours_used, RctLe32(info + kBiClrUsedOffset));
    // Everything else, the colour table included, is zero.
    size_t size = r.indexed ? 1064 : 40;
    for (size_t i = 16; i < size; i++) {
      if (i < kBiClrUsedOffset || i >= kBiClrUsedOffset + 4) {
        EXPECT_EQ(0, info[i]) << i;
      }
    }
    EXPECT_EQ(r.indexed ? info + 40 : nullptr, s->colors);
    s->bits[s->stride * s->height - 1] = 1;  // the pixel memory is all there (ASan)
    EXPECT_EQ(0, ReleaseSurface(s, 0));
  }
}

TEST_F(SurfaceTest, RegistryNewestFirstAndUnlinking) {
  Surface *a = CreateSurface24(1, 1, 0);
  Surface *b = CreateSurface24(2, 2, 0);
  Surface *c = CreateSurface24(3, 3, 0);
  EXPECT_EQ((std::vector<Surface *>{c, b, a}), Registry());
  EXPECT_EQ(0, ReleaseSurface(b, 0));  // middle: neighbours joined
  EXPECT_EQ((std::vector<Surface *>{c, a}), Registry());
  EXPECT_EQ(0, ReleaseSurface(c, 0));  // head: the next older becomes head
  EXPECT_EQ((std::vector<Surface *>{a}), Registry());
  EXPECT_EQ(0, ReleaseSurface(a, 0));  // the only one
  EXPECT_EQ(nullptr, NewestSurface());
  EXPECT_EQ(0, ReleaseSurface(nullptr, 0));
  EXPECT_EQ(0, ReleaseSurface(nullptr, 1));
}

TEST_F(SurfaceTest, LockedSurfaceNeedsForce) {
  Surface *old = CreateSurface24(1, 1, 0);
  Surface *locked = CreateSurface24(4, 4, 1);
  EXPECT_EQ(1, ReleaseSurface(locked, 0));
  EXPECT_EQ((std::vector<Surface *>{locked, old}), Registry());
  locked->bits[0] = 7;  // still usable
  EXPECT_EQ(0, ReleaseSurface(locked, 1));
  EXPECT_EQ((std::vector<Surface *>{old}), Registry());
}

// Refused sizes and failed allocations return nothing, link nothing and leak nothing.
TEST_F(SurfaceTest, FailuresLeaveNoSurface) {
  Surface *keep = CreateSurface24(2, 2, 0);
  struct Row {
    const char *label;
    int32_t width, height;
    int fail;
  } rows[] = {
      {"width 0", 0, 4, 0},
      {"negative width", -1, 4, 0},
      {"height 0", 4, 0, 0},
      {"height INT32_MIN", 4, INT32_MIN, 0},
      {"stride * height over 2 GiB", 40000, 20000, 0},
      {"record not allocated", 4, 4, 1},
  };
  for (const Row &r : rows) {
    SimulateAllocationFailures(r.fail);
    EXPECT_EQ(nullptr, CreateSurface24(r.width, r.height, 0)) << r.label;
    SimulateAllocationFailures(0);
    EXPECT_EQ((std::vector<Surface *>{keep}), Registry()) << r.label;
  }
}

}  // namespace
