#include "archive/progress_window.h"

#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

#include "archive/progress_units.h"
#include "support/messages.h"
#include "support/sjis.h"
#include "support/wide_win32.h"
#include "support/window.h"

namespace {

// What the extraction reports, kept for the window's next refresh. Written by the
// extracting thread and read by the window's thread, both under CopyWindowState::lock.
struct CopyReport {
  char path[kPathSize];     // the current file, shown at the next refresh: a file that
  int32_t next_file_high;   // starts and ends between two refreshes never costs anything
  bool file_pending;
  uint64_t file_bytes;
  int64_t consumed;
  bool stale;  // the counts or the file have not been shown yet
};

// Module state; at most one window exists at a time.
struct CopyWindowState {
  // Set from the opening until the window's thread has been waited for.
  HANDLE thread;
  DWORD thread_id;
  bool open;     // opened and not yet closed
  volatile LONG close_requested;  // the window's thread is to close the window and end
  CRITICAL_SECTION lock;
  bool lock_ready;
  CopyReport report;
  // The extracting thread's own: when it last drained its queue.
  bool drained;
  DWORD last_drain;
  // The window's thread's own.
  HWND animation;  // taken at WM_INITDIALOG
  wchar_t caption[260];  // the owner's title, for the question after Cancel
  int64_t total;   // archive bytes, recorded at opening
  int32_t total_high;  // range ends the bars have, in block units
  int32_t file_high;
  int32_t total_position;  // positions the bars have; -1 after a new range
  int32_t file_position;
  int32_t file_width;  // client widths of the bars in pixels; 0 when unknown
  int32_t total_width;
  // Shared flags, read and written with interlocked operations.
  volatile LONG cancelled;  // the player confirmed Cancel: the extraction stops
  volatile LONG asking;     // the question after Cancel is open: the extraction waits
};
CopyWindowState g_copy;

const char kAskStop[] = "インストールを中止しますか？";

const wchar_t kTemplateName[] = L"COPYINGDELUX";
const wchar_t kAnimationName[] = L"AVI_FILECOPY";

enum {
  kRefreshTimer = 1,
  kWakeMessage = WM_APP + 1,  // wakes the window's thread to look at close_requested
  kAskingPollMs = 10,
};

LONG ReadFlag(volatile LONG *flag) { return InterlockedCompareExchange(flag, 0, 0); }

// Ranges go to the bars as 32-bit numbers (PBM_SETRANGE32): the 16-bit pair of
// PBM_SETRANGE cannot hold the unit count of a package over 8 GiB. Results are not
// checked; a bar that refuses a value just shows less.
void SetBarRange(HWND dialog, int id, int32_t high) {
  SendDlgItemMessageW(dialog, id, PBM_SETRANGE32, 0, (LPARAM)high);
  if (id == kFileBarId) {
    g_copy.file_high = high;
    g_copy.file_position = -1;
  }
  if (id == kTotalBarId) {
    g_copy.total_high = high;
    g_copy.total_position = -1;
  }
}

// A bar is only told its position when that changes what it draws (BarNeedsPosition):
// every position message repaints the bar at once, and under Wine that costs more than
// the blocks it reports.
void SetBarPosition(HWND dialog, int id, int32_t position) {
  bool file = id == kFileBarId;
  int32_t *last = file ? &g_copy.file_position : &g_copy.total_position;
  if (!BarNeedsPosition(*last, position, file ? g_copy.file_high : g_copy.total_high,
                        file ? g_copy.file_width : g_copy.total_width)) {
    return;
  }
  *last = position;
  SendDlgItemMessageW(dialog, id, PBM_SETPOS, (WPARAM)position, 0);
}

int32_t ClientWidth(HWND dialog, int id) {
  RECT client;
  if (!GetClientRect(GetDlgItem(dialog, id), &client)) return 0;
  return client.right - client.left;
}

// Brings the window up to the last report: the current file's path and range, then both
// bars. The report is copied out under the lock; the controls are told outside it, so
// the extraction never waits for a repaint.
void ShowReportedState(HWND window) {
  CopyReport shown;
  EnterCriticalSection(&g_copy.lock);
  bool stale = g_copy.report.stale;
  if (stale) {
    shown = g_copy.report;
    g_copy.report.stale = false;
    g_copy.report.file_pending = false;
  }
  LeaveCriticalSection(&g_copy.lock);
  if (!stale) return;
  if (shown.file_pending) {
    SjisSetDlgItemText(window, kFilePathId, shown.path);
    SetBarRange(window, kFileBarId, shown.next_file_high);
  }
  SetBarPosition(window, kFileBarId, BarPosition(shown.file_bytes, g_copy.file_high));
  SetBarPosition(window, kTotalBarId,
                 BarPosition(shown.consumed < 0 ? 0 : (uint64_t)shown.consumed,
                             g_copy.total_high));
}

BOOL OnInitDialog(HWND dialog) {
  CenterWindow(dialog);
  // The template's placeholder stays hidden until the first file starts.
  SendDlgItemMessageW(dialog, kFilePathId, WM_SETTEXT, 0, (LPARAM)L"");
  g_copy.file_width = ClientWidth(dialog, kFileBarId);
  g_copy.total_width = ClientWidth(dialog, kTotalBarId);
  SetBarRange(dialog, kFileBarId, 1);
  SetBarPosition(dialog, kFileBarId, 0);
  SetBarRange(dialog, kTotalBarId, TotalBarHigh(g_copy.total));
  SetBarPosition(dialog, kTotalBarId, 0);
  // Without an instance handle the clip comes from the module that created the control,
  // the one holding the template. A missing clip leaves the area empty.
  g_copy.animation = GetDlgItem(dialog, kAnimationId);
  SendMessageW(g_copy.animation, ACM_OPENW, 0, (LPARAM)kAnimationName);
  // Repeat without end, from frame 0 to the last frame.
  SendMessageW(g_copy.animation, ACM_PLAY, (WPARAM)-1, (LPARAM)0xFFFF0000);
  ShowWindow(g_copy.animation, SW_SHOW);
  SetTimer(dialog, kRefreshTimer, kRefreshIntervalMs, nullptr);
  return TRUE;
}

// Cancel (the button, or Esc) asks first. While the question is open the extraction
// waits at the next block it reaches: No plays the animation again and the copy goes on;
// Yes makes the next update report the cancellation, and the extraction stops there. The
// question belongs to the copy window, with the owner's title taken at the opening: asking
// the owner (a window of the extracting thread) for anything would wait for that thread,
// which may be stalled in a read.
void OnCancel(HWND dialog) {
  if (ReadFlag(&g_copy.asking) || ReadFlag(&g_copy.cancelled) ||
      ReadFlag(&g_copy.close_requested)) {
    return;
  }
  InterlockedExchange(&g_copy.asking, 1);
  SendMessageW(g_copy.animation, ACM_STOP, 0, 0);
  wchar_t question[kShownSize];
  SjisToWideShown(kAskStop, question, kShownSize);
  if (MessageBoxW(dialog, question, g_copy.caption, MB_YESNO | MB_ICONQUESTION) == IDYES) {
    InterlockedExchange(&g_copy.cancelled, 1);
  } else {
    SendMessageW(g_copy.animation, ACM_PLAY, (WPARAM)-1, (LPARAM)0xFFFF0000);
  }
  InterlockedExchange(&g_copy.asking, 0);
}

INT_PTR CALLBACK CopyDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  (void)lparam;
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog(dialog);
    case WM_TIMER:
      if (wparam == kRefreshTimer) ShowReportedState(dialog);
      return TRUE;
    case WM_COMMAND:
      // Exactly IDCANCEL with the click notification (0), which Esc also sends; other
      // notifications of the button do nothing.
      if (wparam == IDCANCEL) OnCancel(dialog);
      return FALSE;
    default:
      return FALSE;
  }
}

// The common controls are loaded here, by name, rather than imported: an import is
// resolved before the program's first instruction, and the library's start-up then loads
// its own helpers (the theme library) by bare name from wherever the search finds them
// first, the installer's own folder included. Loaded now, after start-up has cut the
// search down to the system folder, the library and its helpers come from there; the
// manifest still binds the name to the side-by-side version 6. It stays loaded.
void RegisterCommonControls(DWORD classes_wanted) {
  typedef BOOL(WINAPI * InitProc)(const INITCOMMONCONTROLSEX *);
  HMODULE controls = LoadLibraryW(L"comctl32.dll");
  if (controls == nullptr) return;  // the dialog then fails to open: no window, as documented
  InitProc init = reinterpret_cast<InitProc>(
      reinterpret_cast<void *>(GetProcAddress(controls, "InitCommonControlsEx")));
  INITCOMMONCONTROLSEX classes = {sizeof classes, classes_wanted};
  if (init != nullptr) init(&classes);
}

// The window's own thread: the dialog, its refresh timer and its message loop, until
// CloseCopyProgressWindow. Painting the bars and the animation here keeps their cost (under Wine,
// requests to the Wine server and the X server) off the extracting thread.
DWORD WINAPI CopyWindowThread(void *) {
  // The template's bars and animation are common-control classes.
  RegisterCommonControls(ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS);
  HWND window =
      CreateDialogParamW(OwnerInstance(), kTemplateName, OwnerWindow(), CopyDialogProc, 0);
  if (window == nullptr) return 0;  // the copy goes on without display
  MSG message;
  while (!ReadFlag(&g_copy.close_requested) && GetMessageW(&message, nullptr, 0, 0) > 0) {
    // The window's keyboard messages go through the dialog manager first (Esc is Cancel).
    if (IsDialogMessageW(window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // Whatever looks at the window last sees the end of the copy.
  KillTimer(window, kRefreshTimer);
  ShowReportedState(window);
  DestroyWindow(window);
  return 0;
}

// Waits until the question after Cancel is answered, draining the extracting thread's own
// queue meanwhile: the window's thread may send messages to windows of this one.
void WaitWhileAsking() {
  while (ReadFlag(&g_copy.asking)) {
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, kAskingPollMs, QS_ALLINPUT) ==
        WAIT_FAILED) {
      return;
    }
    PumpMessages();
  }
}

// The extracting thread's queue is drained at most every kRefreshIntervalMs, not after
// every block (about a third of a millisecond of inflation): each look at the queue goes
// through the window system, which under Wine costs more than the blocks.
void DrainIfDue() {
  DWORD now = GetTickCount();
  if (g_copy.drained && !RefreshDue(now, g_copy.last_drain)) return;
  g_copy.drained = true;
  g_copy.last_drain = now;
  PumpMessages();
}

// Waits for the thread of a window closed before, if any.
void EndClosedWindow() {
  if (g_copy.thread == nullptr) return;
  WaitPumpingMessages(g_copy.thread);
  CloseHandle(g_copy.thread);
  g_copy.thread = nullptr;
}

}  // namespace

bool OpenCopyProgressWindow(int64_t total) {
  CloseCopyProgressWindow();
  EndClosedWindow();
  // Without its template there is no window; whether the dialog can be made otherwise is
  // learnt on its thread, and the copy does not wait for that.
  if (FindResourceW(OwnerInstance(), kTemplateName, MAKEINTRESOURCEW(5)) == nullptr) {
    return false;
  }
  if (!g_copy.lock_ready) {
    InitializeCriticalSection(&g_copy.lock);
    g_copy.lock_ready = true;
  }
  memset(&g_copy.report, 0, sizeof g_copy.report);
  g_copy.total = total;
  g_copy.total_high = 1;
  g_copy.file_high = 1;
  g_copy.total_position = -1;
  g_copy.file_position = -1;
  g_copy.animation = nullptr;
  g_copy.caption[0] = 0;
  if (OwnerWindow() != nullptr) GetWindowTextW(OwnerWindow(), g_copy.caption, 260);
  InterlockedExchange(&g_copy.cancelled, 0);
  InterlockedExchange(&g_copy.asking, 0);
  g_copy.drained = false;
  InterlockedExchange(&g_copy.close_requested, 0);
  g_copy.thread = CreateThread(nullptr, 0, CopyWindowThread, nullptr, 0, &g_copy.thread_id);
  g_copy.open = g_copy.thread != nullptr;
  return g_copy.open;
}

void StartCopyProgressFile(const char *path, uint32_t unpacked_size) {
  if (!g_copy.open) return;
  EnterCriticalSection(&g_copy.lock);
  CopyText(g_copy.report.path, path, sizeof g_copy.report.path);
  g_copy.report.next_file_high = FileBarHigh(unpacked_size);
  g_copy.report.file_pending = true;
  g_copy.report.file_bytes = 0;  // a refresh before its first block shows its bar empty
  g_copy.report.stale = true;
  LeaveCriticalSection(&g_copy.lock);
}

void PumpCopyMessages() {
  WaitWhileAsking();
  PumpMessages();
}

int UpdateCopyProgress(uint64_t file_bytes, int64_t consumed) {
  if (g_copy.open) {
    EnterCriticalSection(&g_copy.lock);
    g_copy.report.file_bytes = file_bytes;
    g_copy.report.consumed = consumed;
    g_copy.report.stale = true;
    LeaveCriticalSection(&g_copy.lock);
  }
  // The copy waits here while the question after Cancel is open.
  WaitWhileAsking();
  DrainIfDue();
  return (int)ReadFlag(&g_copy.cancelled);
}

void CloseCopyProgressWindow() {
  if (!g_copy.open) return;
  g_copy.open = false;
  // A question still open is answered first; the copy is over, so either answer ends it.
  WaitWhileAsking();
  // The window's thread shows the last report and closes the window; nobody waits for it
  // (the next opening does).
  // Before the thread has a message queue the wake is lost, and the flag is seen once it
  // has made the dialog.
  InterlockedExchange(&g_copy.close_requested, 1);
  PostThreadMessageW(g_copy.thread_id, kWakeMessage, 0, 0);
}

void AwaitCopyProgressWindow() {
  if (!g_copy.open) EndClosedWindow();
}

int CopyProgressCancelled() { return (int)ReadFlag(&g_copy.cancelled); }
