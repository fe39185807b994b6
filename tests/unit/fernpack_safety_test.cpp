// The packer's branches that the command line cannot reach cheaply: the spill of large
// files (with a small in-memory limit), the removal of a partial output on a signal,
// verify's findings on packages that fernpack itself never writes, and the PNG reader.
#include <gtest/gtest.h>

#include <png.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "archive/package_format.h"
#include "archive/package_reader.h"
#include "tests/unit/fernpack_fixture.h"
#include "tools/fernpack/output_file.h"
#include "tools/fernpack/pack.h"
#include "tools/fernpack/png_io.h"

namespace {

class SafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/fern-safety-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    Write("stub.exe", MinimalStub());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void Write(const std::string &name, const std::string &bytes) {
    std::filesystem::create_directories(std::filesystem::path(dir_ + "/" + name).parent_path());
    std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
  }
  std::string Read(const std::string &name) {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  int Fernpack(const std::string &args, std::string *output) {
    return RunShell("cd " + dir_ + " && " + FERNPACK_PATH + " " + args, output);
  }
  std::string dir_;
};

// Files above the limit go through spill files, below it through memory, an
// incompressible one is stored; several workers run at once, so spills finish out of
// order. Every file comes back whole, and no spill is closed twice (AddressSanitizer).
TEST_F(SafetyTest, SpilledStoredAndInMemoryFilesComeBackWhole) {
  std::string noise(300000, '\0');
  uint32_t state = 7;
  for (char &c : noise) {
    state = state * 1103515245u + 12345u;
    c = (char)(state >> 24);
  }
  Write("game/small.txt", "small");
  Write("game/empty.dat", "");
  Write("game/noise.ogg", noise);                    // spilled (over the limit), random
  Write("game/data/zeros.bin", std::string(200000, '\0'));  // spilled
  Write("game/data/limit.bin", std::string(4096, 'l'));     // exactly at the limit: memory
  Write("game/data/over.bin", std::string(4097, 'o'));      // one past: spilled
  PackOptions options;
  options.folder = dir_ + "/game";
  options.output = dir_ + "/out.exe";
  options.stub = dir_ + "/stub.exe";
  options.jobs = 3;
  options.in_memory_limit = 4096;
  std::vector<PackItem> items;
  std::string error;
  ASSERT_TRUE(CollectGameFolder(options.folder, &items, &error)) << error;
  ASSERT_TRUE(WritePackage(options, items, &error)) << error;
  std::string output;
  ASSERT_EQ(0, Fernpack("extract out.exe x", &output)) << output;
  EXPECT_EQ(noise, Read("x/noise.ogg"));
  EXPECT_EQ(std::string(200000, '\0'), Read("x/data/zeros.bin"));
  EXPECT_EQ(std::string(4097, 'o'), Read("x/data/over.bin"));
  EXPECT_EQ(std::string(4096, 'l'), Read("x/data/limit.bin"));
  EXPECT_EQ("", Read("x/empty.dat"));
  // A failure while spills are waiting (the output cannot be renamed into a missing
  // folder) leaves nothing behind.
  options.output = dir_ + "/missing/out.exe";
  EXPECT_FALSE(WritePackage(options, items, &error));
  EXPECT_NE(std::string::npos, error.find("missing/out.exe")) << error;
}

// A signal while the output is open removes the temporary file and still ends the
// process by that signal.
TEST_F(SafetyTest, SignalRemovesThePartialOutput) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    std::string target = dir_ + "/out.exe";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      OutputFile out;
      std::string error;
      if (!OpenOutput(target, &out, &error)) _exit(3);
      fputs("partial", out.file);
      fflush(out.file);
      raise(sig);
      _exit(4);  // not reached
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << sig;
    EXPECT_EQ(sig, WTERMSIG(status));
    int left = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir_)) {
      left += entry.path().filename().string().rfind("out.exe", 0) == 0;
    }
    EXPECT_EQ(0, left) << sig;
  }
}

// A package written byte by byte: entries of (name, content or folder).
struct Entry {
  std::string name;  // Shift-JIS bytes
  bool folder;
  std::string data;
};

std::string Package(const std::vector<Entry> &entries) {
  std::string out = MinimalStub();
  uint32_t start = (uint32_t)out.size();
  for (const Entry &e : entries) {
    unsigned char field[8];
    WriteLe16(field, (uint16_t)(e.name.size() + 1));
    out.append((char *)field, 2);
    out += e.name;
    out.push_back('\0');
    uLongf packed_size = compressBound(e.data.size());
    std::string packed(packed_size, '\0');
    compress((Bytef *)&packed[0], &packed_size, (const Bytef *)e.data.data(), e.data.size());
    packed.resize(packed_size);
    WriteLe32(field, e.folder ? kFolderMarker : (uint32_t)e.data.size());
    WriteLe32(field + 4, e.folder ? 0 : (uint32_t)packed.size());
    out.append((char *)field, 8);
    if (e.folder) continue;
    WriteLe64(field, 0x01C80052614FD800ull);
    out.append((char *)field, 8);
    out += packed;
  }
  out.append(4, '\0');
  unsigned char trailer[4];
  WriteLe32(trailer, start);
  out.append((char *)trailer, 4);
  return out;
}

const char kSettings[] = "TITLEBAR\tG\r\nINSTTO\tG\r\nEXENAME\tg.exe\r\n";

TEST_F(SafetyTest, VerifyFindsWhatTheInstallerWouldRefuse) {
  const Entry settings = {"install.env", false, kSettings};
  const Entry picture = {"insttscr.rct", false, OnePixelPicture()};
  struct Row {
    const char *label;
    std::vector<Entry> entries;
    const char *contains;  // "" for a sound package
  } rows[] = {
      {"sound", {settings, picture, {"data\\", true, ""}, {"data\\a.txt", false, "a"}}, ""},
      {"no folder entry", {settings, picture, {"data\\a.txt", false, "a"}}, "entry of its folder"},
      {"folder after its file",
       {settings, picture, {"data\\a.txt", false, "a"}, {"data\\", true, ""}}, "entry of its folder"},
      {"same name twice", {settings, picture, {"README.TXT", false, "1"}, {"readme.txt", false, "2"}},
       "same name on Windows"},
      {"trailing dot", {settings, picture, {"notes.", false, "n"}}, "ends with a dot"},
      {"no settings", {picture}, "no install.env"},
      {"settings after a nested folder",
       {picture, {"a\\", true, ""}, {"a\\b\\", true, ""}, settings}, "no install.env"},
      {"settings that stop the installer", {{"install.env", false, "[reg]\r\n"}, picture},
       "never closed"},
      {"no picture", {settings}, "no insttscr.rct"},
      {"picture that does not decode", {settings, {"insttscr.rct", false, "junk"}},
       "does not decode"},
      {"folder entry without a backslash", {settings, picture, {"data", true, ""}},
       "does not end with a backslash"},
  };
  for (const Row &row : rows) {
    Write("p.exe", Package(row.entries));
    std::string output;
    int status = Fernpack("verify p.exe", &output);
    if (row.contains[0] == '\0') {
      EXPECT_EQ(0, status) << row.label << ": " << output;
      EXPECT_NE(std::string::npos, output.find("sound package")) << row.label;
    } else {
      EXPECT_EQ(1, status) << row.label << ": " << output;
      EXPECT_NE(std::string::npos, output.find(row.contains)) << row.label << ": " << output;
      EXPECT_NE(std::string::npos, output.find("would refuse or misread")) << row.label;
    }
  }
}

std::vector<unsigned char> PngBytes(png_uint_32 width, png_uint_32 height, png_uint_32 format,
                                    const void *pixels) {
  png_image image;
  memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = format;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, pixels, 0, nullptr);
  std::vector<unsigned char> bytes(size);
  png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels, 0, nullptr);
  bytes.resize(size);
  return bytes;
}

// Samples are taken as stored: a 16-bit 0x8080 is 0x80, not brightened by a gamma
// change; an opaque alpha channel is dropped, a transparent pixel refuses the picture.
TEST(PngRead, SamplesAsStoredAndTransparencyRefused) {
  BgrImage image;
  std::string error;
  const uint16_t grey[2] = {0x8080, 0xFFFF};
  ASSERT_TRUE(ReadPng(PngBytes(2, 1, PNG_FORMAT_LINEAR_Y, grey), &image, &error)) << error;
  EXPECT_EQ((std::vector<unsigned char>{0x80, 0x80, 0x80, 0xFF, 0xFF, 0xFF}), image.bgr);

  const unsigned char opaque[8] = {1, 2, 3, 255, 4, 5, 6, 255};
  ASSERT_TRUE(ReadPng(PngBytes(2, 1, PNG_FORMAT_BGRA, opaque), &image, &error)) << error;
  EXPECT_EQ((std::vector<unsigned char>{1, 2, 3, 4, 5, 6}), image.bgr);

  const unsigned char translucent[8] = {1, 2, 3, 255, 4, 5, 6, 254};
  EXPECT_FALSE(ReadPng(PngBytes(2, 1, PNG_FORMAT_BGRA, translucent), &image, &error));
  EXPECT_NE(std::string::npos, error.find("1 transparent")) << error;

  std::vector<unsigned char> cut = PngBytes(2, 1, PNG_FORMAT_BGRA, opaque);
  cut.resize(cut.size() - 20);
  EXPECT_FALSE(ReadPng(cut, &image, &error));
  EXPECT_NE(std::string::npos, error.find("damaged PNG")) << error;
}

// The progress line appears on a terminal and nowhere else.
TEST_F(SafetyTest, ProgressOnlyOnATerminal) {
  Write("game/install.env", kSettings);
  Write("game/insttscr.rct", OnePixelPicture());
  std::string pack = std::string(FERNPACK_PATH) + " pack game -o out.exe --stub stub.exe";
  std::string output;
  ASSERT_EQ(0, Fernpack("pack game -o out.exe --stub stub.exe", &output)) << output;
  EXPECT_EQ(std::string::npos, output.find("packing:")) << output;
  if (system("command -v script >/dev/null") != 0) GTEST_SKIP() << "no script(1) for a terminal";
  ASSERT_EQ(0, RunShell("cd " + dir_ + " && script -qec '" + pack + " -o tty.exe' /dev/null",
                        &output)) << output;
  EXPECT_NE(std::string::npos, output.find("packing: 4/4 files")) << output;
  ASSERT_EQ(0, RunShell("cd " + dir_ + " && script -qec '" + FERNPACK_PATH +
                            " extract out.exe x' /dev/null", &output)) << output;
  EXPECT_NE(std::string::npos, output.find("extracting: 4 files")) << output;
}

}  // namespace
