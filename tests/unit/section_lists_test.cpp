#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "settings/section_lists.h"
#include "support/allocate.h"

namespace {

class SectionListsTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/fern_sections_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    folder_ = pattern;
    ResetSectionListsForTests();
  }
  void TearDown() override {
    ResetSectionListsForTests();
    std::filesystem::remove_all(folder_);
  }
  std::string Write(const std::string &bytes) {
    std::string path = folder_ + "/install.env";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string folder_;
};

// The lines of a list joined with "|".
std::string Joined(const SectionLine *line) {
  std::string text;
  for (; line != nullptr; line = line->next) {
    text += (text.empty() ? "" : "|") + std::string(line->text);
  }
  return text;
}

struct ReadRow {
  const char *label;
  std::string file;
  int result;
  int open_section;
  const char *delfiles, *delfiles_user, *ini, *reg;
};

const ReadRow kReadRows[] = {
    {"all closed",
     "TITLEBAR\tT\r\n[delfiles]\r\na.ini\r\n-\t// c\r\n[delfiles_user]\r\nsave\\*.sav\r\n-\r\n"
     "[ini]\r\nPath=REP_INSTALL\r\n-\r\n[reg]\r\n\"IsInst\"=\"1\"\r\n-\r\n[EOF]\r\n",
     kSectionReadOk, 0, "a.ini", "save\\*.sav", "Path=REP_INSTALL", "\"IsInst\"=\"1\""},
    {"no headers", "TITLEBAR\tT\r\nk=v\r\n", kSectionReadOk, 0, "", "", "", ""},
    {"blank lines, leading blanks", "[ini]\r\n \t \r\n  a=1 \t\r\n-\r\n", kSectionReadOk, 0,
     "", "", "  a=1", ""},
    {"trailing comment kept", "[delfiles]\r\nreadme.txt\t// doc\r\n-\r\n", kSectionReadOk, 0,
     "readme.txt\t// doc", "", "", ""},
    {"comments skipped", "[ini]\r\n// x\r\n;y\r\na=1\r\n-\r\n", kSectionReadOk, 0, "", "",
     "a=1", ""},
    {"second [ini] wins", "[ini]\r\na=1\r\n-\r\n[ini]\r\nb=2\r\n-\r\n", kSectionReadOk, 0, "",
     "", "b=2", ""},
    {"header switches", "[ini]\r\na=1\r\n[reg]\r\n\"n\"=\"v\"\r\n-\r\n", kSectionReadOk, 0,
     "", "", "a=1", "\"n\"=\"v\""},
    {"header with a comment", "[ini] // values\r\na=1\r\n-\r\n", kSectionReadOk, 0, "", "",
     "a=1", ""},
    {"dash closes", "[delfiles]\r\n-minus.txt\r\nafter.txt\r\n", kSectionReadOk, 0, "", "",
     "", ""},
    {"[EOF] inside is stored", "[delfiles]\r\n[EOF]\r\n-\r\n[EOF]\r\n", kSectionReadOk, 0,
     "[EOF]", "", "", ""},
    {"EOF stops", "[ini]\r\na=1\r\n-\r\nEOF\r\n[reg]\r\n", kSectionReadOk, 0, "", "", "a=1",
     ""},
    {"EOF inside a section", "[reg]\r\n\"a\"=\"b\"\r\nEOF\r\n-\r\n", kSectionReadLeftOpen,
     kSectionReg, "", "", "", "\"a\"=\"b\""},
    {"left open", "[ini]\r\na=1\r\n", kSectionReadLeftOpen, kSectionIni, "", "", "a=1", ""},
    {"markers are case-sensitive", "[INI]\r\na=1\r\n[ini]\r\neof\r\n-\r\n", kSectionReadOk, 0,
     "", "", "eof", ""},
    {"0 byte ends the text", std::string("[ini]\r\na=1\0junk\r\n-\r\n", 20), kSectionReadOk,
     0, "", "", "a=1", ""},
    {"long line is two lines", "[ini]\r\n" + std::string(511, 'a') + "=1\r\n-\r\n",
     kSectionReadOk, 0, "", "", nullptr, ""},
};

TEST_F(SectionListsTest, ReadsSections) {
  for (const ReadRow &row : kReadRows) {
    SectionLists lists = {};
    int open_section = -1;
    EXPECT_EQ(row.result, ReadSectionFile(Write(row.file).c_str(), &lists, &open_section,
                                          nullptr, nullptr))
        << row.label;
    EXPECT_EQ(row.open_section, open_section) << row.label;
    EXPECT_EQ(row.delfiles, Joined(lists.delfiles)) << row.label;
    EXPECT_EQ(row.delfiles_user, Joined(lists.delfiles_user)) << row.label;
    std::string ini = row.ini != nullptr ? row.ini : std::string(511, 'a') + "|=1";
    EXPECT_EQ(ini, Joined(lists.ini)) << row.label;
    EXPECT_EQ(row.reg, Joined(lists.reg)) << row.label;
    FreeSectionLists(&lists);
  }
}

TEST_F(SectionListsTest, ReadTrimmedLine) {
  FILE *stream = fopen(Write("abc \t\r\n   \r\n  x\r\nabcdef\n").c_str(), "rb");
  ASSERT_NE(nullptr, stream);
  char buffer[8];
  const char *expected[] = {"abc", "", "  x", "abcdef"};
  for (const char *text : expected) {
    ASSERT_NE(nullptr, ReadTrimmedLine(buffer, sizeof buffer, stream));
    EXPECT_STREQ(text, buffer);
  }
  EXPECT_EQ(nullptr, ReadTrimmedLine(buffer, sizeof buffer, stream));
  rewind(stream);
  for (int i = 0; i < 3; i++) ReadTrimmedLine(buffer, sizeof buffer, stream);
  EXPECT_STREQ("abc", ReadTrimmedLine(buffer, 4, stream));  // at most size - 1 bytes
  EXPECT_STREQ("def", ReadTrimmedLine(buffer, 4, stream));
  fclose(stream);
}

TEST_F(SectionListsTest, LoadFillsTheInstallersLists) {
  LoadSectionLists(Write("[ini]\r\na=1\r\nb=2\r\n-\r\n[reg]\r\n\"n\"=\"v\"\r\n-\r\n").c_str());
  EXPECT_EQ("a=1|b=2", Joined(GetIniLines()));
  EXPECT_EQ("\"n\"=\"v\"", Joined(GetRegLines()));
  EXPECT_EQ(nullptr, GetDelfilesLines());
  EXPECT_EQ(nullptr, GetDelfilesUserLines());
}

TEST_F(SectionListsTest, LoadFailuresEndTheProgram) {
  std::string open_reg = Write("[ini]\r\na=1\r\n-\r\n[reg]\r\n\"n\"=\"v\"\r\n");
  EXPECT_EXIT(LoadSectionLists(open_reg.c_str()), testing::ExitedWithCode(255), "\\[reg\\]");
  std::string absent = folder_ + "/absent.env";
  EXPECT_EXIT(LoadSectionLists(absent.c_str()), testing::ExitedWithCode(255), "absent.env");
}

void FailNextAllocation(const SectionLineReport *report, void *) {
  if (report->action == kSectionLineStored) SimulateAllocationFailures(1);
}

// Memory shortage: the line that cannot be stored is not, the lines before stay (ASan
// checks that nothing leaks), and the installer ends with -1.
TEST_F(SectionListsTest, MemoryShortage) {
  SectionLine *list = nullptr;
  ASSERT_EQ(0, AppendLine(&list, "one"));
  SimulateAllocationFailures(1);
  EXPECT_EQ(-1, AppendLine(&list, "two"));
  EXPECT_EQ("one", Joined(list));
  ClearLineList(&list);
  EXPECT_EQ(nullptr, list);

  std::string path = Write("[ini]\r\na=1\r\nb=2\r\nc=3\r\n-\r\n");
  SectionLists lists = {};
  int open_section = -1;
  EXPECT_EQ(kSectionReadNoMemory,
            ReadSectionFile(path.c_str(), &lists, &open_section, FailNextAllocation, nullptr));
  SimulateAllocationFailures(0);
  EXPECT_EQ("a=1", Joined(lists.ini));
  FreeSectionLists(&lists);

  EXPECT_EXIT(
      {
        SimulateAllocationFailures(1);
        LoadSectionLists(path.c_str());
      },
      testing::ExitedWithCode(255), "out of memory");
}

}  // namespace
