// The copy progress window shown while FullMode unpacks the archive. Windows only.
//
// A modeless dialog (template COPYINGDELUX) owned by OwnerWindow(): a looping animation,
// a bar for the file being written (1010), a bar for the whole archive (1019) and the
// path of the current file (1012). It runs on a thread of its own, which refreshes it
// from the last report every kRefreshIntervalMs and answers its clicks; the extracting
// thread only records reports, drains its own queue at the same interval and waits while
// the question after Cancel is open. Not reentrant: at most one window exists at a time,
// and the functions below are called from one extracting thread.
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

// Opens the window for an archive of `total` bytes, closing one left from before: starts
// the window's thread, which makes and shows the dialog while the copy already runs.
// false when the template is missing or the thread cannot start (the extraction then
// runs without display, and the calls below only drain the queue).
bool OpenCopyProgressWindow(int64_t total);

// A file is about to be written: the next refresh shows its path and gives the file bar
// the range 0 .. its units (0 .. 0 for a file shorter than one block).
void StartCopyProgressFile(const char *path, uint32_t unpacked_size);

// Called after every output block with the bytes written of the current file and the
// archive bytes consumed. The report is kept; the window's next refresh (at most
// kRefreshIntervalMs later, progress_units.h) shows it: path, ranges, both bars, a bar
// only when it would draw differently. At most every kRefreshIntervalMs the calling
// thread's message queue is drained, also without a window. While the question after
// Cancel is open it waits here. Returns 1 once the player clicked Cancel (or pressed Esc)
// and answered Yes to "インストールを中止しますか？": the extraction is to stop.
int UpdateCopyProgress(uint64_t file_bytes, int64_t consumed);

// For a caller that waits between blocks: drains its message queue, and waits while the
// question after Cancel is open, as UpdateCopyProgress does.
void PumpCopyMessages();

// Waits for an open question to be answered, then has the window's thread show the last
// report, destroy the window and end, without waiting for it (the next opening does).
void CloseCopyProgressWindow();

// Waits until the thread of a window closed before has ended: before the program ends,
// so that no thread is cut off while it paints.
void AwaitCopyProgressWindow();

// 1 once the player confirmed Cancel in the window opened last.
int CopyProgressCancelled();

#endif
