#include "archive/progress_window.h"

#include "support/window.h"

// The window itself arrives with its dialog template; until then the extraction runs
// without display and only keeps the message queue drained.
HWND OpenCopyProgressWindow(int64_t total) {
  (void)total;
  return nullptr;
}

void StartCopyProgressFile(HWND window, const char *path, uint32_t unpacked_size) {
  (void)window;
  (void)path;
  (void)unpacked_size;
}

void UpdateCopyProgress(HWND window, uint64_t file_bytes, int64_t consumed) {
  (void)window;
  (void)file_bytes;
  (void)consumed;
  PumpMessages();
}

void CloseCopyProgressWindow() {}
