// uidriver: drives Windows programs the way a person does, for the scenario tests.
//
// Runs under Wine in the same prefix as the program under test and reads a script: one
// command a line, fields separated by tabs, UTF-8. Every command prints what it saw as one
// UTF-8 line on stdout, so a shell script can compare it. The first failing command prints
// "FAIL: ..." and ends the driver with exit code 1 (programs it launched are terminated).
//
//   launch <name> <exe> [<cwd>]        start a program and call it <name>
//   launch-with <name> <exe> <args>    the same, with arguments after the quoted program
//   wait-window <name|*> <class|*> <title|*> <ms> [<settle ms>]
//                                      wait for a visible top-level window of that program
//                                      and make it the current window (then wait 200 ms,
//                                      or <settle ms>, for it to finish its initialisation)
//   wait-box <name|*> <ms> [<settle ms>]
//                                      the same for a message box (class #32770 holding
//                                      only texts and buttons numbered below 1000)
//   expect-no-window <name|*> <class|*> <ms>
//                                      fail if such a window appears within <ms>
//   caption                            print "caption <title>"
//   text                               print "text <static texts, joined by |>"
//   controls                           print "control <id> <class> <text>" per visible child
//   controls-y                         print "control-y <id> <screen y> <text>" per visible
//                                      child (y of its top edge, to tell a column's order)
//   focus                              print "focus <id>" of the current window's program's
//                                      focused control (0 when none)
//   progress <id>                      print "progress <id> <pos> <low> <high>" of a bar
//   animating <id> <ms>                print "animating <id> <1|0>": 1 when the control's
//                                      pixels on the screen change within <ms>
//   click <id>                         press a button of the current window
//   click-label <text>                 press the visible button of the current window with
//                                      that text
//   type <id> <text>                   set the text of a control of the current window
//   key <vk>                           press a key in the current window's focused control
//   close                              ask the current window to close (WM_CLOSE)
//   clipboard                          print "clipboard <text>"
//   clear-clipboard                    empty the clipboard
//   hold-mutex <name>                  create and hold a named mutex until the driver ends
//   post-quit <name> <code>            post WM_QUIT with <code> to the program's threads
//   wait-exit <name> <ms>              wait for the program to end; print "exit <code>"
//   screenshot <file.bmp>              save the current window as it is on the screen
//   pause <name> / resume <name>       suspend or resume every thread of the program (to
//                                      photograph a window that would soon be gone)
//   wait-closed <ms>                   wait until the current window is gone or hidden (so
//                                      that the next wait does not find it again)
//   run <command line> <ms>            run a program, wait for it to end; print "ran <code>"
//   sleep <ms>
//   poll <ms>                          how often the waits look again (default 10)
//   clock                              print "clock <ms>": the time since the driver
//                                      started, to the microsecond, and "found <ms>": when
//                                      the last wait saw what it waited for (the benchmark
//                                      subtracts the driver's own reaction from a road)
//   wait-no-process <prefix> <ms>      wait until no process whose file name begins with
//                                      <prefix> runs (one the driver did not launch)
//   wait-file <path> <ms>              wait until the file exists (a scenario's shell says
//                                      so when it has done its part); print "file <path>"
//
// In texts, a line feed is printed as \n.
#include <windows.h>

#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <tlhelp32.h>
#include <wchar.h>

namespace {

const int kMaxPrograms = 8;
const int kMaxFields = 8;
const int kLineSize = 2048;

struct Program {
  wchar_t name[64];
  PROCESS_INFORMATION process;
};

Program g_programs[kMaxPrograms];
int g_program_count = 0;
HWND g_current = nullptr;
DWORD g_poll_ms = 10;
double g_found_ms = 0;  // when the last wait ended, from NowMs()

// Milliseconds since the driver started, from the performance counter.
double NowMs() {
  static LARGE_INTEGER start, frequency;
  LARGE_INTEGER now;
  if (frequency.QuadPart == 0) {
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
  }
  QueryPerformanceCounter(&now);
  return (double)(now.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart;
}

void PrintUtf8(const wchar_t *prefix, const wchar_t *text) {
  char buffer[8192];
  wchar_t line[4096];
  _snwprintf(line, 4095, L"%ls%ls", prefix, text);
  line[4095] = 0;
  // Escape line feeds so that each result stays on one line.
  wchar_t escaped[8192];
  size_t j = 0;
  for (size_t i = 0; line[i] && j + 2 < 8191; i++) {
    if (line[i] == L'\n') {
      escaped[j++] = L'\\';
      escaped[j++] = L'n';
    } else if (line[i] != L'\r') {
      escaped[j++] = line[i];
    }
  }
  escaped[j] = 0;
  int n = WideCharToMultiByte(CP_UTF8, 0, escaped, -1, buffer, sizeof buffer, nullptr, nullptr);
  if (n <= 0) buffer[0] = 0;
  fputs(buffer, stdout);
  fputc('\n', stdout);
  fflush(stdout);
}

[[noreturn]] void Fail(const wchar_t *what, const wchar_t *detail) {
  PrintUtf8(L"FAIL: ", what);
  if (detail && *detail) PrintUtf8(L"  ", detail);
  for (int i = 0; i < g_program_count; i++) {
    DWORD code = 0;
    if (GetExitCodeProcess(g_programs[i].process.hProcess, &code) && code == STILL_ACTIVE) {
      TerminateProcess(g_programs[i].process.hProcess, 99);
    }
  }
  exit(1);
}

Program *FindProgram(const wchar_t *name, bool required) {
  for (int i = 0; i < g_program_count; i++) {
    if (wcscmp(g_programs[i].name, name) == 0) return &g_programs[i];
  }
  if (required) Fail(L"unknown program", name);
  return nullptr;
}

struct WindowQuery {
  DWORD process_id;  // 0: any
  const wchar_t *cls;
  const wchar_t *title;
  bool box_only;     // only message boxes
  HWND found;
};

// Sets *param when the child is not something a message box holds: a message box has only
// static texts, its icon and buttons with the standard ids (below 1000).
BOOL CALLBACK FindNonBoxControl(HWND child, LPARAM param) {
  wchar_t cls[32];
  GetClassNameW(child, cls, 32);
  bool button = _wcsicmp(cls, L"Button") == 0;
  if ((button && GetDlgCtrlID(child) >= 1000) || (!button && _wcsicmp(cls, L"Static") != 0)) {
    *(bool *)param = true;
    return FALSE;
  }
  return TRUE;
}

// The installer's own dialogs, the menu among them, have buttons numbered from 1000 or
// controls of other kinds (the copy window's progress bars, the folder dialog's edit box).
bool IsMessageBox(HWND window) {
  bool other = false;
  EnumChildWindows(window, FindNonBoxControl, (LPARAM)&other);
  return !other;
}

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
  WindowQuery *q = (WindowQuery *)param;
  if (!IsWindowVisible(window)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (q->process_id != 0 && pid != q->process_id) return TRUE;
  wchar_t text[512];
  if (wcscmp(q->cls, L"*") != 0) {
    GetClassNameW(window, text, 512);
    if (wcscmp(text, q->cls) != 0) return TRUE;
  }
  if (wcscmp(q->title, L"*") != 0) {
    // The title as the system keeps it: no message to the program's threads, which a wait
    // polling every few milliseconds would otherwise keep interrupting.
    text[0] = 0;
    InternalGetWindowText(window, text, 512);
    if (wcscmp(text, q->title) != 0) return TRUE;
  }
  if (q->box_only && !IsMessageBox(window)) return TRUE;
  q->found = window;
  return FALSE;
}

HWND FindWindowOf(const wchar_t *name, const wchar_t *cls, const wchar_t *title, DWORD ms,
                  bool box_only = false) {
  Program *program = wcscmp(name, L"*") == 0 ? nullptr : FindProgram(name, true);
  DWORD start = GetTickCount();
  for (;;) {
    WindowQuery q = {program ? program->process.dwProcessId : 0, cls, title, box_only, nullptr};
    if (wcscmp(cls, L"*") != 0) {
      // Only the windows of that class (and title) are looked at: the system picks them
      // in one call, where asking each window costs the Wine server several requests on
      // every poll, which the program under test then waits behind.
      const wchar_t *wanted = wcscmp(title, L"*") != 0 ? title : nullptr;
      for (HWND w = FindWindowExW(nullptr, nullptr, cls, wanted); w != nullptr;
           w = FindWindowExW(nullptr, w, cls, wanted)) {
        if (!MatchWindow(w, (LPARAM)&q)) break;
      }
    } else {
      EnumWindows(MatchWindow, (LPARAM)&q);
    }
    if (q.found) {
      g_found_ms = NowMs();
      return q.found;
    }
    if (GetTickCount() - start >= ms) return nullptr;
    Sleep(g_poll_ms);
  }
}

void GetText(HWND window, wchar_t *text, int size) {
  text[0] = 0;
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, size, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, &result);
  text[size - 1] = 0;
}

struct ChildList {
  wchar_t *out;
  size_t size;
  bool statics_only;
  bool with_y;
};

BOOL CALLBACK ListChild(HWND child, LPARAM param) {
  ChildList *list = (ChildList *)param;
  if (!IsWindowVisible(child)) return TRUE;
  wchar_t cls[128];
  wchar_t text[2048];
  GetClassNameW(child, cls, 128);
  GetText(child, text, 2048);
  if (list->statics_only) {
    if (_wcsicmp(cls, L"Static") != 0 || text[0] == 0) return TRUE;
    if (list->out[0]) wcsncat(list->out, L"|", list->size - wcslen(list->out) - 1);
    wcsncat(list->out, text, list->size - wcslen(list->out) - 1);
  } else if (list->with_y) {
    RECT rect;
    GetWindowRect(child, &rect);
    wchar_t line[2300];
    _snwprintf(line, 2299, L"%d\t%ld\t%ls", GetDlgCtrlID(child), rect.top, text);
    line[2299] = 0;
    PrintUtf8(L"control-y\t", line);
  } else {
    wchar_t line[2300];
    _snwprintf(line, 2299, L"%d\t%ls\t%ls", GetDlgCtrlID(child), cls, text);
    line[2299] = 0;
    PrintUtf8(L"control\t", line);
  }
  return TRUE;
}

// Copies the window's rectangle of the screen into bits (32 bits a pixel).
void CaptureScreen(HWND window, DWORD *bits, int width, int height) {
  RECT rect;
  GetWindowRect(window, &rect);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info;
  memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void *pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  memcpy(bits, pixels, (size_t)width * height * 4);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

// True when the window's pixels on the screen change within ms (sampled every 50 ms).
bool ScreenChanges(HWND window, int ms) {
  RECT rect;
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0 || width * height > 1 << 20) return false;
  DWORD *first = (DWORD *)calloc((size_t)width * height, 4);
  DWORD *next = (DWORD *)calloc((size_t)width * height, 4);
  bool changed = false;
  if (first && next) {
    CaptureScreen(window, first, width, height);
    for (int waited = 0; waited < ms && !changed; waited += 50) {
      Sleep(50);
      CaptureScreen(window, next, width, height);
      changed = memcmp(first, next, (size_t)width * height * 4) != 0;
    }
  }
  free(first);
  free(next);
  return changed;
}

// Saves the window's rectangle of the screen as a 24-bit bottom-up BMP.
bool SaveScreenshot(HWND window, const wchar_t *path) {
  RECT rect;
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0 || width * height > 1 << 22) return false;
  DWORD *pixels = (DWORD *)calloc((size_t)width * height, 4);
  if (!pixels) return false;
  CaptureScreen(window, pixels, width, height);
  int stride = (width * 3 + 3) & ~3;
  BITMAPFILEHEADER file;
  BITMAPINFOHEADER info;
  memset(&file, 0, sizeof file);
  memset(&info, 0, sizeof info);
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + (DWORD)stride * height;
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  unsigned char *row = (unsigned char *)calloc(stride, 1);
  FILE *out = _wfopen(path, L"wb");
  bool ok = out && row && fwrite(&file, sizeof file, 1, out) == 1 &&
            fwrite(&info, sizeof info, 1, out) == 1;
  for (int y = height - 1; ok && y >= 0; y--) {
    for (int x = 0; x < width; x++) {
      DWORD p = pixels[(size_t)y * width + x];
      row[x * 3] = (unsigned char)p;
      row[x * 3 + 1] = (unsigned char)(p >> 8);
      row[x * 3 + 2] = (unsigned char)(p >> 16);
    }
    ok = fwrite(row, stride, 1, out) == 1;
  }
  if (out && fclose(out) != 0) ok = false;
  free(row);
  free(pixels);
  return ok;
}

struct LabelQuery {
  const wchar_t *text;
  HWND found;
};

BOOL CALLBACK MatchLabel(HWND child, LPARAM param) {
  LabelQuery *q = (LabelQuery *)param;
  wchar_t text[512];
  if (!IsWindowVisible(child)) return TRUE;
  GetText(child, text, 512);
  if (wcscmp(text, q->text) != 0) return TRUE;
  q->found = child;
  return FALSE;
}

// Suspends (or resumes) every thread of the program.
void SuspendProgram(Program *p, bool suspend) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) Fail(L"cannot list threads", p->name);
  THREADENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != p->process.dwProcessId) continue;
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
    if (!thread) continue;
    if (suspend) {
      SuspendThread(thread);
    } else {
      ResumeThread(thread);
    }
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
}

HWND RequireCurrent() {
  if (!g_current || !IsWindow(g_current)) Fail(L"no current window", L"");
  return g_current;
}

HWND Control(const wchar_t *id) {
  HWND control = GetDlgItem(RequireCurrent(), _wtoi(id));
  if (!control) Fail(L"no control with id", id);
  return control;
}

void Run(wchar_t **f, int n) {
  const wchar_t *cmd = f[0];
  bool with_args = wcscmp(cmd, L"launch-with") == 0 && n == 4;
  if ((wcscmp(cmd, L"launch") == 0 && n >= 3) || with_args) {
    if (g_program_count == kMaxPrograms) Fail(L"too many programs", L"");
    Program *p = &g_programs[g_program_count];
    wcsncpy(p->name, f[1], 63);
    p->name[63] = 0;
    wchar_t command[1024];
    _snwprintf(command, 1023, L"\"%ls\"%ls%ls", f[2], with_args ? L" " : L"",
               with_args ? f[3] : L"");
    command[1023] = 0;
    STARTUPINFOW si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr,
                        n >= 4 && !with_args ? f[3] : nullptr, &si, &p->process)) {
      Fail(L"cannot launch", f[2]);
    }
    g_program_count++;
    PrintUtf8(L"launched\t", f[1]);
  } else if ((wcscmp(cmd, L"wait-window") == 0 && (n == 5 || n == 6)) ||
             (wcscmp(cmd, L"wait-box") == 0 && (n == 3 || n == 4))) {
    bool box = cmd[5] == L'b';
    HWND w = box ? FindWindowOf(f[1], L"#32770", L"*", _wtoi(f[2]), true)
                 : FindWindowOf(f[1], f[2], f[3], _wtoi(f[4]));
    if (!w) Fail(L"window did not appear", box ? L"#32770" : f[2]);
    g_current = w;
    int settle = box ? (n == 4 ? _wtoi(f[3]) : 200) : (n == 6 ? _wtoi(f[5]) : 200);
    Sleep(settle);  // let the dialog finish its initialisation
    wchar_t title[512];
    GetText(w, title, 512);
    PrintUtf8(L"window\t", title);
  } else if (wcscmp(cmd, L"expect-no-window") == 0 && n == 4) {
    HWND w = FindWindowOf(f[1], f[2], L"*", _wtoi(f[3]));
    if (w) Fail(L"unexpected window", f[2]);
    PrintUtf8(L"no-window\t", f[2]);
  } else if (wcscmp(cmd, L"caption") == 0) {
    wchar_t title[512];
    GetText(RequireCurrent(), title, 512);
    PrintUtf8(L"caption\t", title);
  } else if (wcscmp(cmd, L"text") == 0) {
    wchar_t out[4096] = L"";
    ChildList list = {out, 4096, true, false};
    EnumChildWindows(RequireCurrent(), ListChild, (LPARAM)&list);
    PrintUtf8(L"text\t", out);
  } else if (wcscmp(cmd, L"controls") == 0) {
    ChildList list = {nullptr, 0, false, false};
    EnumChildWindows(RequireCurrent(), ListChild, (LPARAM)&list);
  } else if (wcscmp(cmd, L"controls-y") == 0) {
    ChildList list = {nullptr, 0, false, true};
    EnumChildWindows(RequireCurrent(), ListChild, (LPARAM)&list);
  } else if (wcscmp(cmd, L"focus") == 0) {
    HWND w = RequireCurrent();
    GUITHREADINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    int id = 0;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info) && info.hwndFocus) {
      id = GetDlgCtrlID(info.hwndFocus);
    }
    wchar_t text[32];
    _snwprintf(text, 31, L"%d", id);
    text[31] = 0;
    PrintUtf8(L"focus\t", text);
  } else if (wcscmp(cmd, L"progress") == 0 && n == 2) {
    // The bar's messages carry no pointers, so they work across processes.
    HWND bar = Control(f[1]);
    wchar_t text[96];
    _snwprintf(text, 95, L"%ls\t%d\t%d\t%d", f[1], (int)SendMessageW(bar, PBM_GETPOS, 0, 0),
               (int)SendMessageW(bar, PBM_GETRANGE, TRUE, 0),
               (int)SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
    text[95] = 0;
    PrintUtf8(L"progress\t", text);
  } else if (wcscmp(cmd, L"animating") == 0 && n == 3) {
    wchar_t text[64];
    _snwprintf(text, 63, L"%ls\t%d", f[1], ScreenChanges(Control(f[1]), _wtoi(f[2])) ? 1 : 0);
    text[63] = 0;
    PrintUtf8(L"animating\t", text);
  } else if (wcscmp(cmd, L"click") == 0 && n == 2) {
    PostMessageW(Control(f[1]), BM_CLICK, 0, 0);
    PrintUtf8(L"clicked\t", f[1]);
  } else if (wcscmp(cmd, L"click-label") == 0 && n == 2) {
    LabelQuery q = {f[1], nullptr};
    EnumChildWindows(RequireCurrent(), MatchLabel, (LPARAM)&q);
    if (!q.found) Fail(L"no button with the label", f[1]);
    PostMessageW(q.found, BM_CLICK, 0, 0);
    PrintUtf8(L"clicked\t", f[1]);
  } else if (wcscmp(cmd, L"type") == 0 && n == 3) {
    SendMessageW(Control(f[1]), WM_SETTEXT, 0, (LPARAM)f[2]);
    PrintUtf8(L"typed\t", f[2]);
  } else if (wcscmp(cmd, L"key") == 0 && n == 2) {
    HWND w = RequireCurrent();
    GUITHREADINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    HWND target = w;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info) && info.hwndFocus) {
      target = info.hwndFocus;
    }
    WPARAM vk = (WPARAM)_wtoi(f[1]);
    PostMessageW(target, WM_KEYDOWN, vk, 1);
    PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
    PrintUtf8(L"key\t", f[1]);
  } else if (wcscmp(cmd, L"close") == 0) {
    PostMessageW(RequireCurrent(), WM_CLOSE, 0, 0);
    PrintUtf8(L"closed", L"");
  } else if (wcscmp(cmd, L"clipboard") == 0) {
    wchar_t text[4096] = L"";
    for (int attempt = 0; attempt < 50; attempt++) {
      if (OpenClipboard(nullptr)) {
        HANDLE data = GetClipboardData(CF_UNICODETEXT);
        if (data) {
          const wchar_t *p = (const wchar_t *)GlobalLock(data);
          if (p) {
            wcsncpy(text, p, 4095);
            text[4095] = 0;
          }
          GlobalUnlock(data);
        }
        CloseClipboard();
        break;
      }
      Sleep(20);
    }
    PrintUtf8(L"clipboard\t", text);
  } else if (wcscmp(cmd, L"clear-clipboard") == 0) {
    if (OpenClipboard(nullptr)) {
      EmptyClipboard();
      CloseClipboard();
    }
    PrintUtf8(L"cleared", L"");
  } else if (wcscmp(cmd, L"hold-mutex") == 0 && n == 2) {
    if (!CreateMutexW(nullptr, TRUE, f[1])) Fail(L"cannot create mutex", f[1]);
    PrintUtf8(L"holding\t", f[1]);
  } else if (wcscmp(cmd, L"post-quit") == 0 && n == 3) {
    Program *p = FindProgram(f[1], true);
    PostThreadMessageW(p->process.dwThreadId, WM_QUIT, (WPARAM)_wtoi(f[2]), 0);
    PrintUtf8(L"posted\t", f[2]);
  } else if (wcscmp(cmd, L"wait-exit") == 0 && n == 3) {
    Program *p = FindProgram(f[1], true);
    if (WaitForSingleObject(p->process.hProcess, _wtoi(f[2])) != WAIT_OBJECT_0) {
      Fail(L"program did not end", f[1]);
    }
    g_found_ms = NowMs();
    DWORD code = 0;
    GetExitCodeProcess(p->process.hProcess, &code);
    wchar_t text[32];
    _snwprintf(text, 31, L"%d", (int)code);
    text[31] = 0;
    PrintUtf8(L"exit\t", text);
  } else if (wcscmp(cmd, L"screenshot") == 0 && n == 2) {
    if (!SaveScreenshot(RequireCurrent(), f[1])) Fail(L"cannot save the screenshot", f[1]);
    PrintUtf8(L"screenshot\t", f[1]);
  } else if ((wcscmp(cmd, L"pause") == 0 || wcscmp(cmd, L"resume") == 0) && n == 2) {
    SuspendProgram(FindProgram(f[1], true), cmd[0] == L'p');
    PrintUtf8(cmd[0] == L'p' ? L"paused\t" : L"resumed\t", f[1]);
  } else if (wcscmp(cmd, L"wait-closed") == 0 && n == 2) {
    HWND w = RequireCurrent();
    DWORD start = GetTickCount();
    while (IsWindow(w) && IsWindowVisible(w)) {
      if (GetTickCount() - start >= (DWORD)_wtoi(f[1])) Fail(L"window did not close", L"");
      Sleep(10);
    }
    g_current = nullptr;
    PrintUtf8(L"closed-window", L"");
  } else if (wcscmp(cmd, L"run") == 0 && n == 3) {
    wchar_t command[1024];
    wcsncpy(command, f[1], 1023);
    command[1023] = 0;
    STARTUPINFOW si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &process)) {
      Fail(L"cannot run", f[1]);
    }
    if (WaitForSingleObject(process.hProcess, _wtoi(f[2])) != WAIT_OBJECT_0) {
      TerminateProcess(process.hProcess, 99);
      Fail(L"program did not end", f[1]);
    }
    g_found_ms = NowMs();
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    wchar_t text[32];
    _snwprintf(text, 31, L"%d", (int)code);
    text[31] = 0;
    PrintUtf8(L"ran\t", text);
  } else if (wcscmp(cmd, L"sleep") == 0 && n == 2) {
    Sleep(_wtoi(f[1]));
  } else if (wcscmp(cmd, L"wait-file") == 0 && n == 3) {
    DWORD start = GetTickCount();
    while (GetFileAttributesW(f[1]) == INVALID_FILE_ATTRIBUTES) {
      if (GetTickCount() - start > (DWORD)_wtoi(f[2])) Fail(L"file did not appear", f[1]);
      Sleep(g_poll_ms);
    }
    PrintUtf8(L"file\t", f[1]);
  } else if (wcscmp(cmd, L"wait-no-process") == 0 && n == 3) {
    DWORD start = GetTickCount();
    size_t length = wcslen(f[1]);
    for (;;) {
      HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
      if (snapshot == INVALID_HANDLE_VALUE) Fail(L"cannot list processes", f[1]);
      PROCESSENTRY32W entry;
      entry.dwSize = sizeof entry;
      bool running = false;
      for (BOOL more = Process32FirstW(snapshot, &entry); more && !running;
           more = Process32NextW(snapshot, &entry)) {
        running = _wcsnicmp(entry.szExeFile, f[1], length) == 0;
      }
      CloseHandle(snapshot);
      if (!running) break;
      if (GetTickCount() - start >= (DWORD)_wtoi(f[2])) Fail(L"process did not end", f[1]);
      Sleep(10);
    }
    PrintUtf8(L"no-process\t", f[1]);
  } else if (wcscmp(cmd, L"poll") == 0 && n == 2) {
    g_poll_ms = (DWORD)_wtoi(f[1]);
    PrintUtf8(L"poll\t", f[1]);
  } else if (wcscmp(cmd, L"clock") == 0 && n == 1) {
    wchar_t text[64];
    _snwprintf(text, 63, L"%.3f\tfound\t%.3f", NowMs(), g_found_ms);
    text[63] = 0;
    PrintUtf8(L"clock\t", text);
  } else {
    Fail(L"unknown command or wrong number of fields", cmd);
  }
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc != 2) {
    fputs("usage: uidriver <script>\n", stderr);
    return 2;
  }
  NowMs();  // the clock starts here
  FILE *script = _wfopen(argv[1], L"rb");
  if (!script) Fail(L"cannot open script", argv[1]);
  char raw[kLineSize];
  while (fgets(raw, sizeof raw, script)) {
    size_t length = strlen(raw);
    while (length && (raw[length - 1] == '\n' || raw[length - 1] == '\r')) raw[--length] = 0;
    if (length == 0 || raw[0] == '#') continue;
    wchar_t line[kLineSize];
    if (!MultiByteToWideChar(CP_UTF8, 0, raw, -1, line, kLineSize)) continue;
    wchar_t *fields[kMaxFields];
    int n = 0;
    wchar_t *p = line;
    while (n < kMaxFields) {
      fields[n++] = p;
      wchar_t *tab = wcschr(p, L'\t');
      if (!tab) break;
      *tab = 0;
      p = tab + 1;
    }
    Run(fields, n);
  }
  fclose(script);
  return 0;
}
