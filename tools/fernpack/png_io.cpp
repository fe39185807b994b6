#include "tools/fernpack/png_io.h"

#include <errno.h>
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "picture/rct_format.h"

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

std::string SystemError(const std::string &what, const std::string &path) {
  return what + " " + path + ": " + strerror(errno);
}

}  // namespace

bool ReadPng(const std::vector<unsigned char> &bytes, BgrImage *image, std::string *error) {
  png_image png;
  memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) {
    *error = std::string("not a readable PNG: ") + png.message;
    return false;
  }
  if (!CheckRctPictureSize(png.width, png.height, error)) {
    png_image_free(&png);
    return false;
  }
  png.format = PNG_FORMAT_BGR;
  image->width = (int32_t)png.width;
  image->height = (int32_t)png.height;
  image->bgr.assign(PNG_IMAGE_SIZE(png), 0);
  const png_color white = {255, 255, 255};
  if (!png_image_finish_read(&png, &white, image->bgr.data(), 0, nullptr)) {
    *error = std::string("damaged PNG: ") + png.message;
    image->bgr.clear();
    return false;
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
  FILE *f = fopen(path.c_str(), "rb");
  struct stat st;
  if (f == nullptr || fstat(fileno(f), &st) != 0) {
    *error = SystemError("cannot read", path);
    if (f != nullptr) fclose(f);
    return false;
  }
  if (!S_ISREG(st.st_mode) || (uint64_t)st.st_size > max_size) {
    fclose(f);
    *error = path + ": not a regular file, or larger than " + std::to_string(max_size) + " bytes";
    return false;
  }
  bytes->resize((size_t)st.st_size);
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
  std::string temp = path + ".XXXXXX";
  int fd = mkstemp(&temp[0]);
  if (fd < 0) {
    *error = SystemError("cannot create", temp);
    return false;
  }
  fchmod(fd, 0644);
  FILE *f = fdopen(fd, "wb");
  bool ok =
      f != nullptr && (bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
  if (f != nullptr) {
    ok = (fclose(f) == 0) && ok;
  } else {
    close(fd);
  }
  if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
    *error = SystemError("cannot write", path);
    unlink(temp.c_str());
    return false;
  }
  return true;
}
