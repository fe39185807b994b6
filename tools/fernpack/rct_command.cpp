// fernpack rct encode <in.png|in.bmp> <out.rct>
// fernpack rct decode <in.rct> <out.png>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "tools/fernpack/commands.h"
#include "tools/fernpack/output_file.h"
#include "tools/fernpack/png_io.h"
#include "tools/fernpack/rct_encode.h"

namespace {

// An RCT file of a picture the installer can hold is below 4 GiB: its packed size is a
// 32-bit field, and the useful part of the stream is below 4 bytes per pixel.
const size_t kMaxRctFileSize = (size_t)0xFFFFFFFFu + 22 + 65535;

int Fail(const std::string &message) {
  fprintf(stderr, "fernpack rct: %s\n", message.c_str());
  return 1;
}

// The output may not be the input (or any other thing that is not a plain file).
bool CheckOutput(const std::string &in, const std::string &out, std::string *error) {
  OutputRules rules;
  FileIdentity input;
  if (IdentifyFile(in, &input)) {
    rules.inputs.push_back(input);
    rules.input_paths.push_back(in);
  }
  return CheckOutputPath(out, rules, error);
}

int Encode(const std::string &in, const std::string &out) {
  BgrImage image;
  std::string error;
  std::vector<unsigned char> file;
  if (!CheckOutput(in, out, &error) || !ReadPictureFile(in, &image, &error) || !EncodeRctFile(image, &file, &error) ||
      !SaveFileBytes(out, file, &error)) {
    return Fail(error);
  }
  printf("%s: %dx%d, %zu bytes\n", out.c_str(), image.width, image.height, file.size());
  return 0;
}

int Decode(const std::string &in, const std::string &out) {
  std::vector<unsigned char> file, png;
  BgrImage image;
  std::string error;
  if (!CheckOutput(in, out, &error) || !LoadFileBytes(in, kMaxRctFileSize, &file, &error)) {
    return Fail(error);
  }
  if (!DecodeRctFile(file.data(), file.size(), &image, &error)) return Fail(in + ": " + error);
  if (!WritePng(image, &png, &error) || !SaveFileBytes(out, png, &error)) return Fail(error);
  printf("%s: %dx%d\n", out.c_str(), image.width, image.height);
  return 0;
}

}  // namespace

int RunRct(int argc, char **argv) {
  if (argc == 3 && strcmp(argv[0], "encode") == 0) return Encode(argv[1], argv[2]);
  if (argc == 3 && strcmp(argv[0], "decode") == 0) return Decode(argv[1], argv[2]);
  fputs(
      "usage: fernpack rct encode <in.png|in.bmp> <out.rct>\n"
      "       fernpack rct decode <in.rct> <out.png>\n",
      stderr);
  return 2;
}
