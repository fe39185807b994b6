#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "install/folder_rules.h"
#include "support/sjis.h"

namespace {

// "ソ" is 0x83 0x5C: its trail byte is a backslash.
const FolderSettings kMakerTitle = {"C:\\WINDOWS", "Maker", "Title", 1};
const FolderSettings kTitleOnly = {"C:\\WINDOWS", nullptr, "Title", 0};

TEST(FolderProposal, BuildsFromWindowsDriveAndSettings) {
  struct Row {
    const char *label;
    FolderSettings settings;
    const char *expected;
  } rows[] = {
      {"maker and title", kMakerTitle, "C:\\Program Files\\Maker\\Title"},
      {"no INSTFOL", kTitleOnly, "C:\\Program Files\\Title"},
      {"Windows on D", {"D:\\WINNT\\system", nullptr, "T", 0}, "D:\\Program Files\\T"},
      {"no backslash", {"C:", nullptr, "Title", 0}, "Program Files\\Title"},
      {"trail byte is no cut", {"C:ソ\\W", nullptr, "T", 0}, "C:ソ\\Program Files\\T"},
  };
  for (const Row &row : rows) {
    char candidate[kPathSize];
    ASSERT_EQ(0, BuildProposedFolder(candidate, sizeof candidate, &row.settings)) << row.label;
    EXPECT_STREQ(row.expected, candidate) << row.label;
  }
}

TEST(FolderProposal, RefusesWhatDoesNotFit) {
  // "C:\\Program Files\\" is 17 bytes: an INSTTO of 242 fills 259 bytes exactly.
  std::string title(242, 't');
  FolderSettings settings = {"C:\\WINDOWS", nullptr, title.c_str(), 0};
  char candidate[kPathSize];
  ASSERT_EQ(0, BuildProposedFolder(candidate, sizeof candidate, &settings));
  EXPECT_EQ(259u, strlen(candidate));
  title += 't';
  settings.inst_to = title.c_str();
  EXPECT_EQ(-1, BuildProposedFolder(candidate, sizeof candidate, &settings));
  EXPECT_STREQ("", candidate);
  // A buffer that holds the drive's root "C:\\" but not its terminator: nothing is written
  // past it.
  char three[8] = "xxxxxxx";
  EXPECT_EQ(-1, BuildProposedFolder(three, 3, &kTitleOnly));
  EXPECT_STREQ("", three);
  EXPECT_EQ('x', three[3]);
}

TEST(FolderBrowse, AppendsMakerUnlessPickedAndAlwaysTitle) {
  struct Row {
    const char *picked;
    const FolderSettings *settings;
    const char *expected;
  } rows[] = {
      {"D:\\Games", &kMakerTitle, "D:\\Games\\Maker\\Title"},
      {"D:\\", &kMakerTitle, "D:\\Maker\\Title"},
      {"D:\\Maker", &kMakerTitle, "D:\\Maker\\Title"},
      {"D:\\Games", &kTitleOnly, "D:\\Games\\Title"},
      // The trail byte 0x5C is not a separator, so one is still added.
      {"D:\\ソ", &kTitleOnly, "D:\\ソ\\Title"},
  };
  for (const Row &row : rows) {
    char candidate[kPathSize] = "before";
    ASSERT_EQ(0, ApplyBrowsedFolder(candidate, sizeof candidate, row.picked, row.settings));
    EXPECT_STREQ(row.expected, candidate) << row.picked;
  }
}

TEST(FolderBrowse, PickThatDoesNotFitLeavesCandidate) {
  // "\\Maker\\Title" adds 12 bytes: a 247-byte pick fills 259 bytes.
  std::string picked = "D:\\" + std::string(244, 'g');
  char candidate[kPathSize] = "before";
  ASSERT_EQ(0, ApplyBrowsedFolder(candidate, sizeof candidate, picked.c_str(), &kMakerTitle));
  EXPECT_EQ(259u, strlen(candidate));
  picked += 'g';
  CopyText(candidate, "before", sizeof candidate);
  EXPECT_EQ(-1, ApplyBrowsedFolder(candidate, sizeof candidate, picked.c_str(), &kMakerTitle));
  EXPECT_STREQ("before", candidate);
}

struct NormaliseRow {
  const char *label;
  const char *input;
  const FolderSettings *settings;
  FolderVerdict verdict;
  const char *expected;  // checked for kFolderAccepted only
};

const NormaliseRow kNormaliseRows[] = {
    {"slashes", "d:/games/title", &kTitleOnly, kFolderAccepted, "d:\\games\\title"},
    {"final backslash", "D:\\Games\\", &kTitleOnly, kFolderAccepted, "D:\\Games"},
    {"server share", "\\\\server\\share", &kTitleOnly, kFolderNetwork, nullptr},
    {"doubled separator", "C:\\Games\\\\Title", &kTitleOnly, kFolderNetwork, nullptr},
    // The first pair begins on ソ's trail byte, so it passes; only that pair is examined,
    // so the real doubled separator after it passes too, and goes as Windows drops it.
    {"trail byte pair", "C:\\ソ\\x", &kTitleOnly, kFolderAccepted, "C:\\ソ\\x"},
    {"first pair only", "C:\\ソ\\\\x", &kTitleOnly, kFolderAccepted, "C:\\ソ\\x"},
    {"trail byte kept", "C:\\ソ", &kTitleOnly, kFolderAccepted, "C:\\ソ"},
    {"no drive", "Title", &kTitleOnly, kFolderAccepted, "C:\\Title"},
    {"relative", "Games\\Title", &kTitleOnly, kFolderAccepted, "C:\\Games\\Title"},
    {"rooted", "\\Games", &kTitleOnly, kFolderAccepted, "C:\\Games"},
    {"drive relative", "C:Games", &kTitleOnly, kFolderAccepted, "C:\\Games"},
    {"drive only", "E:", &kTitleOnly, kFolderRoot, nullptr},
    {"drive root", "E:\\", &kTitleOnly, kFolderRoot, nullptr},
    {"emptied", "", &kTitleOnly, kFolderRoot, nullptr},
    {"extended", "D:\\Games", &kMakerTitle, kFolderAccepted, "D:\\Games\\Maker\\Title"},
    {"holds title", "D:\\Games\\Title", &kMakerTitle, kFolderAccepted, "D:\\Games\\Title"},
    {"is title", "D:\\Title", &kMakerTitle, kFolderAccepted, "D:\\Title"},
    {"title inside", "D:\\MyTitle2", &kMakerTitle, kFolderAccepted, "D:\\MyTitle2"},
    {"extended empty", "", &kMakerTitle, kFolderAccepted, "C:\\Maker\\Title"},
    // Dots decided on the path Windows makes of them, before the root test.
    {"up to the root", "C:\\Games\\..", &kTitleOnly, kFolderRoot, nullptr},
    {"dot at the root", "C:\\.", &kTitleOnly, kFolderRoot, nullptr},
    {"above the root", "C:\\..\\..", &kTitleOnly, kFolderRoot, nullptr},
    {"holds title, then up", "C:\\Title\\..", &kMakerTitle, kFolderRoot, nullptr},
    {"relative climb", "..\\..\\Games", &kTitleOnly, kFolderAccepted, "C:\\Games"},
    {"dots inside", "D:\\a\\.\\b\\..\\c\\...", &kTitleOnly, kFolderAccepted, "D:\\a\\c"},
    {"two up in a row", "D:\\a\\b\\c\\..\\..\\x", &kTitleOnly, kFolderAccepted, "D:\\a\\x"},
    {"dots in a name stay", "D:\\a..b\\.c", &kTitleOnly, kFolderAccepted, "D:\\a..b\\.c"},
    {"climb over a trail byte", "C:\\ソ\\..\\x", &kTitleOnly, kFolderAccepted, "C:\\x"},
};

TEST(FolderNormalise, Rows) {
  for (const NormaliseRow &row : kNormaliseRows) {
    char candidate[kPathSize];
    CopyText(candidate, row.input, sizeof candidate);
    EXPECT_EQ(row.verdict, NormaliseInstallFolder(candidate, sizeof candidate, row.settings))
        << row.label;
    if (row.verdict == kFolderAccepted) {
      EXPECT_STREQ(row.expected, candidate) << row.label;
    }
  }
}

// The probe file must fit after the folder: 239 bytes leave room, 240 do not.
TEST(FolderNormalise, RoomForTheProbeFile) {
  std::string folder = "C:\\" + std::string(239 - 3, 'a');
  EXPECT_TRUE(FolderLeavesRoom(folder.c_str()));
  EXPECT_FALSE(FolderLeavesRoom((folder + "b").c_str()));
  EXPECT_EQ(259u, folder.size() + 1 + strlen(kProbeFileName));
}

// Each step that grows the text, exactly at the limit and one past it. A refused step
// leaves the text whole, as the steps before it made it.
TEST(FolderNormalise, GrowthAtTheLimit) {
  struct Row {
    const char *label;
    std::string head;  // padded to the length that just fits
    size_t grows_by;
    const FolderSettings *settings;
    const char *kept;  // what the steps before the refused one put in front
  } rows[] = {
      {"extension", "D:\\", 12, &kMakerTitle, ""},   // + "\\Maker\\Title"
      {"drive prefix", "\\", 2, &kTitleOnly, ""},    // "C:" in front
      {"separator", "C:", 1, &kTitleOnly, ""},       // "\\" after the drive
      {"prefix and separator", "", 3, &kTitleOnly, "C:"},
  };
  for (const Row &row : rows) {
    std::string fits = row.head + std::string(259 - row.grows_by - row.head.size(), 'a');
    char candidate[kPathSize];
    CopyText(candidate, fits.c_str(), sizeof candidate);
    ASSERT_EQ(kFolderAccepted, NormaliseInstallFolder(candidate, sizeof candidate, row.settings))
        << row.label;
    EXPECT_EQ(259u, strlen(candidate)) << row.label;

    std::string over = fits + "a";
    CopyText(candidate, over.c_str(), sizeof candidate);
    EXPECT_EQ(kFolderTooLong, NormaliseInstallFolder(candidate, sizeof candidate, row.settings))
        << row.label;
    EXPECT_EQ(row.kept + over, std::string(candidate, strnlen(candidate, sizeof candidate)))
        << row.label;
  }
}

}  // namespace
