#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "tests/unit/fernpack_fixture.h"
#include "tools/fernpack/lint.h"

namespace {

// A settings file without faults; each row below adds one.
const std::string kBase =
    "REG_GLOBAL\tMaker\r\nREG_LOCAL\tGame\r\nINI_FILE\tgame.ini\r\nINI_SECTION\tS\r\n"
    "TITLEBAR\tゲーム\r\nINSTREADME\tお読み|ください\r\nINSTTO\tGame\r\nEXENAME\tgame.exe\r\n";
const int kBaseLines = 8;

struct FaultRow {
  const char *label;
  std::string added;     // appended to kBase
  int line;              // expected line, counted in `added` (0: expect no finding)
  bool error;
  const char *contains;  // in the message
};

std::string Many(int count, const std::string &line) {
  std::string text;
  for (int i = 0; i < count; i++) text += line;
  return text;
}

const FaultRow kFaultRows[] = {
    {"clean additions", "INSTMAKEFOL\t1 // make folders\r\n[delfiles]\r\nreadme.txt\t// doc\r\n"
                        "-\t// end\r\n[EOF]\r\nnotes after the end\r\n", 0, false, ""},
    {"typo", "TITLEBR\tX\r\n", 1, false, "did you mean TITLEBAR?"},
    {"wrong case", "ExeName\tX\r\n", 1, false, "EXENAME? keys are case-sensitive"},
    {"unknown key", "COLOR\tred\r\n", 1, false, "unknown key 'COLOR'"},
    {"words dropped", "INSTFOL\tFern Quest\r\n", 1, false, "write 'Fern|Quest'"},
    {"equals sign", "INSTTO=Quest\r\n", 1, false, "without '='"},
    {"no value", "EXENAME\r\n", 1, false, "EXENAME has no value"},
    {"set twice", "\r\nTITLEBAR\tOther\r\n", 2, false, "value from line 5"},
    {"after [EOF]", "[EOF]\r\nINSTTO\tLate\r\n", 2, false, "stops reading keys at [EOF] on line 9"},
    {"beyond 400", Many(392, "//\r\n") + "INSTTO\tLate\r\n", 393, false, "first 400 lines"},
    {"left open", "[reg]\r\n\"a\"=\"b\"\r\n", 1, true, "[reg] is never closed"},
    {"open at EOF", "[ini]\r\na=1\r\nEOF\r\n-\r\n", 1, true,
     "before the line beginning with 'EOF' on line 11"},
    {"ini without =", "[ini]\r\nPath REP_INSTALL\r\n-\r\n", 2, false, "has no '='"},
    {"reg passed over", "[reg]\r\n\"a\"=dword:1\r\n-\r\n", 2, false, "has no '\"=\"'"},
    {"header again", "[ini]\r\na=1\r\n-\r\n[ini]\r\nb=2\r\n-\r\n", 4, false, "appears again"},
    {"sections after EOF", "EOF\r\n[reg]\r\n\"a\"=\"b\"\r\n-\r\n", 2, false, "[reg] is never read"},
    {"bad header", "[Reg]\r\n", 1, false, "not a section header"},
    {"key in a section", "[delfiles]\r\nINSTFOL\tx\r\n-\r\n", 2, false, "also read as"},
    {"long line", "[delfiles]\r\n" + std::string(600, 'x') + "\r\n-\r\n", 2, false,
     "longer than 511"},
    {"invalid Shift-JIS", "// \x82\r\n", 1, true, "not valid Shift-JIS"},
    {"indented key", "\tINST_GROUP\tMaker\r\n", 1, false, "begins with a blank"},
    {"indented section line", "[delfiles]\r\n  save.dat\r\n-\r\n", 0, false, ""},
    {"CR-only line ends", "// one\rtwo\r\n", 1, true, "carriage return alone"},
    {"value at the buffer", "INSTFOL\t" + std::string(127, 'v') + "\r\n", 0, false, ""},
    {"value past the buffer", "INSTFOL\t" + std::string(128, 'v') + "\r\n", 1, true,
     "keeps only the first 127"},
    {"help file past its buffer", "HELP_FILE\t" + std::string(260, 'h') + "\r\n", 1, true,
     "keeps only the first 259"},
};

// Faults of the first lines and of the file as a whole, each alone in a file.
struct FileRow {
  const char *label;
  std::string file;
  int line;
  bool error;
  const char *contains;
};

const std::string kKeys = "TITLEBAR\tG\r\nINSTTO\tG\r\nEXENAME\tg.exe\r\n";

const FileRow kFileRows[] = {
    {"empty file", "", 0, true, "the file is empty"},
    {"blank file", "\r\n \r\n", 0, true, "the file is empty"},
    {"no TITLEBAR", "INSTTO\tG\r\nEXENAME\tg.exe\r\n", 0, false, "TITLEBAR is not set"},
    {"no INSTTO", "TITLEBAR\tG\r\nEXENAME\tg.exe\r\n", 0, false, "INSTTO is not set"},
    {"no EXENAME", "TITLEBAR\tG\r\nINSTTO\tG\r\n", 0, false, "EXENAME is not set"},
    {"backslash in the title", "TITLEBAR\tA\\B\r\nINSTTO\tG\r\nEXENAME\tg.exe\r\n", 1, true,
     "TITLEBAR holds a backslash"},
    // "ソ" is 83 5C: its trail byte is no backslash.
    {"0x5C trail byte in the title", "TITLEBAR\tソ\r\nINSTTO\tG\r\nEXENAME\tg.exe\r\n", 0,
     false, ""},
    {"byte order mark", "\xEF\xBB\xBF" "// ゲーム\r\n" + kKeys, 1, true, "byte order mark"},
};

TEST(Lint, FirstLinesAndWholeFile) {
  for (const FileRow &row : kFileRows) {
    std::vector<LintFinding> findings;
    std::string error;
    ASSERT_TRUE(LintSettingsText(row.file, nullptr, &findings, &error)) << error;
    if (row.contains[0] == '\0') {
      EXPECT_TRUE(findings.empty()) << row.label;
      continue;
    }
    // The finding itself, once, and no other error (a byte order mark also makes the
    // first key unknown, which is a warning of its own).
    int matching = 0, other_errors = 0;
    for (const LintFinding &f : findings) {
      if (f.message.find(row.contains) != std::string::npos) {
        matching++;
        EXPECT_EQ(row.line, f.line) << row.label;
        EXPECT_EQ(row.error, f.error) << row.label;
      } else {
        other_errors += f.error;
      }
    }
    EXPECT_EQ(1, matching) << row.label;
    EXPECT_EQ(0, other_errors) << row.label;
  }
}

std::set<std::string> g_package_files = {"readme.txt", "Manual.html", "doc\\notes.txt"};

bool InPackage(const std::string &name) {
  for (const std::string &file : g_package_files) {
    if (SameEntryName(file, name)) return true;
  }
  return false;
}

std::vector<LintFinding> Lint(const std::string &bytes) {
  std::vector<LintFinding> findings;
  std::string error;
  EXPECT_TRUE(LintSettingsText(bytes, InPackage, &findings, &error)) << error;
  return findings;
}

std::string Describe(const std::vector<LintFinding> &findings) {
  std::string text;
  for (const LintFinding &f : findings) text += FormatLintFinding("install.env", f) + "\n";
  return text;
}

// Each fault gives exactly one finding, on its line, of its severity.
TEST(Lint, EachFaultIsReportedOnce) {
  for (const FaultRow &row : kFaultRows) {
    std::vector<LintFinding> findings = Lint(kBase + row.added);
    if (row.line == 0) {
      EXPECT_TRUE(findings.empty()) << row.label << "\n" << Describe(findings);
      continue;
    }
    ASSERT_EQ(1u, findings.size()) << row.label << "\n" << Describe(findings);
    EXPECT_EQ(kBaseLines + row.line, findings[0].line) << row.label;
    EXPECT_EQ(row.error, findings[0].error) << row.label;
    EXPECT_NE(std::string::npos, findings[0].message.find(row.contains))
        << row.label << ": " << findings[0].message;
  }
}

TEST(Lint, FileWideChecks) {
  struct Row {
    const char *label;
    std::string file;
    const char *contains;  // "" for no finding
  } rows[] = {
      {"saved as UTF-8", "TITLEBAR\t\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0\r\n", "saved as UTF-8"},
      {"readme missing", "INSTREADME\tRead\r\nINSTREADMEFL\tgone.txt\r\n",
       "not in the game folder"},
      {"readme file by default", "INSTREADME\tRead\r\n", ""},
      {"readme case differs", "INSTREADME\tRead\r\nINSTREADMEFL\tREADME.TXT\r\n", ""},
      {"readme not unpacked", "INSTREADME\tRead\r\nINSTREADMEFL\tmanual.html\r\n", "not unpacked"},
      {"readme in a folder", "INSTREADME\tRead\r\nINSTREADMEFL\tdoc\\notes.txt\r\n",
       "not unpacked"},
      {"no readme label", "INSTREADME\t-\r\nINSTREADMEFL\tgone.txt\r\n", ""},
      {"ini transfer off", "INI_FILE\t-\r\n[ini]\r\na=1\r\n-\r\n", "never written"},
      {"reg transfer off", "[reg]\r\n\"a\"=\"b\"\r\n-\r\n", "never written"},
  };
  for (const Row &row : rows) {
    std::string file = row.file.rfind("TITLEBAR", 0) == 0
                           ? "INSTTO\tG\r\nEXENAME\tg.exe\r\n" + row.file
                           : kKeys + row.file;
    std::vector<LintFinding> findings = Lint(file);
    if (row.contains[0] == '\0') {
      EXPECT_TRUE(findings.empty()) << row.label << "\n" << Describe(findings);
    } else {
      ASSERT_EQ(1u, findings.size()) << row.label << "\n" << Describe(findings);
      EXPECT_NE(std::string::npos, findings[0].message.find(row.contains)) << row.label;
    }
  }
}

// fernpack itself, as a publisher's script runs it.
class FernpackTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/fern_lint_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  void Write(const std::string &name, const std::string &bytes) {
    std::filesystem::create_directories(std::filesystem::path(folder_ + "/" + name).parent_path());
    std::ofstream(folder_ + "/" + name, std::ios::binary) << bytes;
  }
  // Exit status; stdout in *out, stderr in *err.
  int Run(const std::string &arguments, std::string *out, std::string *err = nullptr) {
    std::string err_path = folder_ + "/stderr.txt";
    std::string command = std::string(FERNPACK_PATH) + " " + arguments + " 2>" + err_path;
    FILE *pipe = popen(command.c_str(), "r");
    out->clear();
    char block[4096];
    size_t n;
    while ((n = fread(block, 1, sizeof block, pipe)) > 0) out->append(block, n);
    int status = pclose(pipe);
    if (err != nullptr) {
      std::ifstream in(err_path, std::ios::binary);
      err->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string folder_;
};

TEST_F(FernpackTest, SampleIsClean) {
  std::string out;
  std::string path = std::string(FERN_SOURCE_DIR) + "/sample/game/install.env";
  EXPECT_EQ(0, Run("lint " + path, &out));
  EXPECT_EQ(path + ": 0 errors, 0 warnings\n", out);
}

TEST_F(FernpackTest, ExitStatusAndQuiet) {
  const std::string keys = "TITLEBAR\tA\r\nINSTTO\tG\r\nEXENAME\tg.exe\r\n";
  Write("warn/install.env", keys + "COLOR\tred\r\n");
  Write("fail/install.env", keys + "COLOR\tred\r\n[ini]\r\n");
  std::string out;
  // Any finding fails the run; --quiet reports and fails on errors only.
  EXPECT_EQ(1, Run("lint " + folder_ + "/warn/install.env", &out));
  EXPECT_NE(std::string::npos, out.find("install.env:4: warning: unknown key 'COLOR'")) << out;
  EXPECT_EQ(0, Run("lint --quiet " + folder_ + "/warn/install.env", &out));
  EXPECT_EQ(folder_ + "/warn/install.env: 0 errors, 1 warning\n", out);
  EXPECT_EQ(1, Run("lint --quiet " + folder_ + "/fail/install.env", &out));
  EXPECT_EQ(folder_ + "/fail/install.env:5: error: [ini] is never closed by a line beginning "
                      "with '-': the installer stops with an error\n" +
                folder_ + "/fail/install.env: 1 error, 1 warning: fernpack pack refuses this "
                          "file\n", out);
  // The readme is looked up beside the settings file, without regard to case.
  Write("readme/install.env", keys + "INSTREADME\tRead\r\nINSTREADMEFL\treadme.txt\r\n");
  EXPECT_EQ(1, Run("lint " + folder_ + "/readme/install.env", &out));
  EXPECT_NE(std::string::npos, out.find("not in the game folder")) << out;
  Write("readme/ReadMe.TXT", "hello");
  EXPECT_EQ(0, Run("lint " + folder_ + "/readme/install.env", &out));
  EXPECT_EQ(folder_ + "/readme/install.env: 0 errors, 0 warnings\n", out);
}

const std::string kPicture = OnePixelPicture();

TEST_F(FernpackTest, PackRefusesWhatWouldStopTheInstaller) {
  Write("stub.exe", MinimalStub());
  const std::string good = "TITLEBAR\tGame\r\nINSTTO\tG\r\nEXENAME\tg.exe\r\nCOLOR\tred\r\n[ini]\r\na=1\r\n-\r\n";
  struct Row {
    const char *label;
    const char *settings_name;  // null: none
    std::string settings;
    const char *picture_name;   // null: none
    int status;
    const char *contains;       // in stderr
  } rows[] = {
      {"warnings only", "install.env", good, "insttscr.rct", 0, "unknown key 'COLOR'"},
      {"names without case", "INSTALL.ENV", good, "InstTscr.rct", 0, ""},
      {"open section", "install.env", "[reg]\r\n\"a\"=\"b\"\r\n", "insttscr.rct", 1,
       "[reg] is never closed"},
      {"no install.env", nullptr, "", "insttscr.rct", 1, "no install.env"},
      {"install.env not at the top", "data/install.env", good, "insttscr.rct", 1,
       "no install.env"},
      {"no picture", "install.env", good, nullptr, 1, "no menu picture"},
  };
  int n = 0;
  for (const Row &row : rows) {
    std::string game = "game" + std::to_string(n++);
    Write(game + "/data.bin", "data");
    if (row.settings_name != nullptr) Write(game + "/" + row.settings_name, row.settings);
    if (row.picture_name != nullptr) Write(game + "/" + row.picture_name, kPicture);
    std::string output = folder_ + "/" + game + ".exe";
    std::string out, err;
    EXPECT_EQ(row.status, Run("pack " + folder_ + "/" + game + " -o " + output + " --stub " +
                                  folder_ + "/stub.exe --quiet", &out, &err))
        << row.label << "\n" << err;
    EXPECT_NE(std::string::npos, err.find(row.contains)) << row.label << "\n" << err;
    EXPECT_EQ(row.status == 0, std::filesystem::exists(output)) << row.label;
  }
}

}  // namespace
