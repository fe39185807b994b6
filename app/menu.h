// The main menu: a modal dialog from the template MAINDIALOG with the menu picture on
// the left and a column of buttons on the right (install, DirectX set-up, readme, exit).
// While it exists it is the OwnerWindow of every box and child dialog. Windows only.
#ifndef FERN_APP_MENU_H
#define FERN_APP_MENU_H

#include <windows.h>

// The dialog procedure of MAINDIALOG. It returns FALSE for every message, so the dialog
// manager sets no initial focus of its own and handles every message as well.
INT_PTR CALLBACK MainMenuProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Shows the menu until it closes. Returns 0 when it closed (the picture is released and
// the WorkFolder removed), -1 when the dialog could not be created. A WM_QUIT that ended
// the dialog's message loop ends the program with its wParam, leaving the WorkFolder.
int RunMainMenu(HINSTANCE instance);

#endif
