#include <windows.h>

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "support/file_io.h"
#include "support/messages.h"
#include "support/wide_win32.h"
#include "support/window.h"

namespace {

// Serialises the opening of resource files; created on first use and deleted at exit.
CRITICAL_SECTION g_resource_lock;
bool g_resource_lock_ready = false;

void DeleteResourceLock() {
  if (g_resource_lock_ready) DeleteCriticalSection(&g_resource_lock);
  g_resource_lock_ready = false;
}

void EnterResourceLock() {
  if (!g_resource_lock_ready) {
    InitializeCriticalSection(&g_resource_lock);
    g_resource_lock_ready = true;
    atexit(DeleteResourceLock);
  }
  EnterCriticalSection(&g_resource_lock);
}

// Shows one box: the owner brought forward, the text on the clipboard when asked, the
// owner's title as caption. Returns MessageBoxW's result.
int ShowBox(UINT style, bool to_clipboard, const char *format, va_list args) {
  char text[kMessageSize];
  FormatMessageText(text, sizeof text, format, args);
  HWND owner = OwnerWindow();
  SetForegroundWindow(owner);
  if (to_clipboard) CopyTextToClipboard(text);
  wchar_t wide_text[kMessageSize];
  SjisToWideShown(text, wide_text, kMessageSize);
  wchar_t caption[260];
  caption[0] = 0;
  if (owner != nullptr) GetWindowTextW(owner, caption, 260);
  return MessageBoxW(owner, wide_text, caption, style);
}

}  // namespace

void ErrorBox(const char *format, ...) {
  va_list args;
  va_start(args, format);
  ShowBox(MB_OK | MB_ICONERROR, true, format, args);
  va_end(args);
}

void RetryBox(const char *format, ...) {
  va_list args;
  va_start(args, format);
  int answer = ShowBox(MB_RETRYCANCEL | MB_ICONERROR, true, format, args);
  va_end(args);
  if (answer == IDCANCEL) exit(-1);
}

int ConfirmBox(const char *format, ...) {
  va_list args;
  va_start(args, format);
  int answer = ShowBox(MB_YESNO | MB_ICONQUESTION, false, format, args);
  va_end(args);
  return answer == IDYES ? 1 : 0;
}

int CopyTextToClipboard(const char *text) {
  // As Unicode text: Windows gives the other clipboard formats from it, so programs that
  // read byte strings get them in their own code page.
  wchar_t wide[kMessageSize];
  SjisToWideShown(text, wide, kMessageSize);
  size_t bytes = (wcslen(wide) + 1) * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
  if (block == nullptr) return -1;
  void *memory = GlobalLock(block);
  if (memory != nullptr) memcpy(memory, wide, bytes);
  GlobalUnlock(block);
  // Another program may hold the clipboard for a moment; try a few times.
  bool opened = false;
  for (int attempt = 0; attempt < 20 && !opened; attempt++) {
    opened = OpenClipboard(GetActiveWindow()) != 0;
    if (!opened) Sleep(10);
  }
  if (!opened) {
    GlobalFree(block);
    return 0;
  }
  EmptyClipboard();
  if (SetClipboardData(CF_UNICODETEXT, block) == nullptr) GlobalFree(block);
  CloseClipboard();
  return 0;
}

FILE *OpenResourceFile(const char *name, const char *mode) {
  for (;;) {
    EnterResourceLock();
    FILE *file = FileOpen(name, mode);
    LeaveCriticalSection(&g_resource_lock);
    if (file != nullptr) return file;
    RetryBox("Ffopen : ファイル[%s]の読み込みで失敗しました", name);
  }
}

int ResourceExists(const char *name) {
  EnterResourceLock();
  FILE *file = FileOpen(name, "rb");
  if (file != nullptr) fclose(file);
  LeaveCriticalSection(&g_resource_lock);
  return file != nullptr ? 1 : 0;
}
