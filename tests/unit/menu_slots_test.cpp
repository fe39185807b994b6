#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "app/menu_slots.h"

namespace {

// Labels from the bottom of the column up; "" for a destroyed slot.
std::vector<std::string> Column(const MenuState &state) {
  std::vector<std::string> labels;
  for (int slot = 0; slot < kMenuSlotCount; slot++) {
    labels.push_back(state.label[slot] ? state.label[slot] : "");
  }
  return labels;
}

TEST(MenuSlotsTest, ColumnForEachCombination) {
  struct Row {
    const char *name;
    int directx;
    const char *readme;
    std::vector<int> actions;
    std::vector<std::string> labels;
  };
  const Row rows[] = {
      {"both", 1, "お読みください", {3, 2, 5, 1}, {"終了", "DirectXインストール", "お読みください", "インストール"}},
      {"DirectX only", 1, "-", {3, 2, 1}, {"終了", "DirectXインストール", "インストール"}},
      {"readme only", 0, "説明書", {3, 5, 1}, {"終了", "説明書", "インストール"}},
      {"neither", 0, "-", {3, 1}, {"終了", "インストール"}},
      {"a value beginning with - hides the readme", 0, "-readme", {3, 1}, {"終了", "インストール"}},
      {"any other value is the label as it is", 0, "x-y.txt", {3, 5, 1}, {"終了", "x-y.txt", "インストール"}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    MenuState state;
    memset(&state, 0x55, sizeof state);
    AssignMenuSlots(&state, row.directx, row.readme);
    EXPECT_EQ(0, state.busy);
    ASSERT_EQ((int)row.actions.size(), state.used);
    std::vector<std::string> want = row.labels;
    want.resize(kMenuSlotCount);
    EXPECT_EQ(want, Column(state));
    for (int slot = 0; slot < kMenuSlotCount; slot++) {
      int action = slot < state.used ? row.actions[slot] : kMenuActionNone;
      EXPECT_EQ(action, state.action[slot]) << "slot " << slot;
    }
  }
}

TEST(MenuSlotsTest, OnlyAWholeButtonIdFindsItsSlot) {
  for (int slot = 0; slot < kMenuSlotCount; slot++) {
    EXPECT_EQ(slot, FindMenuSlot(1000 + slot));
  }
  EXPECT_EQ(-1, FindMenuSlot(1));     // IDOK
  EXPECT_EQ(-1, FindMenuSlot(2));     // IDCANCEL, as Esc sends it
  EXPECT_EQ(-1, FindMenuSlot(999));
  EXPECT_EQ(-1, FindMenuSlot(1009));
  EXPECT_EQ(-1, FindMenuSlot((1u << 16) | 1000));  // a notification other than a click
}

// A runner whose actions behave like the real ones: they run nested message loops, during
// which more clicks and close requests arrive.
struct Recorder {
  MenuState *state;
  std::vector<int> ran;
  int nested_ran = -1;
  int close_allowed_inside = -1;
};

void Record(int action, void *context) {
  Recorder *r = (Recorder *)context;
  r->ran.push_back(action);
  if (r->ran.size() == 1) {
    r->nested_ran = HandleMenuCommand(r->state, 1000, Record, r);  // the exit button
    r->close_allowed_inside = MenuMayClose(r->state);
  }
}

TEST(MenuSlotsTest, CommandsAndClosingWaitForTheRunningAction) {
  MenuState state;
  AssignMenuSlots(&state, 1, "readme");
  Recorder recorder{&state, {}};
  EXPECT_EQ(1, HandleMenuCommand(&state, 1003, Record, &recorder));  // install
  EXPECT_EQ(std::vector<int>({kMenuActionInstall}), recorder.ran);
  EXPECT_EQ(0, recorder.nested_ran);
  EXPECT_EQ(0, recorder.close_allowed_inside);
  // Idle again: the next click runs, a close is honoured, Esc matches nothing.
  EXPECT_EQ(1, MenuMayClose(&state));
  recorder.ran.clear();
  EXPECT_EQ(1, HandleMenuCommand(&state, 1001, Record, &recorder));
  EXPECT_EQ(std::vector<int>({kMenuActionDirectX}), recorder.ran);
  EXPECT_EQ(0, HandleMenuCommand(&state, 2, Record, &recorder));
  EXPECT_EQ(0, HandleMenuCommand(&state, 1005, Record, &recorder));  // destroyed slot
  EXPECT_EQ(1u, recorder.ran.size());
  EXPECT_EQ(0, state.busy);
}

TEST(MenuSlotsTest, PictureOrigin) {
  struct Row {
    int32_t client_height, width, height, x, y;
  };
  const Row rows[] = {
      {300, 256, 256, 22, 22},
      {300, 100, 200, 100, 50},
      {300, 301, 303, 0, -1},      // quotients truncated toward zero
      {300, 400, 500, -50, -100},  // larger than the band: clipped at the top left
      {0, INT32_MAX, INT32_MAX, -1073741823, -1073741823},
  };
  for (const Row &row : rows) {
    int32_t x = 7, y = 7;
    PlaceMenuPicture(row.client_height, row.width, row.height, &x, &y);
    EXPECT_EQ(row.x, x) << row.client_height << " " << row.width;
    EXPECT_EQ(row.y, y) << row.client_height << " " << row.height;
  }
}

TEST(MenuSlotsTest, PathBesideTheInstaller) {
  char out[32];
  EXPECT_EQ(0, BuildPathBeside("D:\\setup.exe", kDirectXProgram, out, sizeof out));
  EXPECT_STREQ("D:\\DirectX\\dxsetup.exe", out);
  // The trail byte 0x5C of "表" is no separator.
  EXPECT_EQ(0, BuildPathBeside("E:\\表\\a.exe", kDirectXFolder, out, sizeof out));
  EXPECT_STREQ("E:\\表\\DirectX", out);
  EXPECT_EQ(0, BuildPathBeside("E:\\表.exe", kDirectXFolder, out, sizeof out));
  EXPECT_STREQ("E:\\DirectX", out);
  EXPECT_EQ(-1, BuildPathBeside("setup.exe", kDirectXFolder, out, sizeof out));
  EXPECT_STREQ("", out);
  // "D:\" + 19 bytes needs 23 bytes with the terminator.
  EXPECT_EQ(-1, BuildPathBeside("D:\\s.exe", kDirectXProgram, out, 22));
  EXPECT_STREQ("", out);
  EXPECT_EQ(0, BuildPathBeside("D:\\s.exe", kDirectXProgram, out, 23));
}

}  // namespace
