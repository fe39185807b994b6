// The copy progress window shown while FullMode unpacks the archive. Windows only.
//
// A modeless dialog (template COPYINGDELUX) owned by OwnerWindow(): a looping animation,
// a bar for the file being written (1010), a bar for the whole archive (1019) and the
// path of the current file (1012). It lives on the extracting thread and is kept alive
// only by the message draining in UpdateCopyProgress and PumpCopyMessages. Not
// reentrant: at most one window exists at a time.
#ifndef FERN_ARCHIVE_PROGRESS_WINDOW_H
#define FERN_ARCHIVE_PROGRESS_WINDOW_H

#include <windows.h>
#include <stdint.h>

enum {
  kFileBarId = 1010,
  kFilePathId = 1012,
  kTotalBarId = 1019,
  kAnimationId = 1020,
};

// Opens the window for an archive of `total` bytes, destroying one left from before; null
// when it cannot be created (the extraction then runs without display).
HWND OpenCopyProgressWindow(int64_t total);

// A file is about to be written: the next refresh shows its path and gives the file bar
// the range 0 .. its units (0 .. 0 for a file shorter than one block).
void StartCopyProgressFile(HWND window, const char *path, uint32_t unpacked_size);

// Called after every output block with the bytes written of the current file and the
// archive bytes consumed. At most every kRefreshIntervalMs (progress_units.h) it
// refreshes the window (path, ranges, both bars, a bar only when it would draw
// differently) and drains the message queue; the drain happens also when window is null.
// A report within the interval is kept and shown by the next refresh. Returns 1 once the
// player clicked Cancel (or pressed Esc) and answered Yes to "インストールを中止しますか？":
// the extraction is to stop.
int UpdateCopyProgress(HWND window, uint64_t file_bytes, int64_t consumed);

// For a caller that waits between blocks: shows a report kept since the last refresh once
// the interval is over, and drains the message queue as UpdateCopyProgress does (the
// window's keyboard messages through the dialog manager, so that Esc is Cancel).
void PumpCopyMessages();

// Shows a report kept since the last refresh, destroys the window, if any, and drains the
// queue.
void CloseCopyProgressWindow();

// 1 once the player confirmed Cancel in the window opened last.
int CopyProgressCancelled();

#endif
