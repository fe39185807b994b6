// fernpack init: the folder it writes is read by the installer's own readers as meant,
// lint finds nothing in it, pack accepts it, and it never overwrites anything.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "settings/section_lists.h"
#include "settings/settings_file.h"
#include "tests/unit/fernpack_fixture.h"

namespace {

class FernpackInit : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/fern-init-XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  void TearDown() override { system(("rm -rf " + dir_).c_str()); }
  int Fernpack(const std::string &args, std::string *out) {
    return RunShell(std::string(FERNPACK_PATH) + " " + args, out);
  }
  std::string dir_;
};

TEST_F(FernpackInit, WritesAFolderTheInstallerReadsAsMeant) {
  std::string out;
  const std::string game = dir_ + u8"/ふぇるん";
  ASSERT_EQ(0, Fernpack("init " + game, &out)) << out;
  ASSERT_EQ(0, Fernpack("lint " + game + "/install.env", &out)) << out;
  EXPECT_NE(std::string::npos, out.find("0 errors, 0 warnings")) << out;

  // Every key the installer reads is set, and the comments set nothing.
  ResetSettingsForTests();
  ASSERT_EQ(0, LoadSettings((game + "/install.env").c_str()));
  EXPECT_STREQ("ふぇるん", GetTitleBar());
  EXPECT_STREQ("ふぇるん", GetInstTo());
  EXPECT_STREQ("MyCompany", GetInstFol());
  EXPECT_STREQ("MyCompany", GetInstGroup());
  EXPECT_STREQ("game.exe", GetExeName());
  EXPECT_STREQ("MyCompany", GetRegGlobal());
  EXPECT_STREQ("ふぇるん", GetRegLocal());
  EXPECT_STREQ("-", GetIniFile());
  EXPECT_STREQ("-", GetIniSection());
  EXPECT_EQ(1, GetInstMakeFol());
  char text[kSettingTextSize];
  EXPECT_STREQ("お読みください", GetSetting("INSTREADME", text, sizeof text, "?"));
  EXPECT_STREQ("readme.txt", GetSetting("INSTREADMEFL", text, sizeof text, "?"));
  EXPECT_STREQ("readme.txt", GetSetting("HELP_FILE", text, sizeof text, "?"));

  // The sections hold only the two lines that remember the folder.
  SectionLists lists = {};
  int open_section = -1;
  ASSERT_EQ(kSectionReadOk, ReadSectionFile((game + "/install.env").c_str(), &lists,
                                            &open_section, nullptr, nullptr));
  EXPECT_EQ(0, open_section);
  EXPECT_EQ(nullptr, lists.delfiles);
  EXPECT_EQ(nullptr, lists.delfiles_user);
  EXPECT_EQ(nullptr, lists.ini);
  ASSERT_NE(nullptr, lists.reg);
  EXPECT_STREQ("\"InstTo\"=\"REP_INSTALL\"", lists.reg->text);
  ASSERT_NE(nullptr, lists.reg->next);
  EXPECT_STREQ("\"IsInst\"=\"1\"", lists.reg->next->text);
  EXPECT_EQ(nullptr, lists.reg->next->next);
  FreeSectionLists(&lists);

  std::ofstream(dir_ + "/stub.exe", std::ios::binary) << MinimalStub();
  EXPECT_EQ(0, Fernpack("pack " + game + " -o " + dir_ + "/setup.exe --stub " + dir_ +
                            "/stub.exe --quiet", &out)) << out;
}

TEST_F(FernpackInit, TitleFallsBackAndNothingIsOverwritten) {
  std::string out;
  // A name that cannot be a title (a blank) gets the placeholder.
  ASSERT_EQ(0, Fernpack("init '" + dir_ + "/my game/'", &out)) << out;
  EXPECT_NE(std::string::npos, out.find("\"MyGame\"")) << out;
  // A second init, or one over a publisher's own settings, refuses and changes nothing.
  std::ofstream(dir_ + "/mine.env") << "mine";
  mkdir((dir_ + "/own").c_str(), 0755);
  std::ofstream(dir_ + "/own/readme.txt") << "my readme";
  EXPECT_EQ(1, Fernpack("init '" + dir_ + "/my game'", &out));
  EXPECT_NE(std::string::npos, out.find("never overwrites")) << out;
  EXPECT_EQ(1, Fernpack("init " + dir_ + "/own", &out));
  std::string kept;
  std::getline(std::ifstream(dir_ + "/own/readme.txt"), kept);
  EXPECT_EQ("my readme", kept);
  struct stat info;
  EXPECT_NE(0, stat((dir_ + "/own/install.env").c_str(), &info));
  EXPECT_EQ(1, Fernpack("init " + dir_ + "/mine.env", &out));
  EXPECT_NE(std::string::npos, out.find("not a folder")) << out;
  EXPECT_EQ(2, Fernpack("init", &out));
}

}  // namespace
