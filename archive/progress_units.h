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

// The window is refreshed (bars, path, message queue) at most every kRefreshIntervalMs
// milliseconds of the millisecond tick count: often enough for smooth bars and a window
// that answers at once, rarely enough that the refresh costs nothing next to the
// extraction (under Wine one look at the message queue costs a tenth of a block's
// inflation). The tick count wraps after 49.7 days; the difference is taken unsigned.
static const uint32_t kRefreshIntervalMs = 10;
bool RefreshDue(uint32_t now_ms, uint32_t last_refresh_ms);

#endif
