#include "tools/fernpack/png_io.h"

#include <errno.h>
#include <png.h>
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "picture/rct_format.h"
#include "tools/fernpack/output_file.h"

namespace {

const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// BMP layout: a 14-byte file header, then a BITMAPINFOHEADER (40 bytes) or one of its
// longer successors, which begin the same way.
enum {
  kBmpFileHeaderSize = 14,
  kBmpDataOffset = 10,   // u32: where the pixel rows begin
  kBmpInfoSize = 14,     // u32: size of the info header, at least 40
  kBmpWidth = 18,        // s32
  kBmpHeight = 22,       // s32: positive bottom-up, negative top-down
  kBmpPlanes = 26,       // u16: 1
  kBmpBitCount = 28,     // u16: only 24 is read
  kBmpCompression = 30,  // u32: only 0 (BI_RGB) is read
  kBmpMinInfoSize = 40,
};

}  // namespace

namespace {

// Deflate makes at most about 1032 bytes of output per input byte; a PNG's pixel rows are
// one deflate stream, so a file can never hold more raw rows than this many times its size.
const uint64_t kDeflateMaxRatio = 1032;

// The IHDR chunk right after the signature: length, "IHDR", then the fields below.
enum {
  kIhdrWidth = 16,     // u32 big-endian
  kIhdrHeight = 20,    // u32 big-endian
  kIhdrDepth = 24,     // bits per sample
  kIhdrColour = 25,    // colour type
  kIhdrEnd = 33,
};

uint32_t Be32(const unsigned char *p) {
  return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

// Checks the size that the header claims against what the file can hold, before libpng
// allocates anything for it.
bool CheckPngHeader(const std::vector<unsigned char> &bytes, std::string *error) {
  if (bytes.size() < kIhdrEnd || memcmp(bytes.data() + 12, "IHDR", 4) != 0) {
    *error = "not a readable PNG: no header chunk";
    return false;
  }
  const unsigned char *b = bytes.data();
  uint64_t width = Be32(b + kIhdrWidth), height = Be32(b + kIhdrHeight);
  if (!CheckRctPictureSize((int64_t)width, (int64_t)height, error)) return false;
  unsigned colour = b[kIhdrColour];
  uint64_t channels = colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;
  uint64_t row = 1 + (width * channels * b[kIhdrDepth] + 7) / 8;
  if (row * height > (uint64_t)bytes.size() * kDeflateMaxRatio) {
    *error = "damaged PNG: its header claims " + std::to_string(width) + "x" +
             std::to_string(height) + " pixels, more than a file of " +
             std::to_string(bytes.size()) + " bytes can hold";
    return false;
  }
  return true;
}

struct PngSource {
  const unsigned char *data;
  size_t size;
  size_t offset;
  char message[256];
  jmp_buf jump;
};

void PngReadBytes(png_structp png, png_bytep out, size_t n) {
  PngSource *source = (PngSource *)png_get_io_ptr(png);
  if (n > source->size - source->offset) png_error(png, "the file ends early");
  memcpy(out, source->data + source->offset, n);
  source->offset += n;
}

void PngFail(png_structp png, png_const_charp message) {
  PngSource *source = (PngSource *)png_get_error_ptr(png);
  snprintf(source->message, sizeof source->message, "%s", message);
  longjmp(source->jump, 1);
}

void PngIgnoreWarning(png_structp, png_const_charp) {}

}  // namespace

bool ReadPng(const std::vector<unsigned char> &bytes, BgrImage *image, std::string *error) {
  if (!CheckPngHeader(bytes, error)) return false;
  // Everything that must survive a longjmp from libpng is set up before setjmp.
  PngSource source;
  memset(&source, 0, sizeof source);
  source.data = bytes.data();
  source.size = bytes.size();
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, PngFail,
                                           PngIgnoreWarning);
  png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
  std::vector<unsigned char> pixels;
  std::vector<png_bytep> rows;
  if (png == nullptr || info == nullptr) {
    png_destroy_read_struct(&png, &info, nullptr);
    *error = "cannot set up the PNG reader";
    return false;
  }
  if (setjmp(source.jump) != 0) {
    png_destroy_read_struct(&png, &info, nullptr);
    *error = std::string("damaged PNG: ") + source.message;
    return false;
  }
  png_set_read_fn(png, &source, PngReadBytes);
  png_read_info(png, info);
  // Samples are taken as stored: 16-bit ones are scaled to 8 bits, and no gamma or colour
  // profile is applied, so the picture looks as the drawing program showed it.
  png_set_scale_16(png);
  png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, tRNS to an alpha channel
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  uint32_t width = png_get_image_width(png, info);
  uint32_t height = png_get_image_height(png, info);
  size_t channels = png_get_channels(png, info);
  size_t row_bytes = png_get_rowbytes(png, info);
  if (channels < 3 || row_bytes != (size_t)width * channels) {
    png_destroy_read_struct(&png, &info, nullptr);
    *error = "unsupported PNG layout";
    return false;
  }
  pixels.resize(row_bytes * height);
  rows.resize(height);
  for (uint32_t y = 0; y < height; y++) rows[y] = pixels.data() + (size_t)y * row_bytes;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);

  // The installer draws the picture as it is, without transparency; laying transparent
  // parts over some colour would guess at what the publisher wants to see.
  uint64_t transparent = 0;
  if (channels == 4) {
    for (size_t i = 3; i < pixels.size(); i += 4) transparent += pixels[i] != 0xFF;
  }
  if (transparent > 0) {
    *error = "the PNG has " + std::to_string(transparent) + " transparent or translucent "
             "pixels, and the installer's picture has no transparency: lay the picture "
             "over the background colour you want and save it without alpha";
    return false;
  }
  image->width = (int32_t)width;
  image->height = (int32_t)height;
  image->bgr.resize((size_t)width * height * kRctPixelSize);
  for (size_t i = 0, o = 0; o < image->bgr.size(); i += channels, o += kRctPixelSize) {
    memcpy(&image->bgr[o], &pixels[i], kRctPixelSize);
  }
  return true;
}

bool ReadBmp(const std::vector<unsigned char> &bytes, BgrImage *image, std::string *error) {
  const unsigned char *b = bytes.data();
  if (bytes.size() < (size_t)kBmpFileHeaderSize + kBmpMinInfoSize || b[0] != 'B' || b[1] != 'M') {
    *error = "not a BMP file";
    return false;
  }
  uint32_t data_offset = RctLe32(b + kBmpDataOffset);
  uint32_t info_size = RctLe32(b + kBmpInfoSize);
  int32_t width = (int32_t)RctLe32(b + kBmpWidth);
  int32_t height = (int32_t)RctLe32(b + kBmpHeight);
  if (info_size < kBmpMinInfoSize || RctLe16(b + kBmpPlanes) != 1 ||
      RctLe16(b + kBmpBitCount) != 24 || RctLe32(b + kBmpCompression) != 0) {
    *error = "only uncompressed 24-bit BMP files can be read";
    return false;
  }
  bool top_down = height < 0;
  int64_t rows = top_down ? -(int64_t)height : height;
  if (!CheckRctPictureSize(width, rows, error)) return false;
  uint64_t row_bytes = (uint64_t)width * kRctPixelSize;
  uint64_t stride = (row_bytes + 3) / 4 * 4;
  if (data_offset < (uint64_t)kBmpFileHeaderSize + info_size ||
      data_offset + stride * (uint64_t)(rows - 1) + row_bytes > bytes.size()) {
    *error = "BMP file is shorter than its header says";
    return false;
  }
  image->width = width;
  image->height = (int32_t)rows;
  image->bgr.resize(row_bytes * (uint64_t)rows);
  for (int64_t row = 0; row < rows; row++) {
    int64_t stored = top_down ? row : rows - 1 - row;
    memcpy(image->bgr.data() + row * row_bytes, b + data_offset + stored * stride, row_bytes);
  }
  return true;
}

bool ReadPictureFile(const std::string &path, BgrImage *image, std::string *error) {
  // The installer holds pictures of at most 2 GiB of pixels; a PNG of that is smaller.
  std::vector<unsigned char> bytes;
  if (!LoadFileBytes(path, (size_t)1 << 31, &bytes, error)) return false;
  bool ok;
  if (bytes.size() >= sizeof kPngSignature &&
      memcmp(bytes.data(), kPngSignature, sizeof kPngSignature) == 0) {
    ok = ReadPng(bytes, image, error);
  } else if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
    ok = ReadBmp(bytes, image, error);
  } else {
    *error = "neither a PNG nor a BMP file";
    ok = false;
  }
  if (!ok) *error = path + ": " + *error;
  return ok;
}

bool WritePng(const BgrImage &image, std::vector<unsigned char> *bytes, std::string *error) {
  png_image png;
  memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = (png_uint_32)image.width;
  png.height = (png_uint_32)image.height;
  png.format = PNG_FORMAT_BGR;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&png, nullptr, &size, 0, image.bgr.data(), 0, nullptr)) {
    *error = std::string("cannot write PNG: ") + png.message;
    return false;
  }
  bytes->resize(size);
  if (!png_image_write_to_memory(&png, bytes->data(), &size, 0, image.bgr.data(), 0, nullptr)) {
    *error = std::string("cannot write PNG: ") + png.message;
    return false;
  }
  bytes->resize(size);
  return true;
}

bool LoadFileBytes(const std::string &path, size_t max_size, std::vector<unsigned char> *bytes,
                   std::string *error) {
  uint64_t size = 0;
  FILE *f = OpenInputFile(path, max_size, &size, error);
  if (f == nullptr) return false;
  bytes->resize((size_t)size);
  size_t got = bytes->empty() ? 0 : fread(bytes->data(), 1, bytes->size(), f);
  bool changed = got != bytes->size() || fgetc(f) != EOF;
  fclose(f);
  if (changed) {
    *error = path + ": file changed while it was read";
    return false;
  }
  return true;
}

bool SaveFileBytes(const std::string &path, const std::vector<unsigned char> &bytes,
                   std::string *error) {
  OutputFile out;
  if (!OpenOutput(path, &out, error)) return false;
  if (!bytes.empty() && fwrite(bytes.data(), 1, bytes.size(), out.file) != bytes.size()) {
    *error = SystemMessage("cannot write", path);
    AbandonOutput(&out);
    return false;
  }
  return CommitOutput(&out, 0644, error);
}
