#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "install/folder_paths.h"
#include "support/sjis.h"

namespace {

// "ソ" is 0x83 0x5C: its trail byte is a backslash.
TEST(FolderChain, PrefixLevels) {
  struct Row {
    const char *path;
    int level;
    const char *expected;
  } rows[] = {
      {"C:\\Games\\Title", 1, "C:"},
      {"C:\\Games\\Title", 2, "C:\\Games"},
      {"C:\\Games\\Title", 3, "C:\\Games\\Title"},
      {"C:\\Games\\Title", 9, "C:\\Games\\Title"},
      {"D:\\A\\B\\C", 2, "D:\\A"},
      {"D:\\A\\B\\C", 3, "D:\\A\\B"},
      {"\\Games\\Title", 1, "\\Games"},
      {"C:\\ソ\\x", 2, "C:\\ソ"},
      {"C:\\ソx", 2, "C:\\ソx"},
      {"", 1, ""},
  };
  for (const Row &row : rows) {
    char out[kPathSize];
    ASSERT_EQ(0, FolderPrefix(row.path, out, sizeof out, row.level)) << row.path;
    EXPECT_STREQ(row.expected, out) << row.path << " level " << row.level;
  }
  char small[3];
  EXPECT_EQ(0, FolderPrefix("C:\\Games", small, sizeof small, 1));
  EXPECT_EQ(-1, FolderPrefix("C:\\Games", small, sizeof small, 2));
  EXPECT_EQ(-1, FolderPrefix("C:\\Games", small, sizeof small, 0));  // levels count from 1
}

TEST(FolderChain, ChainPath) {
  struct Row {
    const char *path;
    int result;
    const char *expected;
  } rows[] = {
      {"C:\\Games\\", 0, "C:\\Games"},
      {"C:\\", 0, "C:\\"},
      {"C:\\ソ", 0, "C:\\ソ"},
      {"C:\\ソ\\", 0, "C:\\ソ"},
      {"C:", -1, nullptr},
      {"\\\\", -1, nullptr},
  };
  for (const Row &row : rows) {
    char out[kPathSize];
    ASSERT_EQ(row.result, ChainPath(row.path, out, sizeof out)) << row.path;
    if (row.result == 0) {
      EXPECT_STREQ(row.expected, out) << row.path;
    }
  }
  std::string longest(259, 'a');
  char out[kPathSize];
  EXPECT_EQ(0, ChainPath(longest.c_str(), out, sizeof out));
  EXPECT_EQ(-1, ChainPath((longest + "a").c_str(), out, sizeof out));
}

TEST(FolderChain, ReplaceExtension) {
  struct Row {
    const char *path;
    const char *expected;
  } rows[] = {
      {"C:\\TEMP\\Fernstall_fullaccess.bat", "C:\\TEMP\\Fernstall_fullaccess.pif"},
      {"C:\\a.b\\name", "C:\\a.b\\name.pif"},
      {"C:\\T\\name..bat", "C:\\T\\name.pif"},
      {"x.d:name", "x.d:name.pif"},  // a colon ends what came before, as a separator does
  };
  for (const Row &row : rows) {
    char out[kPathSize];
    ASSERT_EQ(0, ReplaceExtension(out, sizeof out, row.path, "pif")) << row.path;
    EXPECT_STREQ(row.expected, out) << row.path;
  }
  std::string name = std::string(255, 'a') + ".bat";
  char out[kPathSize];
  EXPECT_EQ(0, ReplaceExtension(out, sizeof out, name.c_str(), "pif"));
  EXPECT_EQ(-1, ReplaceExtension(out, sizeof out, ("a" + name).c_str(), "pif"));
  EXPECT_STREQ("", out);
}

TEST(FolderChain, JoinPath) {
  char out[kPathSize];
  ASSERT_EQ(0, JoinPath(out, sizeof out, "C:\\ソ", "x"));
  EXPECT_STREQ("C:\\ソ\\x", out);
  std::string folder(256, 'f');
  folder += '\\';
  EXPECT_EQ(0, JoinPath(out, sizeof out, folder.c_str(), "xy"));
  EXPECT_EQ(-1, JoinPath(out, sizeof out, folder.c_str(), "xyz"));
}

TEST(FolderChain, ParentFolder) {
  char out[16];
  ASSERT_EQ(1, ParentFolder(out, sizeof out, "C:\\Users\\player"));
  EXPECT_STREQ("C:\\Users", out);
  // ソ (83 5C) is no separator; a parent of 16 bytes does not fit 16.
  ASSERT_EQ(1, ParentFolder(out, sizeof out, "C:\\\x83\x5C\\x"));
  EXPECT_STREQ("C:\\\x83\x5C", out);
  EXPECT_EQ(0, ParentFolder(out, sizeof out, "C:\x83\x5C"));
  EXPECT_EQ(0, ParentFolder(out, sizeof out, "0123456789abcdef\\x"));
}

TEST(FolderGrantRule, PathWithin) {
  EXPECT_TRUE(PathWithin("C:\\WINDOWS", "C:\\Windows"));
  EXPECT_TRUE(PathWithin("c:\\windows\\", "C:\\Windows"));
  EXPECT_TRUE(PathWithin("C:\\Windows\\Games\\Title", "C:\\Windows\\"));
  EXPECT_FALSE(PathWithin("C:\\WindowsApps", "C:\\Windows"));  // a longer name, not below
  EXPECT_FALSE(PathWithin("C:\\Win", "C:\\Windows"));
  EXPECT_FALSE(PathWithin("D:\\Windows", "C:\\Windows"));
  EXPECT_FALSE(PathWithin("C:\\Windows", ""));
  // Double-byte characters compare byte for byte: the trail bytes 0x5C and 0x61 are no
  // separator and no letter. ソ is 83 5C, ア is 83 41, 臂 is 98 61 and 連 is 98 41.
  EXPECT_TRUE(PathWithin("C:\\\x83\x5C\\x", "C:\\\x83\x5C"));
  EXPECT_FALSE(PathWithin("C:\\\x83\x41", "C:\\\x83\x61"));
  EXPECT_FALSE(PathWithin("C:\\\x98\x41", "C:\\\x98\x61"));
  EXPECT_FALSE(PathWithin("C:\\\x83\x5Cx", "C:\\\x83"));  // a lead byte alone
}

TEST(FolderGrantRule, SystemFoldersAreNotOpened) {
  const char *inside[] = {"C:\\WINDOWS", ""};
  const char *not_above[] = {"C:\\Program Files", "C:\\Program Files (x86)",
                             "C:\\ProgramData", "C:\\Users\\player", ""};
  auto allowed = [&](const char *folder) {
    return GrantAllowed(folder, inside, 2, not_above, 5);
  };
  // The folders a game is meant for.
  EXPECT_TRUE(allowed("C:\\Program Files\\Maker\\Title"));
  EXPECT_TRUE(allowed("C:\\Program Files (x86)\\Title"));
  EXPECT_TRUE(allowed("C:\\Users\\player\\Games\\Title"));
  EXPECT_TRUE(allowed("D:\\Games\\Title"));
  EXPECT_TRUE(allowed("C:\\WINDOWS.old\\Title"));
  // The Windows folder and everything below it.
  EXPECT_FALSE(allowed("C:\\Windows"));
  EXPECT_FALSE(allowed("c:\\windows\\system32"));
  EXPECT_FALSE(allowed("C:\\WINDOWS\\Games\\Title"));
  // The shared folders themselves, and what lies above them.
  EXPECT_FALSE(allowed("C:\\Program Files"));
  EXPECT_FALSE(allowed("C:\\program files\\"));
  EXPECT_FALSE(allowed("C:\\ProgramData"));
  EXPECT_FALSE(allowed("C:\\Users"));
  EXPECT_FALSE(allowed("C:\\Users\\player"));
  EXPECT_FALSE(allowed("C:\\"));
  EXPECT_FALSE(allowed("C:"));
}

}  // namespace
