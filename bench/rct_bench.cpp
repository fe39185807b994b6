// RCT pictures: decode throughput against a plain memory copy of the same output, the
// optimal encoder's stream size against the greedy encoder and the PNG file, and the
// optimal encoder's time. A benchmark, not a test: it prints figures and checks only that
// every stream decodes back to its picture.
//
//   rct_bench [sample.png]      (default: sample/game/insttscr.png from the current folder)
#include <stdio.h>
#include <string.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "picture/rct_decode.h"
#include "tools/fernpack/png_io.h"
#include "tools/fernpack/rct_encode.h"

namespace {

typedef std::chrono::steady_clock Clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

struct Picture {
  std::string name;
  BgrImage image;
  size_t png_size;
};

// Generated pictures with a fixed seed, shaped like what publishers draw.
template <typename F>
Picture Generate(const std::string &name, int32_t w, int32_t h, F colour) {
  Picture p{name, {}, 0};
  p.image.width = w;
  p.image.height = h;
  p.image.bgr.reserve((size_t)w * h * 3);
  std::mt19937 random(20240601);
  for (int32_t y = 0; y < h; y++) {
    for (int32_t x = 0; x < w; x++) {
      uint32_t c = colour(x, y, random);
      p.image.bgr.push_back((unsigned char)c);
      p.image.bgr.push_back((unsigned char)(c >> 8));
      p.image.bgr.push_back((unsigned char)(c >> 16));
    }
  }
  std::vector<unsigned char> png;
  std::string error;
  if (WritePng(p.image, &png, &error)) p.png_size = png.size();
  return p;
}

std::vector<Picture> Pictures(const char *sample_path) {
  std::vector<Picture> list;
  // Photographic: smooth shading with noise in every channel.
  list.push_back(Generate("photo 1024x1024", 1024, 1024, [](int x, int y, std::mt19937 &r) {
    uint32_t base = (uint32_t)((x + 2 * y) / 12);
    return ((base + r() % 3) & 0xFF) | (((base / 2 + r() % 3) & 0xFF) << 8) |
           (((200 - base / 3 + r() % 2) & 0xFF) << 16);
  }));
  // Illustration: flat areas, gradients and hard edges, a few colours.
  list.push_back(Generate("drawing 1024x1024", 1024, 1024, [](int x, int y, std::mt19937 &) {
    int dx = x - 512, dy = y - 400;
    if (dx * dx + dy * dy < 150 * 150) return 0xF0E0A0u;
    if (y > 700 + (x % 200 < 100 ? x % 100 : 100 - x % 100)) return 0x205030u;
    if ((x / 64 + y / 64) % 7 == 0) return 0x806040u;
    return (uint32_t)(0x60 + y / 8) << 8 | 0x3040u;
  }));
  list.push_back(Generate("gradient 512x512", 512, 512, [](int x, int y, std::mt19937 &) {
    return (uint32_t)(x / 2) | (uint32_t)(y / 2) << 8 | (uint32_t)((x + y) / 4) << 16;
  }));
  list.push_back(
      Generate("noise 256x256", 256, 256, [](int, int, std::mt19937 &r) { return (uint32_t)r(); }));
  Picture sample{std::string("sample ") + sample_path, {}, 0};
  std::vector<unsigned char> bytes;
  std::string error;
  if (LoadFileBytes(sample_path, (size_t)1 << 30, &bytes, &error) &&
      ReadPictureFile(sample_path, &sample.image, &error)) {
    sample.png_size = bytes.size();
    list.push_back(sample);
  } else {
    fprintf(stderr, "rct_bench: %s (sample left out)\n", error.c_str());
  }
  return list;
}

// Bytes per second of `work`, repeated until at least 0.3 s have passed.
template <typename F>
double Throughput(size_t bytes, F work) {
  int rounds = 0;
  Clock::time_point start = Clock::now();
  double elapsed;
  do {
    work();
    rounds++;
  } while ((elapsed = Seconds(start)) < 0.3);
  return (double)bytes * rounds / elapsed;
}

}  // namespace

int main(int argc, char **argv) {
  const char *sample_path = argc > 1 ? argv[1] : "sample/game/insttscr.png";
  std::vector<Picture> pictures = Pictures(sample_path);

  printf("%-34s %10s %10s %10s %10s %8s %10s %10s %7s\n", "picture", "optimal", "greedy",
         "opt/greedy", "png", "opt/png", "decode", "memcpy", "ratio");
  printf("%-34s %10s %10s %10s %10s %8s %10s %10s %7s\n", "", "bytes", "bytes", "", "bytes", "",
         "MB/s", "MB/s", "");
  int failures = 0;
  for (const Picture &p : pictures) {
    const BgrImage &im = p.image;
    std::vector<unsigned char> best = EncodeRctStream(im);
    std::vector<unsigned char> greedy = EncodeRctStreamGreedy(im);

    const size_t total = im.bgr.size();
    std::vector<unsigned char> out(total), copy_out(total);
    int result = RctDecode(best.data(), best.size(), im.width, im.height, out.data(), total,
                           (size_t)im.width * 3);
    if (result != kRctOk || out != im.bgr) {
      fprintf(stderr, "rct_bench: %s does not decode back (%s)\n", p.name.c_str(),
              DescribeRctResult(result));
      failures++;
    }
    double decode = Throughput(total, [&] {
      RctDecode(best.data(), best.size(), im.width, im.height, out.data(), total,
                (size_t)im.width * 3);
    });
    double copy = Throughput(total, [&] {
      memcpy(copy_out.data(), im.bgr.data(), total);
      // Keeps the copy from being optimised away.
      __asm__ __volatile__("" : : "r"(copy_out.data()) : "memory");
    });
    printf("%-34s %10zu %10zu %10.4f %10zu %8.3f %10.0f %10.0f %7.2f\n", p.name.c_str(),
           best.size(), greedy.size(), (double)best.size() / greedy.size(), p.png_size,
           p.png_size ? (double)best.size() / p.png_size : 0.0, decode / 1e6, copy / 1e6,
           copy / decode);
  }

  // The optimal encoder's time on 1024 x 1024 pictures: the best of five runs.
  for (const Picture &p : pictures) {
    if (p.image.width != 1024 || p.image.height != 1024) continue;
    double fastest = 1e9;
    for (int run = 0; run < 5; run++) {
      Clock::time_point start = Clock::now();
      std::vector<unsigned char> stream = EncodeRctStream(p.image);
      double t = Seconds(start);
      if (t < fastest) fastest = t;
    }
    printf("optimal encode of %s: %.1f ms\n", p.name.c_str(), fastest * 1e3);
  }
  return failures == 0 ? 0 : 1;
}
