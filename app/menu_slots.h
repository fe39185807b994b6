// The main menu's decisions, kept apart from the dialog so that they run natively: which
// action each button of the column carries, which button a command came from, the busy
// guard around an action, where the picture goes, and where the DirectX set-up lives.
//
// Portable; no windows.h. The dialog procedure (menu_win32.cpp) applies these results to
// its window.
#ifndef FERN_APP_MENU_SLOTS_H
#define FERN_APP_MENU_SLOTS_H

#include <stddef.h>
#include <stdint.h>

// Nine button slots; slot 0 is the bottom of the column, higher slots stand higher, and
// slot 8 is the small button at the top right.
enum { kMenuSlotCount = 9 };

// The buttons' control ids in slot order (1000 to 1008).
extern const int kMenuButtonIds[kMenuSlotCount];

// What a slot's button does. 0 marks a slot whose button has been destroyed.
enum MenuAction {
  kMenuActionNone = 0,
  kMenuActionInstall = 1,
  kMenuActionDirectX = 2,
  kMenuActionExit = 3,
  kMenuActionReadme = 5,
};

// The readme setting's value when the readme is not offered, and the readme file's name
// when the settings do not give one.
extern const char kNoReadmeLabel[];     // "-"
extern const char kDefaultReadmeFile[];  // "readme.txt"

// The DirectX set-up program and its folder, relative to the folder of the installer's
// own executable (the disc).
extern const char kDirectXFolder[];   // "DirectX"
extern const char kDirectXProgram[];  // "DirectX\\dxsetup.exe"

// The menu's state besides its window and picture. Not reentrant in the sense of two
// menus: the installer keeps one of these for its one menu.
struct MenuState {
  int busy;                        // set while a button's action runs
  int action[kMenuSlotCount];      // MenuAction per slot
  const char *label[kMenuSlotCount];  // label per used slot, null for destroyed ones
  int used;                        // slots 0 .. used-1 carry a button; the rest are gone
};

// Fills the slots from the bottom up: exit; DirectX set-up when has_directx; the readme
// when readme_label (the INSTREADME value) does not begin with "-", labelled with the
// value itself (the pointer is kept, so the text must outlive the labels' use); install.
// Clears busy.
void AssignMenuSlots(MenuState *state, int has_directx, const char *readme_label);

// The slot whose button id equals the whole command value, or -1. A button click carries
// its id with notification 0, so a command with a notification code in its high word, or
// IDOK/IDCANCEL from the dialog manager, matches nothing.
int FindMenuSlot(uintptr_t command);

// Runs one action for the menu.
typedef void (*MenuActionRunner)(int action, void *context);

// Handles a command: ignored while busy; otherwise the matching slot's action runs with
// busy set, so commands arriving from the nested message loops of the action are dropped.
// Returns 1 when an action was run, 0 when the command was ignored or matched no slot.
int HandleMenuCommand(MenuState *state, uintptr_t command, MenuActionRunner run,
                      void *context);

// A close request is honoured only while no action runs.
int MenuMayClose(const MenuState *state);

// Top-left corner of the picture in the client area: centred vertically, and horizontally
// within a square band at the left edge as wide as the client area is high. Signed, the
// quotient truncated toward zero; a picture larger than the band gets a negative origin.
void PlaceMenuPicture(int32_t client_height, int32_t width, int32_t height, int32_t *x,
                      int32_t *y);

// module_path's folder (up to its last backslash that is a character of its own), then a
// backslash and name, into out. 0, or -1 (out empty) when module_path has no folder or
// the result does not fit size bytes.
int BuildPathBeside(const char *module_path, const char *name, char *out, size_t size);

#endif
