// The publisher's side of the RCT picture format (layout in picture/rct_format.h):
// encoding pictures into "TC00" files, and decoding files back with the installer's own
// decoder.
#ifndef FERN_TOOLS_FERNPACK_RCT_ENCODE_H
#define FERN_TOOLS_FERNPACK_RCT_ENCODE_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// A picture in memory: the linear image, 3 bytes per pixel (blue, green, red), rows top
// to bottom without padding.
struct BgrImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<unsigned char> bgr;  // width * height * 3 bytes
};

// False with a message when the installer could not hold a picture of this size (either
// side not positive, or width * height * 3 over INT32_MAX bytes).
bool CheckRctPictureSize(int64_t width, int64_t height, std::string *error);

// The shortest packed stream the format allows for the picture: an exact optimal parse over
// every literal and copy form (see rct_encode.cpp). The picture must pass
// CheckRctPictureSize. Memory: about 18 bytes per pixel while it runs.
std::vector<unsigned char> EncodeRctStream(const BgrImage &image);

// A simple greedy stream (longest copy at each pixel, else a literal), for comparison.
std::vector<unsigned char> EncodeRctStreamGreedy(const BgrImage &image);

// A "TC00" file: the 20-byte header followed by the stream.
std::vector<unsigned char> MakeRctFile(int32_t width, int32_t height,
                                       const std::vector<unsigned char> &stream);

// Encodes a picture as a whole "TC00" file with the optimal stream.
bool EncodeRctFile(const BgrImage &image, std::vector<unsigned char> *file, std::string *error);

// Decodes a whole file held in memory (either kind) with the installer's decoder.
bool DecodeRctFile(const unsigned char *file, size_t size, BgrImage *image, std::string *error);

#endif
