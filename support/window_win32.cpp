#include "support/window.h"

#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "support/sjis.h"

namespace {
HWND g_owner_window = nullptr;
}  // namespace

void SetOwnerWindow(HWND window) { g_owner_window = window; }

HWND OwnerWindow() { return g_owner_window; }

HINSTANCE OwnerInstance() {
  return g_owner_window != nullptr ? (HINSTANCE)GetWindowLongPtrA(g_owner_window, GWLP_HINSTANCE)
                                   : GetModuleHandleA(nullptr);
}

int PumpMessages() {
  int count = 0;
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) exit((int)message.wParam);
    TranslateMessage(&message);
    DispatchMessageA(&message);
    count++;
  }
  return count;
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
  SHELLEXECUTEINFOA info;
  memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  info.hwnd = OwnerWindow();
  info.lpVerb = "open";
  info.lpFile = path;
  info.nShow = SW_SHOWNORMAL;
  ShellExecuteExA(&info);
}

int LaunchProgram(const char *path) {
  char command_line[kPathSize];
  int n = snprintf(command_line, sizeof command_line, "\"%s\"", path);
  if (n < 0 || n >= (int)sizeof command_line) return 0;
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.wShowWindow = SW_SHOWDEFAULT;
  PROCESS_INFORMATION process;
  memset(&process, 0, sizeof process);
  BOOL created = CreateProcessA(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &startup, &process);
  if (created) {
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  return created;
}
