// Picture files for fernpack's RCT commands: PNG through libpng, and uncompressed 24-bit
// BMP, read into the linear BGR layout the RCT format uses.
#ifndef FERN_TOOLS_FERNPACK_PNG_IO_H
#define FERN_TOOLS_FERNPACK_PNG_IO_H

#include <string>
#include <vector>

#include "tools/fernpack/rct_encode.h"

// Reads a PNG (any colour type and depth; samples taken as stored, 16-bit ones scaled to
// 8 bits without any gamma change; refused when a pixel is not fully opaque) or a 24-bit
// uncompressed BMP, told apart by their signatures. The size a header claims is checked
// against what the file can hold before anything is allocated. False with a message
// otherwise.
bool ReadPictureFile(const std::string &path, BgrImage *image, std::string *error);

// The same from bytes in memory.
bool ReadPng(const std::vector<unsigned char> &bytes, BgrImage *image, std::string *error);
bool ReadBmp(const std::vector<unsigned char> &bytes, BgrImage *image, std::string *error);

// Writes an 8-bit RGB PNG into *bytes.
bool WritePng(const BgrImage &image, std::vector<unsigned char> *bytes, std::string *error);

// Whole files. LoadFileBytes refuses files over max_size bytes. SaveFileBytes writes a
// temporary file beside the target and renames it (output_file.h), so no partial output
// is ever left, not even on a signal.
bool LoadFileBytes(const std::string &path, size_t max_size, std::vector<unsigned char> *bytes,
                   std::string *error);
bool SaveFileBytes(const std::string &path, const std::vector<unsigned char> &bytes,
                   std::string *error);

#endif
