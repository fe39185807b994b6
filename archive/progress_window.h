// The copy progress window shown while FullMode unpacks the archive. Windows only.
#ifndef FERN_ARCHIVE_PROGRESS_WINDOW_H
#define FERN_ARCHIVE_PROGRESS_WINDOW_H

#include <windows.h>
#include <stdint.h>

// Opens the window for an archive of `total` bytes; null when it cannot be created (the
// extraction then runs without display).
HWND OpenCopyProgressWindow(int64_t total);

// A file is about to be written: shows its path and resets the file bar.
void StartCopyProgressFile(HWND window, const char *path, uint32_t unpacked_size);

// Moves both bars and drains the message queue (also when window is null).
void UpdateCopyProgress(HWND window, uint64_t file_bytes, int64_t consumed);

void CloseCopyProgressWindow();

#endif
