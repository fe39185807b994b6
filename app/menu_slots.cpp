#include "app/menu_slots.h"

#include <string.h>

#include "support/sjis.h"

const int kMenuButtonIds[kMenuSlotCount] = {1000, 1001, 1002, 1003, 1004,
                                            1005, 1006, 1007, 1008};

const char kNoReadmeLabel[] = "-";
const char kDefaultReadmeFile[] = "readme.txt";
const char kDirectXFolder[] = "DirectX";
const char kDirectXProgram[] = "DirectX\\dxsetup.exe";

namespace {

const char kExitLabel[] = "終了";
const char kDirectXLabel[] = "DirectXインストール";
const char kInstallLabel[] = "インストール";

}  // namespace

void AssignMenuSlots(MenuState *state, int has_directx, const char *readme_label) {
  int next = 0;
  state->busy = 0;
  state->action[next] = kMenuActionExit;
  state->label[next++] = kExitLabel;
  if (has_directx) {
    state->action[next] = kMenuActionDirectX;
    state->label[next++] = kDirectXLabel;
  }
  if (readme_label != nullptr && readme_label[0] != '-') {
    state->action[next] = kMenuActionReadme;
    state->label[next++] = readme_label;
  }
  state->action[next] = kMenuActionInstall;
  state->label[next++] = kInstallLabel;
  state->used = next;
  for (int slot = next; slot < kMenuSlotCount; slot++) {
    state->action[slot] = kMenuActionNone;
    state->label[slot] = nullptr;
  }
}

int FindMenuSlot(uintptr_t command) {
  for (int slot = 0; slot < kMenuSlotCount; slot++) {
    if (command == (uintptr_t)kMenuButtonIds[slot]) return slot;
  }
  return -1;
}

int HandleMenuCommand(MenuState *state, uintptr_t command, MenuActionRunner run,
                      void *context) {
  if (state->busy) return 0;
  state->busy = 1;
  int slot = FindMenuSlot(command);
  int ran = 0;
  if (slot >= 0 && state->action[slot] != kMenuActionNone) {
    run(state->action[slot], context);
    ran = 1;
  }
  state->busy = 0;
  return ran;
}

int MenuMayClose(const MenuState *state) { return !state->busy; }

void PlaceMenuPicture(int32_t client_height, int32_t width, int32_t height, int32_t *x,
                      int32_t *y) {
  // 64-bit differences: a huge picture must not overflow; C++ division truncates toward
  // zero, and the halves of 32-bit values fit 32 bits again.
  *x = (int32_t)(((int64_t)client_height - width) / 2);
  *y = (int32_t)(((int64_t)client_height - height) / 2);
}

int BuildPathBeside(const char *module_path, const char *name, char *out, size_t size) {
  if (size == 0) return -1;
  out[0] = 0;
  const char *last = nullptr;
  for (const char *p = FindSeparator(module_path, false); p != nullptr;
       p = FindSeparator(p + 1, false)) {
    last = p;
  }
  if (last == nullptr) return -1;
  size_t folder = (size_t)(last - module_path) + 1;  // the backslash included
  size_t length = strlen(name);
  if (folder + length >= size) return -1;
  memcpy(out, module_path, folder);
  memcpy(out + folder, name, length + 1);
  return 0;
}
