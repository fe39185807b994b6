#include "archive/progress_units.h"

#include "archive/package_format.h"

int32_t ProgressUnits(int64_t bytes) {
  if (bytes <= 0) return 0;
  int64_t units = bytes / kArchiveBlockSize;
  return units > kMaxProgressUnits ? kMaxProgressUnits : (int32_t)units;
}

int32_t TotalBarHigh(int64_t total) {
  int32_t units = ProgressUnits(total);
  return units < 1 ? 1 : units;
}

int32_t FileBarHigh(uint32_t unpacked_size) { return ProgressUnits((int64_t)unpacked_size); }

int32_t BarPosition(uint64_t bytes_done, int32_t high) {
  // Above INT64_MAX the division below would see a negative count; such a count is past
  // every high anyway.
  if (bytes_done > (uint64_t)INT64_MAX) return high < 0 ? 0 : high;
  int32_t units = ProgressUnits((int64_t)bytes_done);
  if (high < 0) return 0;
  return units > high ? high : units;
}

int32_t BarPixels(int32_t position, int32_t high, int32_t width) {
  if (high <= 0 || width <= 0 || position <= 0) return 0;
  if (position >= high) return width;
  return (int32_t)(((int64_t)position * width + high / 2) / high);
}

bool BarNeedsPosition(int32_t shown_position, int32_t new_position, int32_t high,
                      int32_t width) {
  if (new_position == shown_position) return false;
  if (shown_position < 0 || width <= 0 || new_position == high) return true;
  return BarPixels(new_position, high, width) != BarPixels(shown_position, high, width);
}

bool RefreshDue(uint32_t now_ms, uint32_t last_refresh_ms) {
  return (uint32_t)(now_ms - last_refresh_ms) >= kRefreshIntervalMs;
}
