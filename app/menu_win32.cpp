// The main menu dialog. The button column is decided by menu_slots.cpp; this file applies
// it to the MAINDIALOG window, paints the picture and runs the actions.
#include "app/menu.h"

#include <stdlib.h>
#include <string.h>

#include "app/menu_slots.h"
#include "app/workfolder.h"
#include "install/install.h"
#include "picture/rct_decode.h"
#include "picture/surface.h"
#include "settings/settings_file.h"
#include "support/sjis.h"
#include "support/wide_win32.h"
#include "support/window.h"

namespace {

const wchar_t kMenuTemplate[] = L"MAINDIALOG";
const char kMenuPictureName[] = "insttscr.rct";

// The menu's module state: one menu per process, on the user-interface thread.
struct Menu {
  HWND window;
  MenuState state;
  Surface *picture;  // null when the picture could not be loaded: nothing is painted
  int32_t origin_x;  // client-area position of the picture's top-left corner
  int32_t origin_y;
  // Receives INSTREADME (whose text then labels the readme button) and INSTREADMEFL.
  char text[kSettingTextSize];
};

Menu g_menu;

// Path of name beside the installer's own executable (the disc), or -1.
int PathBesideInstaller(const char *name, char *out, size_t size) {
  char module[kPathSize];
  DWORD length = SjisGetModuleFileName(nullptr, module, sizeof module);
  if (length == 0 || length >= sizeof module) return -1;
  return BuildPathBeside(module, name, out, size);
}

int DiscHasDirectXFolder() {
  char folder[kPathSize];
  if (PathBesideInstaller(kDirectXFolder, folder, sizeof folder) != 0) return 0;
  DWORD attributes = SjisGetFileAttributes(folder);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void CloseMenu() {
  ReleaseSurface(g_menu.picture, 1);
  g_menu.picture = nullptr;
  RemoveWorkFolder();
  EndDialog(g_menu.window, 0);
}

void RunAction(int action, void *) {
  switch (action) {
    case kMenuActionInstall:
      if (RunInstall() == 0) CloseMenu();
      break;
    case kMenuActionDirectX: {
      char program[kPathSize];
      if (PathBesideInstaller(kDirectXProgram, program, sizeof program) == 0) {
        LaunchProgram(program);
      }
      break;
    }
    case kMenuActionExit:
      CloseMenu();
      break;
    case kMenuActionReadme:
      GetSetting("INSTREADMEFL", g_menu.text, sizeof g_menu.text, kDefaultReadmeFile);
      LaunchDocument(g_menu.text);
      break;
    default:
      break;
  }
}

void OnInitDialog(HWND window) {
  g_menu.window = window;
  SetOwnerWindow(window);
  CenterWindow(window);
  SjisSetWindowText(window, GetStartupTitle());

  GetSetting("INSTREADME", g_menu.text, sizeof g_menu.text, kNoReadmeLabel);
  AssignMenuSlots(&g_menu.state, DiscHasDirectXFolder(), g_menu.text);
  for (int slot = 0; slot < kMenuSlotCount; slot++) {
    HWND button = GetDlgItem(window, kMenuButtonIds[slot]);
    if (slot < g_menu.state.used) {
      SjisSetWindowText(button, g_menu.state.label[slot]);
    } else if (button != nullptr) {
      DestroyWindow(button);
    }
  }
  // The keyboard focus starts on the top button of the column, install, so that Enter
  // and Space act on the first choice; set through the dialog manager, which also moves
  // the default-button look, and not through synthesised key presses, which would reach
  // whatever window had the focus.
  HWND top = GetDlgItem(window, kMenuButtonIds[g_menu.state.used - 1]);
  if (top != nullptr) SendMessageW(window, WM_NEXTDLGCTL, (WPARAM)top, TRUE);

  g_menu.picture = LoadRctPicture(kMenuPictureName);
  if (g_menu.picture != nullptr) {
    RECT client;
    GetClientRect(window, &client);
    PlaceMenuPicture(client.bottom - client.top, g_menu.picture->width,
                     g_menu.picture->height, &g_menu.origin_x, &g_menu.origin_y);
  }
}

void OnPaint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  const Surface *picture = g_menu.picture;
  if (dc != nullptr && picture != nullptr) {
    StretchDIBits(dc, g_menu.origin_x, g_menu.origin_y, picture->width, picture->height, 0,
                  0, picture->width, picture->height, picture->bits,
                  (const BITMAPINFO *)picture->info, DIB_RGB_COLORS, SRCCOPY);
  }
  EndPaint(window, &paint);
}

}  // namespace

INT_PTR CALLBACK MainMenuProc(HWND window, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(window);
      break;
    case WM_PAINT:
      OnPaint(window);
      break;
    case WM_COMMAND:
      HandleMenuCommand(&g_menu.state, (uintptr_t)wparam, RunAction, nullptr);
      break;
    case WM_CLOSE:
      if (MenuMayClose(&g_menu.state)) CloseMenu();
      break;
    default:
      break;
  }
  return FALSE;
}

int RunMainMenu(HINSTANCE instance) {
  for (;;) {
    INT_PTR result = DialogBoxParamW(instance, kMenuTemplate, nullptr, MainMenuProc, 0);
    // The dialog's loop leaves a WM_QUIT it met in the queue and ends; the program then
    // ends with its code, as when messages are drained during long work.
    MSG quit;
    if (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) exit((int)quit.wParam);
    if (result == 0) return 0;
    // Showing it again would fail again without end.
    if (result == -1) return -1;
  }
}
