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

TEST(FolderGrantBatch, ThreeLines) {
  char out[1024];
  ASSERT_EQ(0, FormatGrantBatch(out, sizeof out, "C:\\WINDOWS\\system32",
                                "C:\\Program Files\\Maker\\100%Title",
                                "C:\\TEMP\\Fernstall_fullaccess.pif",
                                "C:\\TEMP\\Fernstall_fullaccess.bat"));
  EXPECT_STREQ(
      "echo y| \"C:\\WINDOWS\\system32\\cacls.exe\" \"C:\\Program Files\\Maker\\100%%Title\""
      " /e /g everyone:F\n"
      "del \"C:\\TEMP\\Fernstall_fullaccess.pif\"\n"
      "del \"C:\\TEMP\\Fernstall_fullaccess.bat\"\n",
      out);
  ASSERT_EQ(0, FormatGrantBatch(out, sizeof out, "C:\\%SYS%\\", "F", "c", "b"));
  EXPECT_STREQ(
      "echo y| \"C:\\%%SYS%%\\cacls.exe\" \"F\" /e /g everyone:F\ndel \"c\"\ndel \"b\"\n",
      out);
  // 68 bytes of text: it fits 69 bytes and not 68.
  ASSERT_EQ(68u, strlen(out));
  EXPECT_EQ(0, FormatGrantBatch(out, 69, "C:\\%SYS%\\", "F", "c", "b"));
  EXPECT_EQ(-1, FormatGrantBatch(out, 68, "C:\\%SYS%\\", "F", "c", "b"));
}

}  // namespace
