// Byte counts to bar values: block units, the minimum of the total bar, and archives far
// beyond what a 16-bit bar range can hold.
#include <gtest/gtest.h>

#include "archive/progress_units.h"

namespace {

const int64_t kBlock = 131072;
const int64_t kGiB = 1024LL * 1024 * 1024;

struct UnitRow {
  const char *label;
  int64_t bytes;
  int32_t units;       // ProgressUnits
  int32_t total_high;  // TotalBarHigh
};

const UnitRow kUnitRows[] = {
    {"empty", 0, 0, 1},
    {"negative count", -5, 0, 1},
    {"one byte short of a block", kBlock - 1, 0, 1},
    {"one block", kBlock, 1, 1},
    {"one block and a byte", kBlock + 1, 1, 1},
    {"largest signed 32-bit archive", 0x7FFFFFFF, 16383, 16383},
    {"16-bit limit", 65535 * kBlock, 65535, 65535},
    {"one unit past the 16-bit limit", 65536 * kBlock, 65536, 65536},
    {"3 GiB", 3 * kGiB, 24576, 24576},
    {"over 8 GiB", 8 * kGiB + 5 * kBlock + 17, 65541, 65541},
    {"10 GiB", 10 * kGiB, 81920, 81920},
    {"units past 32 bits clamp", (int64_t)1 << 62, kMaxProgressUnits, kMaxProgressUnits},
    {"largest count", INT64_MAX, kMaxProgressUnits, kMaxProgressUnits},
};

TEST(ProgressUnits, BytesToUnitsAndTotalRange) {
  for (const UnitRow &row : kUnitRows) {
    SCOPED_TRACE(row.label);
    EXPECT_EQ(ProgressUnits(row.bytes), row.units);
    EXPECT_EQ(TotalBarHigh(row.bytes), row.total_high);
  }
}

TEST(ProgressUnits, FileBarHasNoMinimum) {
  EXPECT_EQ(FileBarHigh(0), 0);
  EXPECT_EQ(FileBarHigh(131071), 0);
  EXPECT_EQ(FileBarHigh(131072), 1);
  EXPECT_EQ(FileBarHigh(0xFFFFFFFEu), 32767);  // the largest file an entry can hold
}

// A walk over a 9 GiB archive in block steps: the total bar's position never goes back,
// never passes the range end, and ends at it or one unit short (the end marker and the
// bytes after it are never counted).
TEST(ProgressUnits, PositionsOfALargeArchiveClimbToTheRangeEnd) {
  const int64_t total = 9 * kGiB + 12345;
  const int32_t high = TotalBarHigh(total);
  ASSERT_GT(high, 65535);
  int32_t last = 0;
  int64_t consumed = 0;
  while (consumed < total - 4) {
    consumed += kBlock;
    if (consumed > total - 4) consumed = total - 4;
    int32_t position = BarPosition((uint64_t)consumed, high);
    ASSERT_GE(position, last);
    ASSERT_LE(position, high);
    last = position;
  }
  EXPECT_GE(last, high - 1);
}

TEST(ProgressUnits, PositionIsClampedToTheRange) {
  EXPECT_EQ(BarPosition(0, 0), 0);
  EXPECT_EQ(BarPosition(100000, 0), 0);  // a small file's bar stays empty
  EXPECT_EQ(BarPosition(5 * kBlock, 3), 3);
  EXPECT_EQ(BarPosition(UINT64_MAX, 7), 7);
  EXPECT_EQ(BarPosition(kBlock, -1), 0);
}

// A bar is told a new position only when it would draw differently: the filled length in
// pixels changes (rounded to the nearest pixel), or the position is the range end, which
// a bar with more units than pixels reaches only after its last pixel.
struct BarRow {
  const char *label;
  int32_t shown, position, high, width;
  int32_t pixels;  // BarPixels(position, high, width)
  bool needed;     // BarNeedsPosition(shown, position, high, width)
};

const BarRow kBarRows[] = {
    {"same position", 5, 5, 20, 280, 70, false},
    {"fewer units than pixels: every unit moves the bar", 5, 6, 20, 280, 84, true},
    {"many units within one pixel", 1000, 1003, 65541, 280, 4, false},
    {"the next pixel", 1000, 1054, 65541, 280, 5, true},
    {"rounded to the nearest pixel", 0, 117, 65541, 280, 0, false},
    {"half a pixel rounds up", 0, 118, 65541, 280, 1, true},
    {"the last pixel before the end stays", 65500, 65530, 65541, 280, 280, false},
    {"the end is always sent", 65530, 65541, 65541, 280, 280, true},
    {"after a new range the bar's position is unknown", -1, 0, 12, 280, 0, true},
    {"a file under one block keeps an empty bar", 0, 0, 0, 280, 0, false},
    {"unknown width: every change", 1000, 1001, 65541, 0, 0, true},
    {"largest range and position", kMaxProgressUnits - 1, kMaxProgressUnits,
     kMaxProgressUnits, 280, 280, true},
};

TEST(ProgressUnits, BarIsToldOnlyWhatChangesItsPicture) {
  for (const BarRow &row : kBarRows) {
    SCOPED_TRACE(row.label);
    EXPECT_EQ(BarPixels(row.position, row.high, row.width), row.pixels);
    EXPECT_EQ(BarNeedsPosition(row.shown, row.position, row.high, row.width), row.needed);
  }
}

// The refresh interval is measured on a tick count that wraps: a refresh shortly after
// the wrap is due by the elapsed time, not by the raw numbers.
TEST(ProgressUnits, RefreshIsDueByElapsedTicksAcrossTheWrap) {
  EXPECT_FALSE(RefreshDue(1000, 1000));
  EXPECT_FALSE(RefreshDue(1000 + kRefreshIntervalMs - 1, 1000));
  EXPECT_TRUE(RefreshDue(1000 + kRefreshIntervalMs, 1000));
  const uint32_t before_wrap = 0xFFFFFFFAu;  // 6 ms before the wrap
  EXPECT_FALSE(RefreshDue(2, before_wrap));  // 8 ms across the wrap
  EXPECT_FALSE(RefreshDue(kRefreshIntervalMs - 7, before_wrap));
  EXPECT_TRUE(RefreshDue(kRefreshIntervalMs - 6, before_wrap));
}

}  // namespace
