#include "tools/fernpack/rct_encode.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "picture/rct_format.h"
#include "tools/fernpack/pack.h"
#include "tools/fernpack/png_io.h"

namespace {

typedef std::vector<unsigned char> Bytes;

struct Sample {
  std::string label;
  BgrImage image;
};

// Pictures of fixed content: each pixel from a function of (x, y) and a seeded generator.
template <typename F>
Sample Make(const std::string &label, int32_t w, int32_t h, F colour) {
  Sample s{label + " " + std::to_string(w) + "x" + std::to_string(h), {}};
  s.image.width = w;
  s.image.height = h;
  std::mt19937 random(12345);
  for (int32_t y = 0; y < h; y++) {
    for (int32_t x = 0; x < w; x++) {
      uint32_t c = colour(x, y, random);
      s.image.bgr.insert(s.image.bgr.end(),
                         {(unsigned char)c, (unsigned char)(c >> 8), (unsigned char)(c >> 16)});
    }
  }
  return s;
}

std::vector<Sample> Samples(bool small_only) {
  auto noise = [](int, int, std::mt19937 &r) { return (uint32_t)r(); };
  auto photo = [](int x, int y, std::mt19937 &r) {  // smooth shading with sensor noise
    return (uint32_t)((x * 3 + y) / 4 + r() % 3) * 0x010203u;
  };
  auto flat = [](int, int, std::mt19937 &) { return 0x336699u; };
  auto across = [](int x, int, std::mt19937 &) { return (uint32_t)x * 0x000102u; };
  auto down = [](int, int y, std::mt19937 &) { return (uint32_t)y * 0x030201u; };
  auto diagonal = [](int x, int y, std::mt19937 &) { return (uint32_t)((x + y) % 40) * 0x050505u; };
  auto tiles = [](int x, int y, std::mt19937 &) {
    return (uint32_t)((x / 3 + y / 2) % 5) * 0x123456u;
  };
  auto sparse = [](int, int, std::mt19937 &r) { return r() % 4 == 0 ? (uint32_t)r() : 0u; };
  std::vector<Sample> s = {
      Make("flat", 1, 1, flat),     Make("noise", 2, 2, noise),        Make("noise", 1, 300, noise),
      Make("noise", 300, 1, noise), Make("photo", 17, 13, photo),      Make("across", 3, 7, across),
      Make("down", 5, 40, down),    Make("diagonal", 9, 30, diagonal), Make("tiles", 2, 150, tiles),
      Make("tiles", 23, 11, tiles), Make("sparse", 4, 90, sparse),     Make("flat", 1, 200, flat),
      Make("photo", 255, 1, photo),
  };
  if (small_only) return s;
  std::vector<Sample> large = {
      Make("photo", 256, 256, photo),
      Make("noise", 255, 64, noise),
      Make("across", 301, 99, across),
      Make("tiles", 640, 97, tiles),
      Make("sparse", 128, 128, sparse),
      Make("flat", 300, 300, flat),    // runs over the 65539-pixel copy limit
      Make("noise", 70000, 1, noise),  // a literal run over the 65663-pixel limit
  };
  s.insert(s.end(), large.begin(), large.end());
  return s;
}

// The shortest stream by brute force: every command at every pixel, no shortcuts. Only
// for small pictures.
size_t BruteForceShortest(const BgrImage &im) {
  const int64_t n = (int64_t)im.width * im.height;
  auto same = [&](int64_t a, int64_t b) { return memcmp(&im.bgr[a * 3], &im.bgr[b * 3], 3) == 0; };
  std::vector<size_t> cost(n + 1, 0);
  for (int64_t i = n - 1; i >= 1; i--) {
    size_t best = SIZE_MAX;
    for (int64_t len = 1; i + len <= n && len <= kRctLongLiteralMaxPixels; len++) {
      best = std::min(best, (len <= 127 ? 1 : 3) + 3 * (size_t)len + cost[i + len]);
    }
    for (int k = 0; k < kRctNeighbourCount; k++) {
      int64_t off = RctNeighbourPixelOffset(k, im.width);
      if (off >= 0 || i + off < 0) continue;
      for (int64_t len = 1;
           i + len <= n && len <= kRctLongCopyMaxPixels && same(i + len - 1, i + off + len - 1);
           len++) {
        best = std::min(best, (size_t)(len <= 3 ? 1 : 3) + cost[i + len]);
      }
    }
    cost[i] = best;
  }
  return 3 + (n > 1 ? cost[1] : 0);
}

BgrImage Decode(const Bytes &stream, const BgrImage &like) {
  Bytes file = MakeRctFile(like.width, like.height, stream);
  BgrImage out;
  std::string error;
  EXPECT_TRUE(DecodeRctFile(file.data(), file.size(), &out, &error)) << error;
  return out;
}

TEST(RctEncode, RoundTripsAndNeverLosesToGreedy) {
  for (const Sample &s : Samples(false)) {
    Bytes best = EncodeRctStream(s.image);
    Bytes greedy = EncodeRctStreamGreedy(s.image);
    EXPECT_EQ(s.image.bgr, Decode(best, s.image).bgr) << s.label;
    EXPECT_EQ(s.image.bgr, Decode(greedy, s.image).bgr) << s.label;
    EXPECT_LE(best.size(), greedy.size()) << s.label;
  }
}

TEST(RctEncode, FindsTheShortestStream) {
  for (const Sample &s : Samples(true)) {
    EXPECT_EQ(BruteForceShortest(s.image), EncodeRctStream(s.image).size()) << s.label;
  }
  // 89999 pixels after the first: one long copy of 65539 and one of the rest.
  Sample flat = Make("flat", 300, 300, [](int, int, std::mt19937 &) { return 7u; });
  EXPECT_EQ(3u + 3 + 3, EncodeRctStream(flat.image).size());
}

// Small files: a 24-bit BMP with row padding, bottom-up.
Bytes Bmp(const BgrImage &im) {
  uint32_t stride = (im.width * 3 + 3) / 4 * 4;
  Bytes f(54 + stride * im.height, 0);
  f[0] = 'B', f[1] = 'M';
  RctPutLe32(&f[2], (uint32_t)f.size());
  RctPutLe32(&f[10], 54);
  RctPutLe32(&f[14], 40);
  RctPutLe32(&f[18], (uint32_t)im.width);
  RctPutLe32(&f[22], (uint32_t)im.height);
  RctPutLe16(&f[26], 1);
  RctPutLe16(&f[28], 24);
  for (int y = 0; y < im.height; y++) {
    memcpy(&f[54 + (im.height - 1 - y) * stride], &im.bgr[y * im.width * 3], im.width * 3);
  }
  return f;
}

class RctFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/rct_files_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    dir_ = dir;
  }
  void TearDown() override { ASSERT_EQ(0, system(("rm -rf " + dir_).c_str())); }
  std::string Put(const std::string &name, const Bytes &bytes) {
    std::string error;
    EXPECT_TRUE(SaveFileBytes(dir_ + "/" + name, bytes, &error)) << error;
    return dir_ + "/" + name;
  }
  int Fernpack(const std::string &args) {
    std::string cmd = std::string(FERNPACK_PATH) + " " + args + " >/dev/null 2>&1";
    return WEXITSTATUS(system(cmd.c_str()));
  }
  bool Exists(const std::string &name) { return access((dir_ + "/" + name).c_str(), F_OK) == 0; }
  std::string dir_;
};

TEST_F(RctFiles, CommandRoundTripsPngAndBmp) {
  Sample s = Make("photo", 13, 5, [](int x, int y, std::mt19937 &r) {
    return (uint32_t)(x * 20 + y + r() % 2) * 0x010101u;
  });
  Bytes png;
  std::string error;
  ASSERT_TRUE(WritePng(s.image, &png, &error)) << error;
  for (const std::string &in : {Put("in.png", png), Put("in.bmp", Bmp(s.image))}) {
    ASSERT_EQ(0, Fernpack("rct encode " + in + " " + dir_ + "/out.rct")) << in;
    ASSERT_EQ(0, Fernpack("rct decode " + dir_ + "/out.rct " + dir_ + "/out.png")) << in;
    BgrImage back;
    ASSERT_TRUE(ReadPictureFile(dir_ + "/out.png", &back, &error)) << error;
    EXPECT_EQ(s.image.bgr, back.bgr) << in;
    EXPECT_EQ(s.image.width, back.width) << in;
  }
}

TEST_F(RctFiles, CommandRefusesBadInputWithoutOutput) {
  Bytes eight = MakeRctFile(1, 1, {1, 2, 3});
  memcpy(&eight[4], "8_00", 4);
  Bytes bmp8 = Bmp(Make("flat", 2, 2, [](int, int, std::mt19937 &) { return 0u; }).image);
  RctPutLe16(&bmp8[28], 8);
  struct Row {
    std::string args, output;
  } rows[] = {
      {"rct decode " + Put("a.rct", eight) + " " + dir_ + "/a.png", "a.png"},
      {"rct decode " + Put("b.rct", {0x98, 0x5A}) + " " + dir_ + "/b.png", "b.png"},
      {"rct encode " + Put("c.png", {0x89, 'P', 'N', 'G'}) + " " + dir_ + "/c.rct", "c.rct"},
      {"rct encode " + Put("d.bmp", bmp8) + " " + dir_ + "/d.rct", "d.rct"},
      {"rct encode " + dir_ + "/missing.png " + dir_ + "/e.rct", "e.rct"},
      {"rct encode " + dir_ + "/missing.png", "missing.png"},
  };
  for (const Row &r : rows) {
    EXPECT_NE(0, Fernpack(r.args)) << r.args;
    EXPECT_FALSE(Exists(r.output)) << r.args;
  }
}

PackItem Item(const std::string &name, const std::string &source = "", bool folder = false) {
  PackItem item;
  item.name = name;
  item.relative = name;
  item.source = source;
  item.is_folder = folder;
  item.file_time = 1234;
  return item;
}

TEST_F(RctFiles, PackEncodesTheMenuPicture) {
  Sample s = Make("tiles", 20, 10,
                  [](int x, int y, std::mt19937 &) { return (uint32_t)(x / 4 + y) * 0x0F0F0Fu; });
  Bytes png;
  std::string error;
  ASSERT_TRUE(WritePng(s.image, &png, &error));
  std::string path = Put("INSTTSCR.png", png);

  std::vector<PackItem> items = {Item("install.env"), Item("InstTscr.PNG", path),
                                 Item("readme.txt"), Item("data\\"), Item("data\\insttscr.rct")};
  ASSERT_TRUE(ConvertMenuPicture(&items, &error)) << error;
  const PackItem &pic = items[1];
  EXPECT_EQ("insttscr.rct", pic.name);
  EXPECT_TRUE(pic.generated);
  EXPECT_TRUE(pic.source.empty());
  EXPECT_EQ(1234u, pic.file_time);
  EXPECT_EQ(pic.data.size(), pic.size);
  BgrImage back;
  ASSERT_TRUE(DecodeRctFile(pic.data.data(), pic.data.size(), &back, &error)) << error;
  EXPECT_EQ(s.image.bgr, back.bgr);
  EXPECT_EQ("readme.txt", items[2].name);

  struct Row {
    const char *label;
    std::vector<PackItem> items;
    bool ok;
  } rows[] = {
      {"no picture to convert",
       {Item("install.env"), Item("insttscr.rct", Put("good.rct", MakeRctFile(1, 1, {1, 2, 3})))},
       true},
      {"supplied picture does not decode", {Item("insttscr.rct", Put("bad.rct", {1, 2, 3}))},
       false},
      {"picture folder is not a picture", {Item("insttscr.png\\", "", true)}, true},
      {"both kinds present", {Item("insttscr.png", path), Item("INSTTSCR.RCT")}, false},
      {"two spellings of the png", {Item("insttscr.png", path), Item("Insttscr.png", path)}, false},
      {"damaged png", {Item("insttscr.png", Put("bad.png", {1, 2, 3}))}, false},
  };
  for (Row &r : rows) {
    std::vector<PackItem> before = r.items;
    error.clear();
    EXPECT_EQ(r.ok, ConvertMenuPicture(&r.items, &error)) << r.label;
    EXPECT_EQ(r.ok, error.empty()) << r.label << ": " << error;
    if (r.ok) {
      EXPECT_EQ(before.size(), r.items.size()) << r.label;
    }
  }
}

}  // namespace
