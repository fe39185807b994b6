// fernpack pack adds the uninstaller and UnInst.lst; the list, read back from the package
// with the installer's own reader (fernpack extract), names every entry in archive order
// and passes the uninstaller's own line checks.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "install/free_space.h"
#include "tests/unit/fernpack_fixture.h"
#include "tools/fernpack/sjis_names.h"
#include "uninstall/file_list.h"
#include "uninstall/removal_rules.h"

namespace {

class UninstallPackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/fern-uninst-pack-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    game_ = dir_ + "/game";
    mkdir(game_.c_str(), 0755);
    mkdir((game_ + u8"/データ").c_str(), 0755);
    Write(dir_ + "/stub.exe", MinimalStub());
    Write(game_ + "/install.env", "TITLEBAR\tx\r\nINSTTO\tx\r\nEXENAME\tx.exe\r\n");
    Write(game_ + "/insttscr.rct", OnePixelPicture());
    Write(game_ + u8"/データ/表.txt", "x");
  }
  void TearDown() override { system(("rm -rf " + dir_).c_str()); }

  static void Write(const std::string &path, const std::string &text) {
    WriteTestFile(path, text);
  }
  static std::string Read(const std::string &path) { return ReadTestFile(path); }
  int Fernpack(const std::string &args, std::string *output) {
    return RunShell("cd " + dir_ + " && " + FERNPACK_PATH + " " + args, output);
  }
  // Packs and extracts; the names of `fernpack list` (UTF-8, "/") in archive order.
  std::vector<std::string> PackAndList(const std::string &extra = "") {
    std::string output;
    EXPECT_EQ(0, Fernpack("pack game -o out.exe --stub stub.exe --quiet " + extra, &output))
        << output;
    EXPECT_EQ(0, Fernpack("extract out.exe x", &output)) << output;
    EXPECT_EQ(0, Fernpack("list out.exe", &output)) << output;
    std::vector<std::string> names;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) names.push_back(line.substr(0, line.find('\t')));
    return names;
  }

  std::string dir_, game_;
};

TEST_F(UninstallPackTest, TheListNamesEveryEntryInArchiveOrder) {
  std::vector<std::string> names = PackAndList();
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ("UnInst.exe", names[0]);
  EXPECT_EQ("UnInst.lst", names[1]);
  EXPECT_EQ(MinimalStub(), Read(dir_ + "/x/UnInst.exe"));

  // fernpack's own uninstaller: the list says so, for the installer's protected copy.
  std::string list = Read(dir_ + "/x/UnInst.lst");
  std::string head = std::string(kFileListHeader) + kOwnUninstallerMark + kFileSizesNote;
  ASSERT_EQ(0u, list.find(head));
  EXPECT_TRUE(ListMarksOwnUninstaller(list.data(), list.size()));
  EXPECT_FALSE(ListMarksOwnUninstaller(list.data(), strlen(kFileListHeader) + 10));
  std::istringstream lines(list.substr(head.size()));
  std::vector<std::string> listed;
  uint64_t growth = 0;
  std::string size_line;
  for (std::string line; std::getline(lines, line);) {
    ASSERT_FALSE(line.empty());
    ASSERT_EQ('\r', line.back()) << "lines end with CR LF";
    line.pop_back();
    if (line.compare(0, 2, kSizeLinePrefix) == 0) {
      size_line = line;
      continue;
    }
    // Every file line follows the size of the file that the package holds, the list's
    // own included.
    if (line.back() != '\\') {
      std::string utf8_name;
      ASSERT_TRUE(SjisToUtf8(line, &utf8_name));
      for (char &c : utf8_name) c = c == '\\' ? '/' : c;
      struct stat st;
      ASSERT_EQ(0, stat((dir_ + "/x/" + utf8_name).c_str(), &st)) << line;
      EXPECT_EQ(kSizeLinePrefix + std::to_string(st.st_size), size_line) << line;
      growth += SpaceGrowth((uint64_t)st.st_size, 0);
      size_line.clear();
    }
    // Every line passes the uninstaller's check unchanged, and says file or folder right.
    char checked[256];
    EXPECT_EQ(kNameOk, CheckRemovalLine(line.c_str(), false, checked, sizeof checked)) << line;
    EXPECT_EQ(line, checked);
    std::string utf8;
    ASSERT_TRUE(SjisToUtf8(line, &utf8));
    for (char &c : utf8) c = c == '\\' ? '/' : c;
    EXPECT_EQ(utf8.back() == '/' ? kListFolder : kListFile, ClassifyListLine(line.c_str()));
    listed.push_back(utf8);
  }
  EXPECT_EQ(names, listed);
  // The installer's sum from the list is the sum over the package's files.
  uint64_t summed = 0;
  ASSERT_EQ(0, SumListGrowth(list.data(), list.size(), nullptr, nullptr, &summed));
  EXPECT_EQ(growth, summed);
}

TEST_F(UninstallPackTest, TheGamesOwnUninstallerStaysAndAStaleListIsReplaced) {
  Write(game_ + "/uninst.exe", "the game's own");
  Write(game_ + "/UnInst.lst", "stale\r\n");
  std::vector<std::string> names = PackAndList("--uninstaller /nonexistent");
  EXPECT_EQ("the game's own", Read(dir_ + "/x/uninst.exe"));
  int uninstallers = 0;
  for (const std::string &name : names) uninstallers += SameNameIgnoringCase(name.c_str(), "UnInst.exe");
  EXPECT_EQ(1, uninstallers);
  std::string list = Read(dir_ + "/x/UnInst.lst");
  EXPECT_EQ(std::string::npos, list.find("stale"));
  EXPECT_FALSE(ListMarksOwnUninstaller(list.data(), list.size())) << "no protected copy of it";
  EXPECT_NE(std::string::npos, list.find("\r\nuninst.exe\r\n"));
}

TEST_F(UninstallPackTest, NoUsableUninstallerLeavesNoPackage) {
  Write(dir_ + "/junk.exe", "not a program");
  struct Row {
    const char *environment;
    const char *args;
    const char *message;
  } rows[] = {
      {"", "--uninstaller junk.exe", "the uninstaller junk.exe is not a Windows program"},
      {"", "--uninstaller missing.exe", "cannot read the uninstaller missing.exe"},
      {"FERNSTALL_UNINSTALLER=junk.exe", "", "the uninstaller junk.exe is not a Windows program"},
  };
  for (const Row &row : rows) {
    std::string output;
    EXPECT_EQ(1, RunShell("cd " + dir_ + " && " + row.environment + " " + FERNPACK_PATH +
                              " pack game -o out.exe --stub stub.exe " + row.args,
                          &output));
    EXPECT_NE(std::string::npos, output.find(row.message)) << output;
    EXPECT_NE(0, access((dir_ + "/out.exe").c_str(), F_OK));
  }
}

}  // namespace
