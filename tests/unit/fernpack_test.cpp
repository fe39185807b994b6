// fernpack pack, list, extract and verify, run as the publisher runs them.
// Host file names are UTF-8: literals holding them are u8 (the rest of the build emits
// Shift-JIS).
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string.h>

#include <string>

#include "archive/package_format.h"
#include "tests/unit/fernpack_fixture.h"

namespace {

class PackToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/fern-pack-XXXXXX";
    dir_ = mkdtemp(pattern);
    game_ = dir_ + "/game";
    stub_ = dir_ + "/stub.exe";
    Write(stub_, MinimalStub());
    mkdir(game_.c_str(), 0755);
    Write(game_ + "/install.env", "TITLEBAR\tx\r\n");
    Write(game_ + "/insttscr.rct", OnePixelPicture());
    Write(game_ + "/readme.txt", "readme");
  }
  void TearDown() override { system(("rm -rf " + dir_).c_str()); }

  static void Write(const std::string &path, const std::string &text) {
    WriteTestFile(path, text);
  }
  static std::string Read(const std::string &path) { return ReadTestFile(path); }
  // Runs fernpack with the arguments; returns its exit status, output in output_.
  int Run(const std::string &args) {
    std::string command = std::string(FERNPACK_PATH) + " " + args + " 2>&1";
    FILE *p = popen(command.c_str(), "r");
    output_.clear();
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) output_.append(buffer, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int Pack(const std::string &out, const std::string &extra = "") {
    return Run("pack " + game_ + " -o " + out + " --stub " + stub_ + " --quiet " + extra);
  }
  // Nothing named like the output, finished or partial, is left in the folder.
  bool NoOutputLeft() {
    DIR *d = opendir(dir_.c_str());
    bool clean = true;
    while (struct dirent *e = readdir(d)) {
      if (std::string(e->d_name).rfind("out.exe", 0) == 0) clean = false;
    }
    closedir(d);
    return clean;
  }

  std::string dir_, game_, stub_, output_;
};

TEST_F(PackToolTest, PackListExtractVerifyRoundTrip) {
  mkdir((game_ + u8"/データ").c_str(), 0755);
  mkdir((game_ + u8"/データ/sub").c_str(), 0755);
  Write(game_ + u8"/データ/表.txt", std::string(200000, 'x'));
  Write(game_ + u8"/データ/sub/z.bin", "z");
  Write(game_ + "/zz_last_top.dat", "top");
  std::string out = dir_ + "/out.exe";
  ASSERT_EQ(0, Pack(out)) << output_;

  ASSERT_EQ(0, Run("list " + out)) << output_;
  // Top-level files first (sorted), then each folder before what it holds.
  size_t last_top = output_.find("zz_last_top.dat");
  size_t folder = output_.find(u8"データ/\tfolder");
  size_t inner = output_.find(u8"データ/表.txt\tfile\t200000");
  size_t sub = output_.find(u8"データ/sub/\tfolder");
  ASSERT_NE(std::string::npos, last_top) << output_;
  ASSERT_NE(std::string::npos, folder) << output_;
  EXPECT_LT(last_top, folder);
  EXPECT_LT(folder, inner);
  EXPECT_LT(inner, sub);

  ASSERT_EQ(0, Run("verify " + out)) << output_;
  std::string x = dir_ + "/x";
  ASSERT_EQ(0, Run("extract " + out + " " + x)) << output_;
  // The game comes back whole, with the uninstaller and its file list beside it.
  EXPECT_EQ(0, system(("diff -r -x UnInst.exe -x UnInst.lst " + game_ + " " + x).c_str()));
  EXPECT_EQ(MinimalStub(), Read(x + "/UnInst.exe"));
  struct stat a, b;
  stat((game_ + u8"/データ/表.txt").c_str(), &a);
  stat((x + u8"/データ/表.txt").c_str(), &b);
  EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec);
  EXPECT_EQ(a.st_mtim.tv_nsec / 100, b.st_mtim.tv_nsec / 100);
  // The stub comes first, unchanged but for the archive start written into its header,
  // which is where the installer reads it.
  std::string stub = MinimalStub();
  std::string hint(kStartHintMark, sizeof kStartHintMark);
  for (int i = 0; i < 4; i++) hint += (char)(stub.size() >> (8 * i));
  stub.replace(kStartHintOffset, kStartHintSize, hint);
  EXPECT_EQ(0u, Read(out).rfind(stub, 0));
}

TEST_F(PackToolTest, OutputIsDeterministicWhateverTheJobs) {
  for (int i = 0; i < 30; i++) {
    Write(game_ + "/f" + std::to_string(i) + ".dat", std::string(5000 + i * 977, 'a' + i % 26));
  }
  ASSERT_EQ(0, Pack(dir_ + "/one.exe", "--jobs 1")) << output_;
  ASSERT_EQ(0, Pack(dir_ + "/four.exe", "--jobs 4")) << output_;
  EXPECT_EQ(Read(dir_ + "/one.exe"), Read(dir_ + "/four.exe"));
}

TEST_F(PackToolTest, RefusedInputsLeaveNoOutput) {
  struct Row {
    const char *label;
    void (*prepare)(const std::string &game);
  };
  const Row rows[] = {
      {"name without Shift-JIS form",
       [](const std::string &g) { Write(g + "/\xF0\x9F\x98\x80.txt", "emoji"); }},
      {"name over 255 bytes", [](const std::string &g) {
         // Each component fits; the whole path does not.
         std::string path = g;
         for (int level = 0; level < 3; level++) {
           path += "/" + std::string(90, 'a' + level);
           mkdir(path.c_str(), 0755);
         }
         Write(path + "/" + std::string(10, 'f'), "");
       }},
      {"file of 4 GiB", [](const std::string &g) {
         FILE *f = fopen((g + "/huge.bin").c_str(), "wb");
         ftruncate(fileno(f), 4294967295ll);
         fclose(f);
       }},
      {"unreadable input", [](const std::string &g) {
         symlink("/nonexistent/target", (g + "/dangling.dat").c_str());
       }},
      {"Windows device name", [](const std::string &g) { Write(g + "/aux.txt", ""); }},
  };
  for (const Row &row : rows) {
    system(("rm -rf " + game_ + " && mkdir " + game_).c_str());
    Write(game_ + "/install.env", "TITLEBAR\tx\r\n");
    Write(game_ + "/insttscr.rct", OnePixelPicture());
    row.prepare(game_);
    EXPECT_EQ(1, Pack(dir_ + "/out.exe")) << row.label << ": " << output_;
    EXPECT_NE(std::string::npos, output_.find("fernpack pack:")) << row.label;
    EXPECT_TRUE(NoOutputLeft()) << row.label;
  }
  EXPECT_EQ(1, Run("pack " + dir_ + "/missing -o " + dir_ + "/out.exe --stub " + stub_));
  EXPECT_TRUE(NoOutputLeft());
}

TEST_F(PackToolTest, IncompressibleFilesAreStoredAndComeBackWhole) {
  std::string noise(1 << 20, '\0');
  uint32_t state = 12345;
  for (char &c : noise) {
    state = state * 1103515245u + 12345u;
    c = (char)(state >> 24);
  }
  Write(game_ + "/media.ogg", noise);
  std::string out = dir_ + "/out.exe";
  ASSERT_EQ(0, Pack(out)) << output_;
  ASSERT_EQ(0, Run("list " + out));
  // Stored deflate blocks cost 5 bytes per 65535, plus the zlib header and trailer.
  size_t at = output_.find("media.ogg\tfile\t1048576\t");
  ASSERT_NE(std::string::npos, at) << output_;
  long packed = atol(output_.c_str() + at + strlen("media.ogg\tfile\t1048576\t"));
  EXPECT_LE(packed, 1048576 + 17 * 5 + 6);
  ASSERT_EQ(0, Run("extract " + out + " " + dir_ + "/x")) << output_;
  EXPECT_EQ(noise, Read(dir_ + "/x/media.ogg"));
}

TEST_F(PackToolTest, VerifyFindsDamage) {
  Write(game_ + "/zz.bin", std::string(100000, 'd'));
  std::string out = dir_ + "/out.exe";
  ASSERT_EQ(0, Pack(out)) << output_;
  std::string bytes = Read(out);
  // Change a byte in the middle of zz.bin's packed data: after its name (with the NUL),
  // its unpacked and packed sizes and its time stamp.
  size_t name = bytes.rfind(std::string("zz.bin", 7));
  ASSERT_NE(std::string::npos, name);
  uint32_t packed = 0;
  memcpy(&packed, bytes.data() + name + 7 + 4, 4);  // little-endian, as on this machine
  std::string damaged = bytes;
  damaged[name + 7 + 8 + 8 + packed / 2] ^= 0x40;
  Write(dir_ + "/bad.exe", damaged);
  EXPECT_EQ(1, Run("verify " + dir_ + "/bad.exe"));
  EXPECT_NE(std::string::npos, output_.find("zz.bin")) << output_;
  Write(dir_ + "/cut.exe", bytes.substr(0, bytes.size() / 2));
  EXPECT_EQ(1, Run("verify " + dir_ + "/cut.exe"));
  EXPECT_EQ(1, Run("list " + dir_ + "/cut.exe"));
}

}  // namespace
