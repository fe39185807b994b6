#include "archive/progress_window.h"

#include <commctrl.h>
#include <stdlib.h>

#include "archive/progress_units.h"
#include "support/messages.h"
#include "support/sjis.h"
#include "support/wide_win32.h"
#include "support/window.h"

namespace {

// Module state; CopyCancelled starts at 0 and is only ever set.
struct CopyWindowState {
  HWND window;     // null while no window exists
  HWND animation;  // taken at WM_INITDIALOG
  int64_t total;   // archive bytes, recorded at opening
  int32_t total_high;  // range ends the bars have, in block units
  int32_t file_high;
  int32_t total_position;  // positions the bars have; -1 after a new range
  int32_t file_position;
  int32_t file_width;  // client widths of the bars in pixels; 0 when unknown
  int32_t total_width;
  // The current file, shown at the next refresh: a file that starts and ends between two
  // refreshes never costs the window anything.
  char path[kPathSize];
  int32_t next_file_high;
  bool file_pending;
  // The counts of the last report, shown at the next refresh; stale while they are not.
  uint64_t file_bytes;
  int64_t consumed;
  bool stale;
  bool refreshed;          // a refresh has happened; last_refresh is its tick count
  DWORD last_refresh;
  int cancelled;  // the player confirmed Cancel: the extraction stops at the next block
  bool asking;    // the question after Cancel is open
};
CopyWindowState g_copy = {nullptr, nullptr, 0, 1, 1, -1, -1, 0, 0, "", 0, false,
                          0, 0, false, false, 0, 0, false};

const char kAskStop[] = "インストールを中止しますか？";

const wchar_t kTemplateName[] = L"COPYINGDELUX";
const wchar_t kAnimationName[] = L"AVI_FILECOPY";

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
// bars.
void ShowReportedState(HWND window) {
  g_copy.stale = false;
  if (g_copy.file_pending) {
    g_copy.file_pending = false;
    SjisSetDlgItemText(window, kFilePathId, g_copy.path);
    SetBarRange(window, kFileBarId, g_copy.next_file_high);
  }
  SetBarPosition(window, kFileBarId, BarPosition(g_copy.file_bytes, g_copy.file_high));
  int64_t consumed = g_copy.consumed;
  SetBarPosition(window, kTotalBarId,
                 BarPosition(consumed < 0 ? 0 : (uint64_t)consumed, g_copy.total_high));
}

BOOL OnInitDialog(HWND dialog) {
  CenterWindow(dialog);
  // The template's placeholder stays hidden until the first file starts.
  SendDlgItemMessageW(dialog, kFilePathId, WM_SETTEXT, 0, (LPARAM)L"");
  g_copy.file_width = ClientWidth(dialog, kFileBarId);
  g_copy.total_width = ClientWidth(dialog, kTotalBarId);
  SetBarRange(dialog, kFileBarId, 1);
  SetBarPosition(dialog, kFileBarId, 0);
  SetBarRange(dialog, kTotalBarId, 1);
  SetBarPosition(dialog, kTotalBarId, 0);
  // Without an instance handle the clip comes from the module that created the control,
  // the one holding the template. A missing clip leaves the area empty.
  g_copy.animation = GetDlgItem(dialog, kAnimationId);
  SendMessageW(g_copy.animation, ACM_OPENW, 0, (LPARAM)kAnimationName);
  // Repeat without end, from frame 0 to the last frame.
  SendMessageW(g_copy.animation, ACM_PLAY, (WPARAM)-1, (LPARAM)0xFFFF0000);
  ShowWindow(g_copy.animation, SW_SHOW);
  return TRUE;
}

// Cancel (the button, or Esc) asks first. The question is answered inside the message
// drain that follows an output block, so the copy waits at that block meanwhile: No
// plays the animation again and the copy goes on; Yes makes the next update report the
// cancellation, and the extraction stops there.
void OnCancel() {
  if (g_copy.asking || g_copy.cancelled) return;
  g_copy.asking = true;
  SendMessageW(g_copy.animation, ACM_STOP, 0, 0);
  int stop = ConfirmBox(kAskStop);
  g_copy.asking = false;
  if (stop) {
    g_copy.cancelled = 1;
  } else {
    SendMessageW(g_copy.animation, ACM_PLAY, (WPARAM)-1, (LPARAM)0xFFFF0000);
  }
}


INT_PTR CALLBACK CopyDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  (void)lparam;
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog(dialog);
    case WM_COMMAND:
      // Exactly IDCANCEL with the click notification (0), which Esc also sends; other
      // notifications of the button do nothing.
      if (wparam == IDCANCEL) OnCancel();
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

}  // namespace

HWND OpenCopyProgressWindow(int64_t total) {
  g_copy.total = total;
  g_copy.cancelled = 0;
  g_copy.asking = false;
  CloseCopyProgressWindow();
  g_copy.file_pending = false;
  g_copy.file_bytes = 0;
  g_copy.consumed = 0;
  g_copy.stale = false;
  // The template's bars and animation are common-control classes; registering them is
  // cheap and repeatable.
  RegisterCommonControls(ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS);
  HWND owner = OwnerWindow();
  g_copy.window = CreateDialogParamW(OwnerInstance(), kTemplateName, owner, CopyDialogProc, 0);
  if (g_copy.window == nullptr) return nullptr;
  PumpMessages();
  SetBarRange(g_copy.window, kTotalBarId, TotalBarHigh(total));
  SetBarPosition(g_copy.window, kTotalBarId, 0);
  PumpMessages();
  g_copy.refreshed = true;
  g_copy.last_refresh = GetTickCount();
  return g_copy.window;
}

void StartCopyProgressFile(HWND window, const char *path, uint32_t unpacked_size) {
  if (window == nullptr) return;
  CopyText(g_copy.path, path, sizeof g_copy.path);
  g_copy.next_file_high = FileBarHigh(unpacked_size);
  g_copy.file_pending = true;
  g_copy.file_bytes = 0;  // a refresh before its first block shows its bar empty
  g_copy.stale = true;
}

namespace {

// The window is brought up to date and the queue drained at most every
// kRefreshIntervalMs, not after every block (about a third of a millisecond of
// inflation): each bar or text change repaints its control at once and each look at the
// queue goes through the window system, which under Wine costs more than the blocks.
// Between refreshes the window shows the state of the last one; WM_QUIT and clicks wait
// at most one interval.
bool TakeRefresh() {
  DWORD now = GetTickCount();
  if (g_copy.refreshed && !RefreshDue(now, g_copy.last_refresh)) return false;
  g_copy.refreshed = true;
  g_copy.last_refresh = now;
  return true;
}

// The copy window's keyboard messages go through the dialog manager first.
void DrainQueue() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) exit((int)message.wParam);
    if (g_copy.window != nullptr && IsDialogMessageW(g_copy.window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

// A caller that waits between blocks calls this often; a report that came within the
// interval of the refresh before it is shown here once the interval is over, so the
// window never stays behind the copy by more than one interval.
void PumpCopyMessages() {
  if (g_copy.window != nullptr && g_copy.stale && TakeRefresh()) {
    ShowReportedState(g_copy.window);
  }
  DrainQueue();
}

int UpdateCopyProgress(HWND window, uint64_t file_bytes, int64_t consumed) {
  g_copy.file_bytes = file_bytes;
  g_copy.consumed = consumed;
  g_copy.stale = true;
  if (!TakeRefresh()) return g_copy.cancelled;
  if (window != nullptr) ShowReportedState(window);
  DrainQueue();
  return g_copy.cancelled;
}

// The last report is shown before the window goes, so whatever looks at it last sees
// the end of the copy.
void CloseCopyProgressWindow() {
  if (g_copy.window == nullptr) return;
  if (g_copy.stale) ShowReportedState(g_copy.window);
  DestroyWindow(g_copy.window);
  g_copy.window = nullptr;
  g_copy.animation = nullptr;
  PumpMessages();
}

int CopyProgressCancelled() { return g_copy.cancelled; }
