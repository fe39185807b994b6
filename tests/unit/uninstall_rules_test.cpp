// The uninstaller's portable decisions: which list lines it acts on, the patterns of
// [delfiles], path containment, the final box's bounded lists and the hand-over command.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "install/free_space.h"
#include "uninstall/file_list.h"
#include "uninstall/handover.h"
#include "uninstall/removal_rules.h"
#include "uninstall/report.h"

namespace {

// "ソ" is 0x83 0x5C: its trail byte is a backslash.
#define SO "\x83\x5C"

TEST(UninstallRules, CheckRemovalLine) {
  struct Row {
    const char *line;
    bool allow_pattern;
    int verdict;
    const char *out;
  } rows[] = {
      {"fernquest.ini", true, kNameOk, "fernquest.ini"},
      {"save\\*.sav", true, kNameOk, "save\\*.sav"},
      {"save/slot?.dat", true, kNameOk, "save\\slot?.dat"},
      {"data\\", false, kNameOk, "data\\"},
      {SO "\\" SO ".dat", false, kNameOk, SO "\\" SO ".dat"},
      {"..\\outside.txt", true, kNameDotComponent, ""},
      {"data\\..\\..\\win.ini", true, kNameDotComponent, ""},
      {"...\\x", true, kNameDotComponent, ""},
      {"C:\\Windows\\win.ini", true, kNameDrive, ""},
      {"c:win.ini", true, kNameDrive, ""},
      {"a.txt:stream", true, kNameDrive, ""},
      {"\\Windows\\win.ini", true, kNameAbsolute, ""},
      {"/etc/passwd", true, kNameAbsolute, ""},
      {"\\\\server\\share\\x", true, kNameAbsolute, ""},
      {"data\\\\x", true, kNameEmpty, ""},
      {"*\\x.dat", true, kNamePatternInFolder, ""},
      {"sa?e\\x.dat", true, kNamePatternInFolder, ""},
      {"*.dat", false, kNameBadCharacter, ""},
      {"NUL", true, kNameDevice, ""},
  };
  for (const Row &row : rows) {
    char out[256] = "junk";
    EXPECT_EQ(row.verdict, CheckRemovalLine(row.line, row.allow_pattern, out, sizeof out))
        << row.line;
    EXPECT_STREQ(row.out, out) << row.line;
  }
  // The longest name the extractor accepts (255 bytes), and one past it.
  std::string longest(255, 'a');
  char out[256];
  EXPECT_EQ(kNameOk, CheckRemovalLine(longest.c_str(), false, out, sizeof out));
  EXPECT_EQ(kNameTooLong, CheckRemovalLine((longest + "a").c_str(), false, out, sizeof out));
  char wide[512];  // the name's own limit, whatever room the caller gives
  EXPECT_EQ(kNameTooLong, CheckRemovalLine((longest + "a").c_str(), false, wide, sizeof wide));
  EXPECT_EQ(kNameTooLong, CheckRemovalLine(longest.c_str(), false, out, 100));
  EXPECT_STREQ("", out);
}

TEST(UninstallRules, MatchNamePattern) {
  struct Row {
    const char *pattern;
    const char *name;
    bool match;
  } rows[] = {
      {"*.sav", "slot1.sav", true},
      {"*.sav", "SLOT1.SAV", true},
      {"*.sav", "slot1.sav.bak", false},
      {"*.sav", ".sav", true},
      {"slot?.dat", "slot1.dat", true},
      {"slot?.dat", "slot12.dat", false},
      {"slot?.dat", "slot.dat", false},
      {"?.dat", SO ".dat", true},          // a double-byte character is one character
      {"??.dat", SO ".dat", false},
      {SO "*", SO "abc", true},
      {"*\\", SO, false},                   // the trail byte is no backslash
      {"*a*b", "xxaYYb", true},
      {"*a*b", "xxaYYbc", false},
      {"a**b", "ab", true},
      {"*", "", true},
      {"", "", true},
      {"a", "", false},
      {"", "a", false},
      {"*?*?*?*?*?*?*?*?*?*?x", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (const Row &row : rows) {
    EXPECT_EQ(row.match, MatchNamePattern(row.pattern, row.name))
        << row.pattern << " / " << row.name;
  }
}

TEST(UninstallRules, PathPointsInto) {
  struct Row {
    const char *path;
    const char *folder;
    bool inside;
  } rows[] = {
      {"C:\\Games\\Fern\\fern.exe", "C:\\Games\\Fern", true},
      {"c:\\games\\FERN\\UnInst.exe", "C:\\Games\\Fern\\", true},
      {"C:\\Games\\Fern", "C:\\Games\\Fern", true},
      {"C:/Games/Fern/fern.exe", "C:\\Games\\Fern", true},
      {"C:\\Games\\Fern2\\fern.exe", "C:\\Games\\Fern", false},
      {"C:\\Games", "C:\\Games\\Fern", false},
      {"D:\\Games\\Fern\\fern.exe", "C:\\Games\\Fern", false},
      {"C:\\" SO "\\a.exe", "C:\\" SO, true},
      {"C:\\" SO "x\\a.exe", "C:\\" SO, false},
      {"C:\\x", "", false},
  };
  for (const Row &row : rows) {
    EXPECT_EQ(row.inside, PathPointsInto(row.path, row.folder)) << row.path << " in " << row.folder;
  }
}

// The final paths that Windows gives for an open file, against the InstallFolder's own
// path and a listed name: anything a link turned elsewhere must differ.
TEST(UninstallRules, FinalPathsAndSharedFolders) {
  struct PlainRow {
    const char *final_path;
    const char *plain;
  } plain_rows[] = {
      {"\\\\?\\C:\\Games\\Fern", "C:\\Games\\Fern"},
      {"\\\\?\\UNC\\server\\share\\Fern", "\\\\server\\share\\Fern"},
      {"\\\\?\\unc\\server\\share", "\\\\server\\share"},
      {"C:\\Games", "C:\\Games"},
      {"\\\\?\\Volume{1234}\\Fern", "\\\\?\\Volume{1234}\\Fern"},
      {"\\\\?", "\\\\?"},
  };
  for (const PlainRow &row : plain_rows) {
    char out[64] = "junk";
    EXPECT_EQ(0, PlainFinalPath(row.final_path, out, sizeof out)) << row.final_path;
    EXPECT_STREQ(row.plain, out) << row.final_path;
  }
  char small[8] = "junk";
  EXPECT_EQ(-1, PlainFinalPath("\\\\?\\C:\\Games", small, sizeof small));
  EXPECT_STREQ("", small);

  struct PathRow {
    const char *final_path;
    const char *folder;
    const char *relative;
    bool same;
  } path_rows[] = {
      {"\\\\?\\C:\\Games\\Fern\\save\\a.sav", "C:\\Games\\Fern", "save\\a.sav", true},
      {"\\\\?\\c:\\GAMES\\fern\\SAVE\\A.SAV", "C:\\Games\\Fern\\", "save\\a.sav", true},
      {"C:\\Games\\Fern", "C:\\Games\\Fern", "", true},
      {"\\\\?\\UNC\\srv\\sh\\Fern\\a.dat", "\\\\srv\\sh\\Fern", "a.dat", true},
      {"\\\\?\\C:\\a.dat", "C:\\", "a.dat", true},
      {"\\\\?\\C:\\" SO "\\" SO ".dat", "C:\\" SO, SO ".dat", true},
      // A link "save" to another user's documents, a linked file, a linked folder.
      {"\\\\?\\C:\\Users\\other\\Documents\\a.sav", "C:\\Games\\Fern", "save\\a.sav", false},
      {"\\\\?\\Z:\\tmp\\outside\\readme.txt", "C:\\Games\\Fern", "readme.txt", false},
      {"\\\\?\\C:\\Games\\Fern\\data2\\music.ogg", "C:\\Games\\Fern", "data\\music.ogg", false},
      {"\\\\?\\C:\\Games\\Fern\\save\\a.sav\\x", "C:\\Games\\Fern", "save\\a.sav", false},
      {"\\\\?\\C:\\Games\\Fern\\save", "C:\\Games\\Fern", "save\\a.sav", false},
      {"\\\\?\\C:\\Games\\Fern2\\a.sav", "C:\\Games\\Fern", "a.sav", false},
      {"\\\\?\\D:\\Games\\Fern\\a.sav", "C:\\Games\\Fern", "a.sav", false},
      {"\\\\?\\C:\\" SO "x\\a.dat", "C:\\" SO, "a.dat", false},
      {"C:\\a.dat", "", "a.dat", false},
  };
  for (const PathRow &row : path_rows) {
    EXPECT_EQ(row.same, IsPathOf(row.final_path, row.folder, row.relative))
        << row.final_path << " as " << row.folder << " + " << row.relative;
  }

  const char *shared[] = {"C:\\Program Files", "\\\\?\\C:\\Program Files (x86)\\",
                          "C:\\Users\\player", "C:\\Users", "C:\\Users\\player\\Documents",
                          "Z:\\root", ""};
  const char *inside[] = {"C:\\Windows", ""};
  struct SharedRow {
    const char *folder;
    bool shared;
  } shared_rows[] = {
      {"C:\\", true},
      {"\\\\?\\C:\\", true},
      {"c:", true},
      {"\\\\?\\UNC\\server\\share\\", true},
      {"\\\\server\\share", true},
      {"\\\\?\\Volume{1234}\\", true},
      {"", true},
      {"C:\\Program Files", true},
      {"\\\\?\\c:\\program files\\", true},
      {"C:\\Program Files (x86)", true},
      {"C:\\Users", true},
      {"C:\\Users\\Player", true},
      {"C:\\Users\\player\\Documents", true},
      {"\\\\?\\Z:\\root", true},            // a user folder that is a link, resolved
      {"C:\\Windows", true},
      {"C:\\Windows\\System32", true},
      {"C:\\Games", false},
      {"C:\\Program Files\\Fern Soft\\Fern", false},
      {"C:\\Users\\player\\Documents\\Games\\Fern", false},
      {"\\\\server\\share\\Games", false},
      {"C:\\Windows2", false},
      {"Z:\\root2", false},
  };
  for (const SharedRow &row : shared_rows) {
    EXPECT_EQ(row.shared, IsSharedFolder(row.folder, shared, 7, inside, 2)) << row.folder;
  }
}

TEST(UninstallRules, WordsAndParts) {
  char word[16];
  EXPECT_EQ(0, FirstWord("fernquest.ini\t// comment", word, sizeof word));
  EXPECT_STREQ("fernquest.ini", word);
  EXPECT_EQ(0, FirstWord("  save\\*.sav x", word, sizeof word));
  EXPECT_STREQ("save\\*.sav", word);
  EXPECT_EQ(-1, FirstWord(" \t ", word, sizeof word));
  EXPECT_EQ(0, FirstWord("123456789012345", word, sizeof word));
  EXPECT_EQ(-2, FirstWord("1234567890123456", word, sizeof word));

  char folder[64];
  char last[64];
  SplitLastComponent("a\\b/c.txt", folder, sizeof folder, last, sizeof last);
  EXPECT_STREQ("a\\b", folder);
  EXPECT_STREQ("c.txt", last);
  SplitLastComponent(SO ".dat", folder, sizeof folder, last, sizeof last);
  EXPECT_STREQ("", folder);
  EXPECT_STREQ(SO ".dat", last);

  EXPECT_EQ(0, NameDepth(SO "x"));
  EXPECT_EQ(2, NameDepth("a\\b/c"));
  EXPECT_TRUE(HasWildcard("a*"));
  EXPECT_FALSE(HasWildcard("ab"));

  char command[] = "\"C:\\Program Files\\Fern\\UnInst.exe\"";
  StripQuotes(command);
  EXPECT_STREQ("C:\\Program Files\\Fern\\UnInst.exe", command);
  char bare[] = "\"";
  StripQuotes(bare);
  EXPECT_STREQ("\"", bare);
}

TEST(UninstallRules, FileListLines) {
  EXPECT_EQ(kListNothing, ClassifyListLine(""));
  EXPECT_EQ(kListNothing, ClassifyListLine("; comment"));
  EXPECT_EQ(kListFile, ClassifyListLine("data\\a.dat"));
  EXPECT_EQ(kListFolder, ClassifyListLine("data\\"));
  EXPECT_EQ(kListFile, ClassifyListLine(SO));  // ends with a trail byte, not a folder
  EXPECT_TRUE(IsUninstallerOwnFile("uninst.EXE"));
  EXPECT_TRUE(IsUninstallerOwnFile("UnInst.lst"));
  EXPECT_TRUE(IsUninstallerOwnFile("INSTALL.ENV"));
  EXPECT_FALSE(IsUninstallerOwnFile("data\\UnInst.exe"));

  // The mark counts only as a whole line among the opening comments.
  std::string mark = kOwnUninstallerMark;
  std::string marked = std::string(kFileListHeader) + mark + "UnInst.exe\r\n";
  EXPECT_TRUE(ListMarksOwnUninstaller(marked.data(), marked.size()));
  EXPECT_TRUE(ListMarksOwnUninstaller(mark.data(), mark.size()));
  EXPECT_FALSE(ListMarksOwnUninstaller(mark.data(), mark.size() - 1)) << "cut short";
  std::string after_name = std::string(kFileListHeader) + "UnInst.exe\r\n" + mark;
  EXPECT_FALSE(ListMarksOwnUninstaller(after_name.data(), after_name.size()));
  std::string inside = "; x " + mark;
  EXPECT_FALSE(ListMarksOwnUninstaller(inside.data(), inside.size()));
  EXPECT_FALSE(ListMarksOwnUninstaller("", 0));

  // The sizes for the free-space check: only with the note, every file with its size.
  struct Row {
    const char *label;
    std::string body;  // after the header
    int result;
    uint64_t total;
  } rows[] = {
      {"sizes", std::string(kFileSizesNote) + ";=1\r\na.txt\r\ndata\\\r\n;=4097\r\ndata\\b\r\n", 0,
       3 * 4096},
      {"no note", ";=1\r\na.txt\r\n", -1, 0},
      {"a file without size", std::string(kFileSizesNote) + ";=1\r\na.txt\r\nb.txt\r\n", -1, 0},
      {"not a number", std::string(kFileSizesNote) + ";=1x\r\na.txt\r\n", -1, 0},
      {"empty size", std::string(kFileSizesNote) + ";=\r\na.txt\r\n", -1, 0},
      {"past 64 bits", std::string(kFileSizesNote) + ";=18446744073709551616\r\na.txt\r\n", -1, 0},
      {"the largest size", std::string(kFileSizesNote) + ";=18446744073709547520\r\na.txt\r\n", 0,
       18446744073709547520ull},
      {"zero files", std::string(kFileSizesNote), 0, 0},
      {"LF only, no last line end", std::string(kFileSizesNote) + ";=5\na.txt", 0, 4096},
  };
  for (const Row &row : rows) {
    std::string text = std::string(kFileListHeader) + row.body;
    uint64_t total = 99;
    EXPECT_EQ(row.result, SumListGrowth(text.data(), text.size(), nullptr, nullptr, &total))
        << row.label;
    if (row.result == 0) {
      EXPECT_EQ(row.total, total) << row.label;
    }
  }
  // A file already in place counts only what grows.
  std::string text = std::string(kFileListHeader) + kFileSizesNote + ";=8192\r\na.txt\r\n;=10\r\nb\r\n";
  ExistingSize a_is_there = [](void *, const char *name) -> uint64_t {
    return strcmp(name, "a.txt") == 0 ? 5000 : 0;
  };
  uint64_t total = 0;
  ASSERT_EQ(0, SumListGrowth(text.data(), text.size(), a_is_there, nullptr, &total));
  EXPECT_EQ(4096u, total);
}

TEST(UninstallReport, KeepsWithinItsBufferAndCountsTheRest) {
  RemovalReport report;
  StartReport(&report);
  EXPECT_STREQ("", ReportText(&report));
  AddReportEntry(&report, "fern.exe", "（使用中）");
  EXPECT_STREQ("  fern.exe（使用中）\n", ReportText(&report));
  std::string entry(40, 'x');
  for (int i = 0; i < 20; i++) AddReportEntry(&report, entry.c_str(), "");
  const char *text = ReportText(&report);
  EXPECT_LT(strlen(text), (size_t)kReportSize);
  EXPECT_EQ(21, report.entries);
  ASSERT_GT(report.left_out, 0);
  std::string tail = "  ほか " + std::to_string(report.left_out) + " 件\n";
  std::string all = text;
  EXPECT_EQ(tail, all.substr(all.size() - tail.size()));
  // Every shown entry is whole.
  EXPECT_EQ((size_t)(21 - report.left_out - 1), (all.size() - tail.size() -
                                                  strlen("  fern.exe（使用中）\n")) / 43);

  // A line that leaves exactly the reserve for the count is shown, and then nothing more
  // is; one byte longer, it is counted and a short one after it still shown.
  size_t fill = kReportSize - kReportTailSize - 1 - strlen("  \n");
  for (size_t extra : {(size_t)0, (size_t)1}) {
    StartReport(&report);
    std::string line(fill + extra, 'y');
    AddReportEntry(&report, line.c_str(), "");
    AddReportEntry(&report, "z", "");
    std::string shown = extra == 0 ? "  " + line + "\n" : "  z\n";
    EXPECT_EQ(shown + "  ほか 1 件\n", ReportText(&report)) << extra;
  }
}

TEST(UninstallHandover, CommandRoundTripAndRefusals) {
  HandoverOrder order = {4886718345ull, 1, "C:\\Program Files\\Fern Soft\\" SO};
  char command[kCommandSize];
  ASSERT_EQ(0, FormatHandoverCommand(command, sizeof command,
                                     "C:\\users\\me\\Temp\\UnInst_0000002A.exe", &order));
  HandoverOrder read = {0, 0, ""};
  ASSERT_EQ(1, ParseHandoverCommand(command, &read));
  EXPECT_EQ(4886718345ull, read.process);  // past 32 bits
  EXPECT_EQ(1, read.saved_games);
  EXPECT_STREQ(order.folder, read.folder);

  // 0: not the copy's command line; -1: the copy's switch with an order not to follow.
  struct Row {
    const char *command;
    int parsed;
  } rows[] = {
      {"\"C:\\Game\\UnInst.exe\"", 0},
      {"C:\\Game\\UnInst.exe", 0},
      {"UnInst.exe /fern-uninstall 12 0 \"C:\\Game\"", 1},
      {"UnInst.exe  /fern-uninstall\t12  0   \"C:\\Game\"  ", 1},
      {"UnInst.exe /fern-uninstallx 12 0 \"C:\\Game\"", 0},
      {"UnInst.exe /fern-uninstall 12 2 \"C:\\Game\"", -1},
      {"UnInst.exe /fern-uninstall x 0 \"C:\\Game\"", -1},
      {"UnInst.exe /fern-uninstall 12 0 C:\\Game", -1},
      {"UnInst.exe /fern-uninstall 12 0 \"C:\\Game", -1},
      {"UnInst.exe /fern-uninstall 12 0 \"C:\\Game\" more", -1},
      {"UnInst.exe /fern-uninstall 12 0\"C:\\Game\"", -1},
      {"UnInst.exe /fern-uninstall 12345678901234567890 0 \"C:\\Game\"", -1},  // 20 digits
      {"UnInst.exe /fern-uninstall 12 0 \"\"", -1},
      // The folder: absolute, below a drive's root, no step up or aside.
      {"u /fern-uninstall 1 0 \"..\\..\"", -1},
      {"u /fern-uninstall 1 0 \"Game\"", -1},
      {"u /fern-uninstall 1 0 \"C:\"", -1},
      {"u /fern-uninstall 1 0 \"C:\\\"", -1},
      {"u /fern-uninstall 1 0 \"C:Game\"", -1},
      {"u /fern-uninstall 1 0 \"\\\\server\\share\\Game\"", -1},
      {"u /fern-uninstall 1 0 \"C:\\Games\\..\"", -1},
      {"u /fern-uninstall 1 0 \"C:\\Games\\.\\Game\"", -1},
      {"u /fern-uninstall 1 0 \"C:\\Games\\\\Game\"", -1},
      {"u /fern-uninstall 1 0 \"C:\\Games\\Game:stream\"", -1},
      {"u /fern-uninstall 1 0 \"C:\\Games\\NUL\"", -1},
      {"u /fern-uninstall 1 0 \"d:\\" SO "\\" SO "\"", 1},
  };
  for (const Row &row : rows) {
    EXPECT_EQ(row.parsed, ParseHandoverCommand(row.command, &read)) << row.command;
  }
  // A folder of 259 bytes fits; 260 does not.
  std::string folder = "C:\\" + std::string(128, 'f') + "\\" + std::string(127, 'f');
  std::string command_line = "u /fern-uninstall 1 0 \"" + folder + "\"";
  EXPECT_EQ(1, ParseHandoverCommand(command_line.c_str(), &read));
  command_line = "u /fern-uninstall 1 0 \"" + folder + "f\"";
  EXPECT_EQ(-1, ParseHandoverCommand(command_line.c_str(), &read));
  // 19 digits are read whole.
  EXPECT_EQ(1, ParseHandoverCommand("u /fern-uninstall 9999999999999999999 0 \"C:\\G\"", &read));
  EXPECT_EQ(9999999999999999999ull, read.process);
  // The command with its terminator fits exactly; one byte less does not.
  size_t whole = strlen(command) + 1;
  const char *copy = "C:\\users\\me\\Temp\\UnInst_0000002A.exe";
  EXPECT_EQ(0, FormatHandoverCommand(command, whole, copy, &order));
  EXPECT_EQ(-1, FormatHandoverCommand(command, whole - 1, copy, &order));
}

}  // namespace
