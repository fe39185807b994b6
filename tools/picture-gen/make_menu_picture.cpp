// Draws the sample game's menu picture (sample/game/insttscr.png): a forest at dusk in
// flat shapes over a green gradient, with the title in a Japanese font when one is
// given. Our own artwork, made from nothing but this program.
//
//   make_menu_picture <out.png> [font.ttf]
//
// Built and run by make_menu_picture.sh; the output is committed, so the build does not
// need this program.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <math.h>
#include <png.h>
#include <stdio.h>
#include <string.h>

#include <vector>

namespace {

// Portrait: the menu centres a picture inside a square band as wide as its client area is
// high, and one wider than about 170 pixels would run under the button column.
const int kWidth = 160;
const int kHeight = 256;
const char kTitle[] = "ふぇるん冒険記";
const int kTitlePixels = 20;

struct Rgb {
  double r, g, b;
};

std::vector<Rgb> g_canvas(kWidth *kHeight);

Rgb Mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

void Blend(int x, int y, Rgb colour, double alpha) {
  if (x < 0 || y < 0 || x >= kWidth || y >= kHeight || alpha <= 0) return;
  Rgb &p = g_canvas[y * kWidth + x];
  p = Mix(p, colour, alpha > 1 ? 1 : alpha);
}

// Coverage of a pixel by a shape, from 4 x 4 samples, for soft edges.
template <typename Inside>
void Fill(Rgb colour, Inside inside) {
  for (int y = 0; y < kHeight; y++) {
    for (int x = 0; x < kWidth; x++) {
      int hits = 0;
      for (int sy = 0; sy < 4; sy++) {
        for (int sx = 0; sx < 4; sx++) hits += inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
      }
      Blend(x, y, colour, hits / 16.0);
    }
  }
}

// A fir tree: three stacked triangles on a trunk, apex at (cx, top), `height` tall.
void Tree(double cx, double top, double height, Rgb colour) {
  Fill(colour, [=](double x, double y) {
    for (int tier = 0; tier < 3; tier++) {
      double t0 = top + tier * height * 0.22;
      double t1 = t0 + height * 0.42;
      if (y >= t0 && y <= t1) {
        double half = (y - t0) / (t1 - t0) * height * (0.22 + 0.06 * tier);
        if (fabs(x - cx) <= half) return true;
      }
    }
    double trunk_top = top + height * 0.86;
    return y >= trunk_top && y <= top + height && fabs(x - cx) <= height * 0.04;
  });
}

// Decodes one UTF-8 character; advances *s.
unsigned long NextCodePoint(const char **s) {
  const unsigned char *p = (const unsigned char *)*s;
  unsigned long c = *p++;
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  if (extra) c &= 0x3F >> extra;
  while (extra-- > 0 && (*p & 0xC0) == 0x80) c = (c << 6) | (*p++ & 0x3F);
  *s = (const char *)p;
  return c;
}

void DrawTitle(const char *font_path) {
  FT_Library library;
  FT_Face face;
  if (FT_Init_FreeType(&library) != 0) return;
  if (FT_New_Face(library, font_path, 0, &face) != 0) {
    fprintf(stderr, "make_menu_picture: no font at %s, title left out\n", font_path);
    FT_Done_FreeType(library);
    return;
  }
  FT_Set_Pixel_Sizes(face, 0, kTitlePixels);
  // Measure, then draw centred: a dark shadow first, then the letters.
  int width = 0;
  for (const char *s = kTitle; *s;) {
    if (FT_Load_Char(face, NextCodePoint(&s), FT_LOAD_DEFAULT) == 0) {
      width += face->glyph->advance.x >> 6;
    }
  }
  const int baseline = 44;
  const Rgb shadow = {0.05, 0.15, 0.08}, ink = {1.0, 0.97, 0.85};
  for (int pass = 0; pass < 2; pass++) {
    int pen = (kWidth - width) / 2 + (pass == 0 ? 2 : 0);
    int base = baseline + (pass == 0 ? 2 : 0);
    for (const char *s = kTitle; *s;) {
      if (FT_Load_Char(face, NextCodePoint(&s), FT_LOAD_RENDER) != 0) continue;
      FT_GlyphSlot g = face->glyph;
      for (unsigned row = 0; row < g->bitmap.rows; row++) {
        for (unsigned col = 0; col < g->bitmap.width; col++) {
          double a = g->bitmap.buffer[row * g->bitmap.pitch + col] / 255.0;
          Blend(pen + g->bitmap_left + (int)col, base - g->bitmap_top + (int)row,
                pass == 0 ? shadow : ink, pass == 0 ? a * 0.7 : a);
        }
      }
      pen += g->advance.x >> 6;
    }
  }
  FT_Done_Face(face);
  FT_Done_FreeType(library);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    fputs("usage: make_menu_picture <out.png> [font.ttf]\n", stderr);
    return 2;
  }
  // Sky: pale green-gold at the top to deep forest green at the foot.
  const Rgb sky_top = {0.80, 0.88, 0.62}, sky_low = {0.22, 0.45, 0.28};
  for (int y = 0; y < kHeight; y++) {
    for (int x = 0; x < kWidth; x++) {
      g_canvas[y * kWidth + x] = Mix(sky_top, sky_low, y / (kHeight - 1.0));
    }
  }
  // A low sun and two hills.
  Fill({1.0, 0.93, 0.70},
       [](double x, double y) { return (x - 118) * (x - 118) + (y - 92) * (y - 92) <= 18 * 18; });
  Fill({0.16, 0.36, 0.22}, [](double x, double y) { return y >= 150 + 18 * cos((x - 30) / 32.0); });
  Fill({0.10, 0.27, 0.16}, [](double x, double y) { return y >= 185 + 12 * sin(x / 24.0); });
  // Trees: a far row, pale and small, then a near row, dark and tall.
  for (int i = 0; i < 5; i++) Tree(12 + i * 34, 118 + (i % 3) * 6, 46, {0.20, 0.42, 0.26});
  const double near_x[] = {14, 52, 124, 154};
  for (int i = 0; i < 4; i++) Tree(near_x[i], 140 + (i % 2) * 14, 96, {0.05, 0.20, 0.10});
  // A path of flat stones.
  for (int i = 0; i < 6; i++) {
    double cx = 96 - i * 9, cy = 252 - i * 11, rx = 11 - i, ry = 4.5 - i * 0.5;
    Fill({0.62, 0.58, 0.46}, [=](double x, double y) {
      return (x - cx) * (x - cx) / (rx * rx) + (y - cy) * (y - cy) / (ry * ry) <= 1;
    });
  }
  if (argc > 2) DrawTitle(argv[2]);

  std::vector<unsigned char> rgb(kWidth * kHeight * 3);
  for (int i = 0; i < kWidth * kHeight; i++) {
    rgb[i * 3] = (unsigned char)lround(g_canvas[i].r * 255);
    rgb[i * 3 + 1] = (unsigned char)lround(g_canvas[i].g * 255);
    rgb[i * 3 + 2] = (unsigned char)lround(g_canvas[i].b * 255);
  }
  png_image png;
  memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = kWidth;
  png.height = kHeight;
  png.format = PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&png, argv[1], 0, rgb.data(), 0, nullptr)) {
    fprintf(stderr, "make_menu_picture: %s\n", png.message);
    return 1;
  }
  return 0;
}
