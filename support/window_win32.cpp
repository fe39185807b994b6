#include "support/window.h"

#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "support/sjis.h"
#include "support/wide_text.h"

namespace {
HWND g_owner_window = nullptr;
}  // namespace

void SetOwnerWindow(HWND window) { g_owner_window = window; }

HWND OwnerWindow() { return g_owner_window; }

HINSTANCE OwnerInstance() {
  return g_owner_window != nullptr ? (HINSTANCE)GetWindowLongPtrW(g_owner_window, GWLP_HINSTANCE)
                                   : GetModuleHandleW(nullptr);
}

int PumpMessages() {
  int count = 0;
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) exit((int)message.wParam);
    TranslateMessage(&message);
    DispatchMessageW(&message);
    count++;
  }
  return count;
}

void WaitPumpingMessages(HANDLE handle) {
  while (MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT) ==
         WAIT_OBJECT_0 + 1) {
    PumpMessages();
  }
}

void CenterWindow(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  HDC dc = GetDC(window);
  int screen_width = GetDeviceCaps(dc, HORZRES);
  int screen_height = GetDeviceCaps(dc, VERTRES);
  ReleaseDC(window, dc);
  SetWindowPos(window, nullptr, (screen_width - width) / 2, (screen_height - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);
}

void LaunchDocument(const char *path) {
  wchar_t wide[kWidePathSize];
  if (SjisToWide(path, wide, kWidePathSize) != 0) return;
  SHELLEXECUTEINFOW info;
  memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  info.hwnd = OwnerWindow();
  info.lpVerb = L"open";
  info.lpFile = wide;
  info.nShow = SW_SHOWNORMAL;
  ShellExecuteExW(&info);
}

int LaunchProgram(const char *path) {
  char command_line[kPathSize];
  int n = snprintf(command_line, sizeof command_line, "\"%s\"", path);
  if (n < 0 || n >= (int)sizeof command_line) return 0;
  wchar_t wide[kWidePathSize];
  if (SjisToWide(command_line, wide, kWidePathSize) != 0) return 0;
  STARTUPINFOW startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.wShowWindow = SW_SHOWDEFAULT;
  PROCESS_INFORMATION process;
  memset(&process, 0, sizeof process);
  BOOL created = CreateProcessW(nullptr, wide, nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &startup, &process);
  if (created) {
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  return created;
}
