#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "settings/settings_file.h"
#include "support/allocate.h"

namespace {

class SettingsFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/fern_settings_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    folder_ = pattern;
    ResetSettingsForTests();
  }
  void TearDown() override {
    ResetSettingsForTests();
    std::filesystem::remove_all(folder_);
  }
  std::string Write(const std::string &bytes) {
    std::string path = folder_ + "/install.env";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  void Load(const std::string &bytes) {
    ResetSettingsForTests();
    ASSERT_EQ(0, LoadSettings(Write(bytes).c_str()));
  }
  std::string folder_;
};

std::string Lines(int count, const std::string &line) {
  std::string text;
  for (int i = 0; i < count; i++) text += line;
  return text;
}

// A key looked up after loading a file; expected null means the key has no entry.
struct LookupRow {
  const char *label;
  std::string file;
  const char *key;
  const char *expected;
};

const LookupRow kLookupRows[] = {
    {"bar is a space", "TITLEBAR\tMy|Game\r\n", "TITLEBAR", "My Game"},
    {"later words dropped", "TITLEBAR My Game\r\n", "TITLEBAR", "My"},
    {"keys are case-sensitive", "titlebar\tWord\r\n", "TITLEBAR", nullptr},
    {"key alone", "INSTTO\r\n", "INSTTO", nullptr},
    {"key and blanks only", "INSTTO \t  \r\n", "INSTTO", nullptr},
    {"99 blanks reach", "INSTTO" + std::string(99, ' ') + "Far\r\n", "INSTTO", "Far"},
    {"100 blanks do not", "INSTTO" + std::string(100, ' ') + "Far\r\n", "INSTTO", nullptr},
    {"mixed blank bytes", "INSTTO\x01\x1F\t \x14Word\r\n", "INSTTO", "Word"},
    {"0x7F is not blank", "INSTTO\x7FWord\r\n", "INSTTO", nullptr},
    {"word behind a 0 byte", std::string("INSTTO\0Word\r\n", 13), "INSTTO", "Word"},
    {"leading space", " INSTTO\tA\r\n", "INSTTO", nullptr},
    {"leading tab", "\tINSTTO\tA\r\n", "INSTTO", nullptr},
    {"leading slash", "/INSTTO\tA\r\n", "INSTTO", nullptr},
    {"[EOF] stops", "[EOF]\r\nINSTTO\tA\r\n", "INSTTO", nullptr},
    {"[EOF] with text after it", "[EOF] end\r\nINSTTO\tA\r\n", "INSTTO", nullptr},
    {"indented [EOF] does not stop", " [EOF]\r\nINSTTO\tA\r\n", "INSTTO", "A"},
    {"first of two wins", "INSTTO\tA\r\nINSTTO\tB\r\n", "INSTTO", "A"},
    {"trail byte 0x7C kept", "INSTTO\t\x83\x7C|x\r\n", "INSTTO", "\x83\x7C x"},
    {"closing line", "-\t// note\r\n", "-", "//"},
    {"line 400 read", Lines(399, "// c\r\n") + "INSTTO\tA\r\n", "INSTTO", "A"},
    {"line 401 not read", Lines(400, "\r\n") + "INSTTO\tA\r\n", "INSTTO", nullptr},
    // 1021 bytes and the line feed are two pieces, and both count toward the 400.
    {"pieces count", "/" + std::string(1020, 'x') + "\r\n" + Lines(397, "//\r\n") +
                         "INSTTO\tA\r\nEXENAME\tB\r\n", "EXENAME", nullptr},
    {"pieces count, last read", "/" + std::string(1020, 'x') + "\r\n" + Lines(397, "//\r\n") +
                                   "INSTTO\tA\r\n", "INSTTO", "A"},
    // CR LF is one line feed: a 510-byte line and its CR LF fit one piece in both builds.
    {"CR LF at the piece edge", "/" + std::string(509, 'x') + "\r\n" + Lines(398, "//\r\n") +
                                    "INSTTO\tA\r\n", "INSTTO", "A"},
    {"rest of a long line is a line", "INSTTO\t" + std::string(504, 'x') + "EXENAME\tB\r\n",
     "EXENAME", "B"},
    {"lone CR is a blank", "INSTTO\tA\rEXENAME\tB\r\n", "EXENAME", nullptr},
    {"Ctrl-Z ends the file", "INSTTO\tA\x1A\r\nEXENAME\tB\r\n", "EXENAME", nullptr},
    {"LF only", "INSTTO\tA\nEXENAME\tB\n", "EXENAME", "B"},
};

TEST_F(SettingsFileTest, KeyLines) {
  for (const LookupRow &row : kLookupRows) {
    Load(row.file);
    char buffer[kSettingsLineSize];
    const char *missing = "<missing>";
    GetSetting(row.key, buffer, sizeof buffer, missing);
    EXPECT_STREQ(row.expected != nullptr ? row.expected : missing, buffer) << row.label;
    // The one-key reader (the installer's look at an earlier installation) agrees.
    FILE *stream = fmemopen(const_cast<char *>(row.file.data()), row.file.size(), "rb");
    ASSERT_NE(nullptr, stream);
    char value[kSettingTextSize];
    int found = ReadSettingFromStream(stream, row.key, value, sizeof value);
    fclose(stream);
    EXPECT_EQ(row.expected != nullptr ? 0 : -1, found) << row.label;
    if (found == 0) EXPECT_STREQ(row.expected, value) << row.label;
  }
  // A value that does not fit whole is none.
  FILE *stream = fmemopen(const_cast<char *>("TITLEBAR\tABCDEFGH\r\n"), 20, "rb");
  ASSERT_NE(nullptr, stream);
  char value[9];
  EXPECT_EQ(-1, ReadSettingFromStream(stream, "TITLEBAR", value, 8));
  rewind(stream);
  EXPECT_EQ(0, ReadSettingFromStream(stream, "TITLEBAR", value, 9));
  EXPECT_STREQ("ABCDEFGH", value);
  fclose(stream);
}

TEST_F(SettingsFileTest, GetSettingCutsAndPads) {
  Load("INSTTO\tABCDEF\r\nHELP_FILE\thelp.txt\r\n");
  char buffer[8];
  memset(buffer, 'z', sizeof buffer);
  GetSetting("INSTTO", buffer, 4, "-");
  EXPECT_STREQ("ABC", buffer);
  EXPECT_EQ('z', buffer[4]);  // exactly size bytes written
  memset(buffer, 'z', sizeof buffer);
  GetSetting("EXENAME", buffer, sizeof buffer, "ab");
  EXPECT_EQ(0, memcmp("ab\0\0\0\0\0\0", buffer, sizeof buffer));
  // The buffer as its own default: a missing key keeps what the first key gave.
  GetSetting("HELP_FILE", buffer, sizeof buffer, "");
  GetSetting("INSTREADMEFL", buffer, sizeof buffer, buffer);
  EXPECT_STREQ("help.tx", buffer);
}

TEST_F(SettingsFileTest, GetSettingInt) {
  struct Row {
    const char *value;
    int expected;
  } rows[] = {{"12abc", 12}, {"abc", 0}, {"-7", -7}, {"+3", 3},
              {"99999999999", INT_MAX}, {"-99999999999", INT_MIN}};
  for (const Row &row : rows) {
    Load(std::string("INSTMAKEFOL\t") + row.value + "\r\n");
    EXPECT_EQ(row.expected, GetSettingInt("INSTMAKEFOL", 42)) << row.value;
  }
  EXPECT_EQ(42, GetSettingInt("MISSING", 42));
}

TEST_F(SettingsFileTest, AccessorDefaults) {
  Load("// nothing\r\n");
  EXPECT_STREQ("-", GetRegGlobal());
  EXPECT_STREQ("-", GetIniSection());
  EXPECT_STREQ("ＨＡＬＤＲＯ アプリケーション", GetTitleBar());
  EXPECT_STREQ("ＨＡＬＤＲＯ アプリケーション スタートアップ", GetStartupTitle());
  EXPECT_EQ(nullptr, GetInstGroup());
  EXPECT_EQ(nullptr, GetInstFol());
  EXPECT_STREQ("HALDRO_APP", GetInstTo());
  EXPECT_STREQ("haldro.exe", GetExeName());
  EXPECT_EQ(0, GetInstMakeFol());
}

// Cached accessors keep their first answer when the table changes (here: is released,
// as at exit); the others read the table again.
TEST_F(SettingsFileTest, AccessorCaching) {
  Load("REG_GLOBAL\tMaker\r\nREG_LOCAL\tGame\r\nINI_FILE\tg.ini\r\nINI_SECTION\tS\r\n"
       "TITLEBAR\tFern|Quest\r\nINST_GROUP\t-\r\nINSTFOL\tFern\r\nINSTTO\tQuest\r\n"
       "EXENAME\tq.exe\r\nINSTMAKEFOL\t1\r\n");
  EXPECT_STREQ("Maker", GetRegGlobal());
  EXPECT_STREQ("Game", GetRegLocal());
  EXPECT_STREQ("g.ini", GetIniFile());
  EXPECT_STREQ("S", GetIniSection());
  EXPECT_STREQ("Fern Quest スタートアップ", GetStartupTitle());
  EXPECT_STREQ("-", GetInstGroup());
  EXPECT_STREQ("Fern", GetInstFol());
  EXPECT_EQ(1, GetInstMakeFol());
  ReleaseSettings();
  EXPECT_STREQ("Maker", GetRegGlobal());
  EXPECT_STREQ("g.ini", GetIniFile());
  EXPECT_EQ(1, GetInstMakeFol());
  EXPECT_STREQ("ＨＡＬＤＲＯ アプリケーション", GetTitleBar());
  EXPECT_EQ(nullptr, GetInstGroup());
  EXPECT_STREQ("HALDRO_APP", GetInstTo());
  EXPECT_STREQ("haldro.exe", GetExeName());
}

TEST_F(SettingsFileTest, MakeFolMinusOneIsReadAgain) {
  Load("INSTMAKEFOL\t-1\r\n");
  EXPECT_EQ(-1, GetInstMakeFol());
  ReleaseSettings();
  ASSERT_EQ(0, LoadSettings(Write("INSTMAKEFOL\t5\r\n").c_str()));
  EXPECT_EQ(5, GetInstMakeFol());
}

TEST_F(SettingsFileTest, LongTitleFitsStartupTitle) {
  Load("TITLEBAR\t" + std::string(300, 'T') + "\r\n");
  EXPECT_EQ(127u, strlen(GetTitleBar()));
  EXPECT_EQ(std::string(127, 'T') + " スタートアップ", GetStartupTitle());
}

void FailNextAllocation(const KeyLineReport *report, void *) {
  if (report->line == 1) SimulateAllocationFailures(1);
}

// Memory shortage: the reader stops at the line whose entry cannot be made and keeps the
// entries before it (nothing leaks; ASan checks); the installer then ends with -1.
TEST_F(SettingsFileTest, MemoryShortage) {
  FILE *stream = fopen(Write("INSTTO\tA\r\nEXENAME\tB\r\nINSTFOL\tC\r\n").c_str(), "rb");
  ASSERT_NE(nullptr, stream);
  LineReader reader;
  StartLineReader(&reader, stream);
  SettingEntry *table = nullptr;
  EXPECT_EQ(kSettingsStopNoMemory, ReadSettingsStream(&reader, &table, FailNextAllocation,
                                                      nullptr));
  fclose(stream);
  SimulateAllocationFailures(0);
  EXPECT_STREQ("A", FindSettingValue(table, "INSTTO"));
  EXPECT_EQ(nullptr, FindSettingValue(table, "EXENAME"));
  FreeSettingEntries(&table);

  std::string path = Write("INSTTO\tA\r\n");
  EXPECT_EXIT(
      {
        SimulateAllocationFailures(1);
        LoadSettings(path.c_str());
      },
      testing::ExitedWithCode(255), "out of memory");
}

TEST_F(SettingsFileTest, MissingFileEndsInRetryBox) {
  std::string path = folder_ + "/absent.env";
  EXPECT_EXIT(LoadSettings(path.c_str()), testing::ExitedWithCode(255), "Ffopen");
}

}  // namespace
