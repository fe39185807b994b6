#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "install/transfer_lines.h"

namespace {

int g_cdrom_calls = 0;
const char *QDrive() {
  g_cdrom_calls++;
  return "Q:\\";
}
const char *NoCdrom() { return "E:\\"; }

const TokenValues kGame = {QDrive, "C:\\Games\\Game"};

struct LineRow {
  const char *label;
  const char *line;
  int result;
  const char *key;  // the key or value name
  const char *value;
};

const LineRow kIniRows[] = {
    {"install folder", "Path=REP_INSTALL\\data", 0, "Path", "C:\\Games\\Game\\data"},
    {"cdrom drive", "Disc=REP_CDROMDRIVEdata", 0, "Disc", "Q:\\data"},
    {"reg token stays", "Disc=REP_CDROM", 0, "Disc", "REP_CDROM"},
    {"first only", "A=REP_INSTALL;REP_INSTALL", 0, "A", "C:\\Games\\Game;REP_INSTALL"},
    {"nothing trimmed", " k = v ", 0, " k ", " v "},
    {"first equals", "a=b=c", 0, "a", "b=c"},
    {"empty value", "k=", 0, "k", ""},
    {"no equals", "REP_INSTALL", -1, nullptr, nullptr},
    {"Japanese key", "ソフト=REP_INSTALL", 0, "ソフト", "C:\\Games\\Game"},
    // "コ" is 0x83 0x52: its trail byte followed by EP_INSTALL is no token.
    {"trail byte R", "k=コEP_INSTALL", 0, "k", "コEP_INSTALL"},
};

TEST(TransferIni, Rows) {
  for (const LineRow &row : kIniRows) {
    char key[kTransferTextSize], value[kTransferTextSize];
    ASSERT_EQ(row.result, ParseIniLine(row.line, &kGame, key, sizeof key, value, sizeof value))
        << row.label;
    if (row.result != 0) continue;
    EXPECT_STREQ(row.key, key) << row.label;
    EXPECT_STREQ(row.value, value) << row.label;
  }
}

const LineRow kRegRows[] = {
    {"install folder", "\"InstTo\"=\"REP_INSTALL\"", 0, "InstTo", "C:\\Games\\Game"},
    {"cdrom", "\"Disc\"=\"REP_CDROM\"", 0, "Disc", "Q:\\"},
    {"ini token", "\"Path\"=\"REP_CDROMDRIVE\"", 0, "Path", "Q:\\DRIVE"},
    {"export escapes", "\"P\"=\"C:\\\\Games\\\\x\"", 0, "P", "C:\\Games\\x"},
    {"escaped quote", "\"P\"=\"say \\\"hi\\\"\"", 0, "P", "say \"hi\""},
    {"escaped folder", "\"P\"=\"REP_INSTALL\\\\save\"", 0, "P", "C:\\Games\\Game\\save"},
    {"first only", "\"P\"=\"REP_INSTALL|REP_INSTALL\"", 0, "P", "C:\\Games\\Game|REP_INSTALL"},
    {"default value", "\"\"=\"v\"", 0, "", "v"},
    {"trailing comment", "\"P\"=\"v\" ;note", 0, "P", "v\" ;not"},
    {"empty text", "\"P\"=\"", 0, "P", ""},
    {"separator first", "\"=\"v\"", 0, "", "v"},
    {"key header", "[HKEY_CURRENT_USER\\Software\\M]", -1, nullptr, nullptr},
    {"number value", "\"IsInst\"=dword:00000001", -1, nullptr, nullptr},
    {"export default", "@=\"v\"", -1, nullptr, nullptr},
};

TEST(TransferReg, Rows) {
  for (const LineRow &row : kRegRows) {
    char name[kTransferTextSize], value[kTransferTextSize];
    ASSERT_EQ(row.result, ParseRegLine(row.line, &kGame, name, sizeof name, value, sizeof value))
        << row.label;
    if (row.result != 0) continue;
    EXPECT_STREQ(row.key, name) << row.label;
    EXPECT_STREQ(row.value, value) << row.label;
  }
}

TEST(TransferTokens, CdromAskedOnlyForItsOwnToken) {
  char out[kTransferTextSize];
  g_cdrom_calls = 0;
  ASSERT_EQ(0, ExpandIniTokens("REP_INSTALL", &kGame, out, sizeof out));
  EXPECT_EQ(0, g_cdrom_calls);
  ASSERT_EQ(0, ExpandRegTokens("REP_CDROM REP_CDROM", &kGame, out, sizeof out));
  EXPECT_EQ(1, g_cdrom_calls);
  EXPECT_STREQ("Q:\\ REP_CDROM", out);
  const TokenValues no_drive = {NoCdrom, "D:\\G"};
  ASSERT_EQ(0, ExpandIniTokens("REP_CDROMDRIVE", &no_drive, out, sizeof out));
  EXPECT_STREQ("E:\\", out);
}

TEST(TransferTokens, UnescapeKeepsTheCharacterAfterEachBackslash) {
  struct Row {
    const char *in;
    const char *out;
  } rows[] = {
      {"a\\\\b", "a\\b"},   {"\\\"", "\""},   {"\\a", "a"},     {"\\\\\\\\", "\\\\"},
      {"end\\", "end"},     {"ソ", "ソ"},     {"\\ソ\\", "ソ"}, {"", ""},
  };
  for (const Row &row : rows) {
    char out[kTransferTextSize];
    ASSERT_EQ(0, UnescapeRegText(row.in, out, sizeof out)) << row.in;
    EXPECT_STREQ(row.out, out) << row.in;
  }
  char four[4];  // the line with its terminator must fit, even when escapes would shrink it
  EXPECT_EQ(0, UnescapeRegText("abc", four, sizeof four));
  EXPECT_EQ(-1, UnescapeRegText("ab\\c", four, sizeof four));
}

// An expanded line of 511 bytes fits the 512-byte buffer; one more byte and the line is
// refused, never written cut. The same for the key and value buffers.
TEST(TransferLimits, ExpandedLineAtAndPastTheBuffer) {
  std::string folder = "C:\\Games\\Game";  // 13 bytes for the 11 of REP_INSTALL
  std::string pad(511 - 2 - folder.size(), 'v');
  const TokenValues values = {QDrive, folder.c_str()};
  char key[kTransferTextSize], value[kTransferTextSize];
  std::string line = "k=" + pad + "REP_INSTALL";
  ASSERT_EQ(0, ParseIniLine(line.c_str(), &values, key, sizeof key, value, sizeof value));
  EXPECT_EQ(509u, strlen(value));
  line = "k=v" + pad + "REP_INSTALL";
  EXPECT_EQ(-1, ParseIniLine(line.c_str(), &values, key, sizeof key, value, sizeof value));

  std::string reg = "\"n\"=\"" + std::string(511 - 6 - folder.size(), 'v') + "REP_INSTALL\"";
  ASSERT_EQ(0, ParseRegLine(reg.c_str(), &values, key, sizeof key, value, sizeof value));
  EXPECT_EQ(505u, strlen(value));
  reg.insert(5, "v");
  EXPECT_EQ(-1, ParseRegLine(reg.c_str(), &values, key, sizeof key, value, sizeof value));

  char small[4];
  EXPECT_EQ(0, ParseIniLine("abc=x", &values, small, sizeof small, value, sizeof value));
  EXPECT_EQ(-1, ParseIniLine("abcd=x", &values, small, sizeof small, value, sizeof value));
  EXPECT_EQ(0, ParseRegLine("\"n\"=\"abc\"", &values, key, sizeof key, small, sizeof small));
  EXPECT_EQ(-1, ParseRegLine("\"n\"=\"abcd\"", &values, key, sizeof key, small, sizeof small));
}

}  // namespace
