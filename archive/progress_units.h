// Byte counts to progress-bar values for the copy progress window. Portable, so that the
// arithmetic is tested natively; progress_window_win32.cpp only sends the results.
//
// Both bars count in units of kArchiveBlockSize (131072 bytes): a byte count becomes a bar
// value by integer division. Counts are 64-bit, so a package of several GiB gives unit
// counts above 65535; the window hands ranges to the bar as 32-bit numbers, and a value
// is clamped to [0, kMaxProgressUnits] so that even an absurd count cannot wrap.
#ifndef FERN_ARCHIVE_PROGRESS_UNITS_H
#define FERN_ARCHIVE_PROGRESS_UNITS_H

#include <stdint.h>

// The largest value a 32-bit bar range or position can hold.
static const int32_t kMaxProgressUnits = 0x7FFFFFFF;

// bytes / 131072, clamped to [0, kMaxProgressUnits]; negative counts give 0.
int32_t ProgressUnits(int64_t bytes);

// High end of the total bar for an archive of total bytes: its units, at least 1, so a
// bar of an archive shorter than one block still has a range of 0 .. 1.
int32_t TotalBarHigh(int64_t total);

// High end of the file bar for a file of unpacked_size bytes: its units with no minimum,
// so a file shorter than one block has the range 0 .. 0 and its bar stays empty.
int32_t FileBarHigh(uint32_t unpacked_size);

// Position of a bar for a count of bytes done, never past high (the total bar's count of
// consumed bytes cannot pass the archive length, but a bar must not overflow if it does).
int32_t BarPosition(uint64_t bytes_done, int32_t high);

// Length in pixels of the filled part of a bar width pixels wide at position of
// 0 .. high: width * position / high rounded to the nearest pixel, as the bar draws it;
// 0 when high or width is not positive. A position that leaves this length unchanged
// would repaint the bar to the same picture.
int32_t BarPixels(int32_t position, int32_t high, int32_t width);

// Whether a bar that shows shown_position must be told new_position: when the position
// changed and either the filled length changes or the new position is the range end (a
// bar far longer in units than in pixels reaches its last pixel before its end, and the
// end is always shown). A shown position below 0 (unknown: the bar has just been given a
// range, which moves its position into the range) or a width that is not positive
// (unknown) sends every change.
bool BarNeedsPosition(int32_t shown_position, int32_t new_position, int32_t high,
                      int32_t width);

// The window is refreshed (path, ranges, bars, message queue) at most every
// kRefreshIntervalMs milliseconds of the millisecond tick count. Every bar or text change
// repaints that control at once, and under Wine a repaint costs about a millisecond on a
// busy machine (it goes to the Wine server and the X server); 25 refreshes a second is as
// many as a person can follow, keeps the bars smooth and a click answered without a
// noticeable wait, and leaves the window's cost a few percent of the extraction. The
// tick count wraps after 49.7 days; the difference is taken unsigned.
static const uint32_t kRefreshIntervalMs = 40;
bool RefreshDue(uint32_t now_ms, uint32_t last_refresh_ms);

#endif
