// Stands in for a running game that keeps one of its files open: opens the file named in
// "<its own path>.target" (one line, UTF-8) with no sharing at all, shows a window titled
// "hold_file" so that a script knows the file is held, and keeps it open until it gets
// WM_QUIT (uidriver's post-quit). Ends with 1 when the file cannot be opened.
#include <windows.h>

#include <stdio.h>
#include <string.h>

int main() {
  wchar_t self[MAX_PATH + 8];
  DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 1;
  lstrcatW(self, L".target");
  FILE *list = _wfopen(self, L"rb");
  if (!list) return 1;
  char utf8[1024] = "";
  if (!fgets(utf8, sizeof utf8, list)) utf8[0] = 0;
  fclose(list);
  utf8[strcspn(utf8, "\r\n")] = 0;
  wchar_t target[MAX_PATH];
  if (!MultiByteToWideChar(CP_UTF8, 0, utf8, -1, target, MAX_PATH)) return 1;
  HANDLE file = CreateFileW(target, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  CreateWindowW(L"STATIC", L"hold_file", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 80,
                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  CloseHandle(file);
  return 0;
}
