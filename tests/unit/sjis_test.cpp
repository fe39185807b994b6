#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "support/sjis.h"
#include "tools/fernpack/sjis_names.h"

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

TEST(SjisPaths, SearchesStartOnCharacterBoundaries) {
  // "コ" is 0x83 0x52: its trail byte looks like 'R'.
  const char *text = "\x83\x52\x83\x5C:REP\\";
  EXPECT_EQ(text + 4, FindSjisChar(text, ':'));
  EXPECT_EQ(text + 8, FindSjisChar(text, '\\'));
  EXPECT_EQ(nullptr, FindSjisChar("\x83\x5C", '\\'));
  EXPECT_EQ(text + 5, FindSjisText(text, "REP"));
  EXPECT_EQ(nullptr, FindSjisText("\x83REP", "REP"));
  EXPECT_EQ(text, FindSjisText(text, ""));
  EXPECT_EQ(nullptr, FindSjisText("RE", "REP"));
}

// fernpack's host path: with its terminator it may fill the buffer exactly; one byte less
// is refused before anything is written. Texts longer than the conversion's own buffer
// convert whole, both ways.
TEST(SjisPaths, HostJoinAndLongConversions) {
  std::string expected = std::string("/f/data/") + u8"ソ.txt";
  char out[64];
  memset(out, 'x', sizeof out);
  int size = (int)expected.size() + 1;
  EXPECT_EQ(-1, JoinHostEntryPath(nullptr, "/f", "data\\\x83\x5C.txt", out, size - 1));
  EXPECT_EQ('x', out[0]);
  ASSERT_EQ(0, JoinHostEntryPath(nullptr, "/f", "data\\\x83\x5C.txt", out, size));
  EXPECT_STREQ(expected.c_str(), out);
  EXPECT_EQ('x', out[size]);

  std::string sjis, utf8, back;
  for (int i = 0; i < 700; i++) sjis += "\x83\x5C";
  ASSERT_TRUE(SjisToUtf8(sjis, &utf8));
  EXPECT_EQ(2100u, utf8.size());
  ASSERT_TRUE(Utf8ToSjis(utf8, &back));
  EXPECT_EQ(sjis, back);
}

TEST(SjisPaths, CopyTextWholeNeverSplitsACharacter) {
  struct Row {
    const char *src;
    size_t size;
    const char *expected;
  } rows[] = {
      {"ab\x83\x5C", 5, "ab\x83\x5C"},
      {"ab\x83\x5C", 4, "ab"},
      {"ab\x83\x5C" "c", 5, "ab\x83\x5C"},
      {"ab\x83", 4, "ab\x83"},  // a lone lead byte at the end counts as one byte
      {"", 1, ""},
  };
  for (const Row &row : rows) {
    char out[8];
    EXPECT_EQ(strlen(row.src), CopyTextWhole(out, row.src, row.size)) << row.size;
    EXPECT_STREQ(row.expected, out) << row.size;
  }
}

}  // namespace
