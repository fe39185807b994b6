#include <gtest/gtest.h>

#include <string.h>

#include "support/sjis.h"

namespace {

// "ソ" is 0x83 0x5C: its trail byte is a backslash. "表" is 0x95 0x5C. "ー" is 0x81 0x5B.
struct BackslashRow {
  const char *label;
  const char *input;
  const char *appended;
  const char *stripped;
};

const BackslashRow kBackslashRows[] = {
    {"empty", "", "\\", ""},
    {"plain", "C:\\Games", "C:\\Games\\", "C:\\Games"},
    {"already", "C:\\Games\\", "C:\\Games\\", "C:\\Games"},
    {"trail byte 0x5C", "C:\\\x83\x5C", "C:\\\x83\x5C\\", "C:\\\x83\x5C"},
    {"trail then backslash", "C:\\\x83\x5C\\", "C:\\\x83\x5C\\", "C:\\\x83\x5C"},
    // A trail byte in the lead-byte range before a real backslash: the backslash is real.
    {"trail in lead range", "C:\\\x88\x9F\\", "C:\\\x88\x9F\\", "C:\\\x88\x9F"},
    {"root", "\\", "\\", ""},
};

TEST(SjisPaths, AppendAndStripBackslash) {
  for (const BackslashRow &row : kBackslashRows) {
    char buffer[kPathSize];
    strcpy(buffer, row.input);
    ASSERT_EQ(0, AppendBackslash(buffer, sizeof buffer)) << row.label;
    EXPECT_STREQ(row.appended, buffer) << row.label;
    strcpy(buffer, row.input);
    StripBackslash(buffer);
    EXPECT_STREQ(row.stripped, buffer) << row.label;
  }
}

TEST(SjisPaths, AppendRefusesToOverflow) {
  char buffer[4] = "abc";
  EXPECT_EQ(-1, AppendBackslash(buffer, sizeof buffer));
  EXPECT_STREQ("abc", buffer);
  char fits[5] = "abc";
  EXPECT_EQ(0, AppendBackslash(fits, sizeof fits));
  EXPECT_STREQ("abc\\", fits);
}

TEST(SjisPaths, SeparatorSearchSkipsTrailBytes) {
  const char *name = "\x83\x5C\x95\x5C/x\\y";
  EXPECT_EQ(name + 4, FindSeparator(name, true));
  EXPECT_EQ(name + 6, FindSeparator(name, false));
  EXPECT_EQ(nullptr, FindSeparator("\x83\x5C\x83\x5C", true));
  // A lead byte at the very end does not swallow the terminator.
  EXPECT_EQ(nullptr, FindSeparator("ab\x83", true));
}

TEST(SjisPaths, LeadBytes) {
  for (int b = 0; b < 256; b++) {
    bool expected = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    EXPECT_EQ(expected, IsSjisLeadByte((unsigned char)b)) << b;
  }
}

TEST(SjisPaths, CopyTextBoundsAndReportsCut) {
  char small[4];
  EXPECT_EQ(6u, CopyText(small, "abcdef", sizeof small));
  EXPECT_STREQ("abc", small);
  EXPECT_EQ(2u, CopyText(small, "ab", sizeof small));
  EXPECT_STREQ("ab", small);
}

}  // namespace
