// Window services shared by the installer's dialogs: the owner of every box and dialog,
// draining the message queue during long work, centring, and starting programs and
// documents. Windows only.
#ifndef FERN_SUPPORT_WINDOW_H
#define FERN_SUPPORT_WINDOW_H

#include <windows.h>

// The window that owns every message box, child dialog and shell launch: null until the
// menu records itself, never cleared.
void SetOwnerWindow(HWND window);
HWND OwnerWindow();
// The module whose dialog templates the OwnerWindow's dialogs use: the owner's instance,
// or the program's own while there is no owner.
HINSTANCE OwnerInstance();

// Dispatches every queued message without waiting; a WM_QUIT ends the program with its
// wParam as exit code. Returns the number of messages dispatched.
int PumpMessages();
// Waits for handle to be signalled while dispatching this thread's messages: another
// thread of the program may send one to a window of this thread meanwhile, and a wait
// that did not take it would hang both.
void WaitPumpingMessages(HANDLE handle);

// Moves the window to the middle of the screen; size and Z order stay.
void CenterWindow(HWND window);

// Opens a document with its associated program; failures are not reported.
void LaunchDocument(const char *path);

// Starts a program without waiting for it; nonzero when the process was created. A path
// that does not fit the 260-byte command line (with its quotes) is refused.
int LaunchProgram(const char *path);

#endif
