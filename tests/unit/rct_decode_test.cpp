#include "picture/rct_decode.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "picture/surface.h"
#include "support/allocate.h"

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes Px(unsigned char b, unsigned char g, unsigned char r) { return {b, g, r}; }
const Bytes P = Px(1, 2, 3), Q = Px(4, 5, 6), R = Px(7, 8, 9);

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Repeat(const Bytes &b, int n) {
  Bytes out;
  for (int i = 0; i < n; i++) out.insert(out.end(), b.begin(), b.end());
  return out;
}

// n distinct pixels starting from a seed.
Bytes Distinct(int n, int seed) {
  Bytes out;
  for (int i = 0; i < n; i++)
    out.insert(out.end(), {(unsigned char)(i + seed), (unsigned char)(i >> 8), 0x40});
  return out;
}

// A whole file: header of the given kind, then (for "TC01") a name, then the stream.
Bytes File(int32_t w, int32_t h, const Bytes &stream, const char *kind = "TC00",
           int name_length = -1, int64_t packed_size = -1) {
  size_t name = name_length >= 0 ? kRctNameLengthSize + (size_t)name_length : 0;
  Bytes f(kRctHeaderSize + name + stream.size(), 'n');
  memcpy(f.data(), kRctMagicTC00, 4);
  memcpy(f.data() + 4, kind, 4);
  RctPutLe32(f.data() + kRctWidthOffset, (uint32_t)w);
  RctPutLe32(f.data() + kRctHeightOffset, (uint32_t)h);
  RctPutLe32(f.data() + kRctPackedSizeOffset,
             (uint32_t)(packed_size >= 0 ? packed_size : (int64_t)stream.size()));
  if (name_length >= 0) RctPutLe16(f.data() + kRctHeaderSize, (uint16_t)name_length);
  if (!stream.empty()) memcpy(f.data() + kRctHeaderSize + name, stream.data(), stream.size());
  return f;
}

// Decodes a file held in an exactly sized heap block (so that AddressSanitizer sees any
// read past it) into an exactly sized picture of the given stride.
int DecodeFile(const Bytes &file, Bytes *pixels, size_t stride = 0, unsigned char fill = 0xEE) {
  std::unique_ptr<unsigned char[]> copy(new unsigned char[file.size() + 1]);
  memcpy(copy.get(), file.data(), file.size());
  RctHeader h;
  size_t offset = 0, size = 0;
  int result = RctLocateStream(copy.get(), file.size(), &h, &offset, &size);
  if (result != kRctOk) return result;
  std::unique_ptr<unsigned char[]> stream(new unsigned char[size + 1]);
  memcpy(stream.get(), copy.get() + offset, size);
  if (stride == 0) stride = (size_t)h.width * 3;
  size_t out_size = stride * (h.height - 1) + (size_t)h.width * 3;
  std::unique_ptr<unsigned char[]> out(new unsigned char[out_size]);
  memset(out.get(), fill, out_size);
  result = RctDecode(size ? stream.get() : nullptr, size, h.width, h.height, out.get(), out_size,
                     stride);
  pixels->assign(out.get(), out.get() + out_size);
  return result;
}

struct DecodeRow {
  const char *label;
  Bytes file;
  Bytes expected;
};

TEST(RctDecode, WellFormedStreams) {
  const Bytes lit128 = Distinct(128, 10), lit127 = Distinct(127, 20);
  const Bytes row0 = Distinct(8, 100), row1 = Distinct(6, 150);
  const DecodeRow rows[] = {
      {"4x1 example", File(4, 1, Cat({P, {0x80, 0x01}, Q, R})), Cat({P, P, Q, R})},
      {"1x1 reads no control byte", File(1, 1, P), P},
      {"trailing bytes ignored", File(1, 1, Cat({P, {0xFF, 0x7F, 0x12}})), P},
      {"0x83 count 0 is 4 px", File(5, 1, Cat({P, {0x83, 0, 0}})), Repeat(P, 5)},
      {"0x7F count 0 is 128 px", File(129, 1, Cat({P, {0x7F, 0, 0}, lit128})), Cat({P, lit128})},
      {"0x7E is 127 px", File(128, 1, Cat({P, {0x7E}, lit127})), Cat({P, lit127})},
      {"overlapping copy repeats", File(5, 1, Cat({P, {0x00}, Q, {0x86}})), Cat({P, Q, P, Q, P})},
      {"short overlapping copy far from the end", File(10, 1, Cat({P, {0x81, 0x06}, Distinct(7, 1)})),
       Cat({P, P, P, Distinct(7, 1)})},
      // Entry 6 is (+3, -1): from (6, 1) it reaches x = 9 of row 0, which is (1, 1).
      {"right-edge copy reads next row",
       File(8, 2,
            Cat({{row0.begin(), row0.begin() + 3},
                 {12},
                 {row0.begin() + 3, row0.end()},
                 row1,
                 {0x80 | 6 << 2 | 1}})),
       Cat({row0, row1, {row1.begin() + 3, row1.begin() + 9}})},
      {"TC01 name length 0", File(4, 1, Cat({P, {0x80, 0x01}, Q, R}), "TC01", 0),
       Cat({P, P, Q, R})},
      {"TC01 name length 65535", File(4, 1, Cat({P, {0x80, 0x01}, Q, R}), "TC01", 65535),
       Cat({P, P, Q, R})},
      // Only the 15 bytes a 4-pixel stream can use are needed, not 4 GiB.
      {"packed size claims 4 GiB",
       File(4, 1, Cat({P, {0x80, 0x01}, Q, R, {9, 9, 9, 9}}), "TC00", -1, 0xFFFFFFFF),
       Cat({P, P, Q, R})},
  };
  for (const DecodeRow &row : rows) {
    Bytes pixels;
    ASSERT_EQ(kRctOk, DecodeFile(row.file, &pixels)) << row.label;
    EXPECT_EQ(row.expected, pixels) << row.label;
  }
}

// Rows 255 and 256 pixels wide: only the first needs spreading to a 768-byte stride.
TEST(RctDecode, RowsSpreadToStrideInPlace) {
  for (int32_t width : {255, 256}) {
    const int32_t height = 5;
    const size_t row_bytes = (size_t)width * 3, stride = 768;
    Bytes linear = Distinct(width * height, 7);
    Bytes stream(linear.begin(), linear.begin() + 3);
    for (size_t px = 1; px < (size_t)width * height; px += 256) {
      size_t n = std::min<size_t>(256, (size_t)width * height - px);
      Bytes cmd =
          n >= 128 ? Bytes{0x7F, (unsigned char)(n - 128), 0} : Bytes{(unsigned char)(n - 1)};
      stream.insert(stream.end(), cmd.begin(), cmd.end());
      stream.insert(stream.end(), linear.begin() + px * 3, linear.begin() + (px + n) * 3);
    }
    Bytes out;
    ASSERT_EQ(kRctOk, DecodeFile(File(width, height, stream), &out, stride)) << width;
    for (int32_t y = 0; y < height; y++) {
      EXPECT_TRUE(std::equal(out.begin() + y * stride, out.begin() + y * stride + row_bytes,
                             linear.begin() + y * row_bytes))
          << "width " << width << " row " << y;
      // The padding after each row but the last is cleared, not left with pixels.
      if (y + 1 < height) {
        EXPECT_EQ(Bytes(stride - row_bytes, 0),
                  Bytes(out.begin() + y * stride + row_bytes, out.begin() + (y + 1) * stride))
            << "width " << width << " row " << y;
      }
    }
  }
}

struct BadRow {
  const char *label;
  Bytes file;
  int expected;
};

std::vector<BadRow> MalformedRows() {
  Bytes eight = File(1, 1, P);
  memcpy(eight.data() + 4, "8_00", 4);
  Bytes signature = File(1, 1, P);
  signature[0] = 0x99;
  Bytes header = File(1, 1, P), long_name = File(1, 1, {}, "TC01", 40);
  return {
      {"8_00 kind", eight, kRctUnknownKind},
      {"TC02 kind", File(1, 1, P, "TC02"), kRctUnknownKind},
      {"other signature", signature, kRctUnknownKind},
      {"width 0", File(0, 1, P), kRctBadSize},
      {"height 0", File(1, 0, P), kRctBadSize},
      {"negative width", File(-4, 1, P), kRctBadSize},
      {"negative height", File(4, -1, P), kRctBadSize},
      {"w*h*3 overflows 32 bits", File(65536, 65536, P), kRctBadSize},
      {"w*h*3 just over INT32_MAX", File(715827883, 1, P), kRctBadSize},
      {"header cut short", Bytes(eight.begin(), eight.begin() + 3), kRctShortFile},
      {"header cut at 19", Bytes(header.begin(), header.begin() + 19), kRctShortFile},
      {"TC01 without name length", Bytes(File(1, 1, {}, "TC01")), kRctShortFile},
      {"TC01 name runs past the end", Bytes(long_name.begin(), long_name.end() - 1), kRctShortFile},
      {"packed size past the end", File(4, 1, P, "TC00", -1, 12), kRctShortFile},
      {"packed size one past the end", File(4, 1, Cat({P, {0x80, 0x01}, Q, R}), "TC00", -1, 12),
       kRctShortFile},
      {"packed size 0", File(1, 1, {}, "TC00", -1, 0), kRctTruncated},
      {"first pixel incomplete", File(1, 1, {1, 2}), kRctTruncated},
      {"stream ends before control byte", File(2, 1, P), kRctTruncated},
      {"literal short of its pixels", File(3, 1, Cat({P, {0x01}, Q})), kRctTruncated},
      {"long literal without count", File(200, 1, Cat({P, {0x7F, 0}})), kRctTruncated},
      {"long copy without count", File(9, 1, Cat({P, {0x83}})), kRctTruncated},
      {"copy from above row 0", File(2, 2, Cat({P, {0x80 | 9 << 2}})), kRctBadCopy},
      {"copy 6 px back at pixel 2", File(9, 1, Cat({P, {0x00}, Q, {0x80 | 5 << 2}})), kRctBadCopy},
      // Width 1: entry 6 is (+3, -1), 2 pixels ahead: not yet decoded.
      {"copy from ahead (narrow picture)", File(1, 4, Cat({P, {0x80 | 6 << 2}})), kRctBadCopy},
      {"copy past the end", File(2, 1, Cat({P, {0x81}})), kRctOverrun},
      {"long copy past the end", File(5, 1, Cat({P, {0x83, 1, 0}})), kRctOverrun},
      {"literal past the end", File(2, 1, Cat({P, {0x01}, Q, R})), kRctOverrun},
      {"long literal past the end", File(128, 1, Cat({P, {0x7F, 0, 0}, Distinct(128, 0)})),
       kRctOverrun},
  };
}

TEST(RctDecode, MalformedFilesRefused) {
  for (const BadRow &row : MalformedRows()) {
    Bytes pixels;
    EXPECT_EQ(row.expected, DecodeFile(row.file, &pixels)) << row.label;
  }
}

// LoadRctPicture on real files: the surface holds the picture; malformed files give no
// surface, leave nothing allocated (LeakSanitizer) and say why.
class RctLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/rct_load_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    dir_ = dir;
  }
  void TearDown() override {
    ReleaseAllSurfaces();
    std::string cmd = "rm -rf " + dir_;
    ASSERT_EQ(0, system(cmd.c_str()));
  }
  std::string Write(const Bytes &bytes) {
    std::string path = dir_ + "/insttscr.rct";
    FILE *f = fopen(path.c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    return path;
  }
  std::string dir_;
};

TEST_F(RctLoad, DecodesIntoSurfaceWithStride) {
  Bytes linear = Cat({P, P, Q, R, Q, P, P, Q, R, Q});  // 5 x 2
  // 0x93: long copy from entry 4 (5 px back) of 1 + 4 pixels: the whole first row.
  Bytes stream = Cat({P, {0x80, 0x01}, Q, R, {0x00}, Q, {0x93, 1, 0}});
  Surface *s = LoadRctPicture(Write(File(5, 2, stream)).c_str());
  ASSERT_NE(nullptr, s) << DescribeRctResult(RctLastLoad().result);
  EXPECT_EQ(1, RctLastLoad().attempts);
  EXPECT_EQ(5, s->width);
  EXPECT_EQ(2, s->height);
  EXPECT_EQ(16, s->stride);
  EXPECT_EQ(0, s->locked);
  EXPECT_EQ(0, s->indexed);
  EXPECT_EQ(s, NewestSurface());
  EXPECT_EQ(Bytes(linear.begin(), linear.begin() + 15), Bytes(s->bits, s->bits + 15));
  EXPECT_EQ(Bytes(linear.begin() + 15, linear.end()), Bytes(s->bits + 16, s->bits + 31));
  EXPECT_EQ(0, ReleaseSurface(s, 0));
}

TEST_F(RctLoad, MalformedFilesGiveNoSurface) {
  for (const BadRow &row : MalformedRows()) {
    std::string path = Write(row.file);
    EXPECT_EQ(nullptr, LoadRctPicture(path.c_str())) << row.label;
    EXPECT_EQ(row.expected, RctLastLoad().result) << row.label;
    // Only a short file is read again, a bounded number of times.
    EXPECT_EQ(row.expected == kRctShortFile ? (int)kRctReadAttempts : 1, RctLastLoad().attempts)
        << row.label;
    EXPECT_EQ(nullptr, NewestSurface()) << row.label;
  }
}

TEST_F(RctLoad, MemoryShortageGivesNoSurface) {
  // The packed buffer refused.
  SimulateAllocationFailures(1);
  EXPECT_EQ(nullptr, LoadRctPicture(Write(File(4, 1, Cat({P, {0x80, 0x01}, Q, R}))).c_str()));
  SimulateAllocationFailures(0);
  EXPECT_EQ(kRctNoMemory, RctLastLoad().result);
  // A surface too large for any bitmap (stride over 2 GiB), after the packed buffer; the
  // stream is long enough to make it (one long copy of 65539 pixels per 3 bytes).
  Bytes reach = P;
  for (int i = 0; i < 715827882 / 65539 + 1; i++) reach.insert(reach.end(), {0x83, 0xFF, 0xFF});
  EXPECT_EQ(nullptr, LoadRctPicture(Write(File(715827882, 1, reach)).c_str()));
  EXPECT_EQ(kRctNoMemory, RctLastLoad().result);
  EXPECT_EQ(nullptr, NewestSurface());
}

}  // namespace
