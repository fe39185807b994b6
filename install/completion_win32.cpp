// The completion dialog: with a readme label in the settings it offers a box to open the
// readme (ENDINSTALL_VISTA), else only OK (ENDINSTALL_VISTA_SHORT).
#include <windows.h>

#include "install/install_steps.h"
#include "settings/settings_file.h"
#include "support/wide_win32.h"
#include "support/window.h"

namespace {

enum { kReadmeBox = 1007, kLabelSize = 512 };

// Module state: the label shown on the box and the player's choice.
struct Completion {
  char readme_label[kLabelSize];
  int readme_chosen;
};
Completion g_completion;

INT_PTR CALLBACK CompletionDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      if (GetDlgItem(dialog, kReadmeBox)) {
        SendDlgItemMessageW(dialog, kReadmeBox, BM_SETCHECK, BST_UNCHECKED, 0);
        SjisSetDlgItemText(dialog, kReadmeBox, g_completion.readme_label);
      }
      CenterWindow(dialog);
      return TRUE;
    case WM_COMMAND:
      if (wparam == IDOK) {
        g_completion.readme_chosen = IsDlgButtonChecked(dialog, kReadmeBox) == BST_CHECKED;
        EndDialog(dialog, 1);
        return TRUE;
      }
      if (wparam == IDCANCEL) {
        g_completion.readme_chosen = 0;
        EndDialog(dialog, 2);
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

}  // namespace

int ShowCompletionDialog() {
  GetSetting("INSTREADME", g_completion.readme_label, sizeof g_completion.readme_label, "-");
  HWND owner = OwnerWindow();
  HINSTANCE instance = OwnerInstance();
  g_completion.readme_chosen = 0;
  bool offered = g_completion.readme_label[0] != '-';
  DialogBoxParamW(instance, offered ? L"ENDINSTALL_VISTA" : L"ENDINSTALL_VISTA_SHORT", owner,
                  CompletionDialogProc, 0);
  if (!offered) g_completion.readme_chosen = 0;
  return g_completion.readme_chosen;
}
