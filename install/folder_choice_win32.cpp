// The destination folder: the proposal, the SETUP dialog with the folder browser, the
// normalisation of what the player typed and the confirmation. The decisions are in
// folder_rules.cpp; this file gathers their inputs and shows the messages.
#include <windows.h>

#include <shlobj.h>
#include <string.h>

#include "install/folder_rules.h"
#include "install/install_steps.h"
#include "settings/settings_file.h"
#include "support/messages.h"
#include "support/sjis.h"
#include "support/wide_win32.h"
#include "support/window.h"

namespace {

enum {
  kFolderEdit = 1000,
  kBrowseButton = 1021,
  kSavedFolderSize = 520,  // the limit for the folder restored at the end
};

const wchar_t kBrowseTitle[] = L"フォルダを作成する場所を選択してください";
const char kNetworkMessage[] =
    "ネットワークドライブには対応していません。\nローカルドライブを選択して下さい。";
const char kRootMessage[] = "ルートにはインストールできません";
const char kTooLongMessage[] =
    "インストール先のフォルダ名が長すぎます。\nもっと短いフォルダを指定して下さい。";
const char kConfirmQuestion[] = "[%s]にインストールします";
// A typed name with a character that Shift-JIS cannot write (the game's own files and
// settings name the folder in Shift-JIS).
const char kCharacterMessage[] =
    "インストール先のフォルダ名に使用できない文字が含まれています。\n"
    "別のフォルダを指定して下さい。";

// Module state: the folder text while it is chosen. Rebuilt by every ChooseInstallFolder.
struct FolderChoice {
  char candidate[kPathSize];
  char windows_dir[kPathSize];
  FolderSettings settings;
  int typed_too_long;  // the edit box held more than the path buffer takes
  int typed_unwritable;  // the edit box held a character with no Shift-JIS form
};
FolderChoice g_choice;

void BrowseInstallFolder(HWND owner) {
  wchar_t display_name[MAX_PATH];
  BROWSEINFOW info;
  memset(&info, 0, sizeof info);
  info.hwndOwner = owner;
  info.pszDisplayName = display_name;
  info.lpszTitle = kBrowseTitle;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
  LPITEMIDLIST item = SHBrowseForFolderW(&info);
  if (!item) return;
  char picked[kPathSize];
  if (SjisGetPathFromIDList(item, picked) &&
      ApplyBrowsedFolder(g_choice.candidate, sizeof g_choice.candidate, picked,
                         &g_choice.settings) != 0) {
    // The pick with the game's folders appended does not fit: refused like the others.
    ErrorBox(kTooLongMessage);
    EndDialog(owner, 0);
  }
  IMalloc *allocator = nullptr;
  if (SUCCEEDED(SHGetMalloc(&allocator))) {
    allocator->Free(item);
    allocator->Release();
  }
}

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterWindow(dialog);
      SjisSetDlgItemText(dialog, kFolderEdit, g_choice.candidate);
      return TRUE;
    case WM_COMMAND:
      switch (wparam) {
        case IDOK: {
          // Read into a larger buffer so that a text the path buffer cannot hold is
          // refused rather than silently cut.
          wchar_t wide[kMessageSize];
          GetDlgItemTextW(dialog, kFolderEdit, wide, kMessageSize);
          char typed[kMessageSize];
          int converted = WideToSjis(wide, typed, sizeof typed);
          g_choice.typed_unwritable = converted == kWideNoSjisForm;
          g_choice.typed_too_long =
              converted == -1 ||
              CopyText(g_choice.candidate, typed, sizeof g_choice.candidate) >= kPathSize;
          EndDialog(dialog, 1);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        case kBrowseButton:
          BrowseInstallFolder(dialog);
          SjisSetDlgItemText(dialog, kFolderEdit, g_choice.candidate);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

// The proposal, or -1 when it does not fit (after saying so).
int ProposeFolder() {
  if (BuildProposedFolder(g_choice.candidate, sizeof g_choice.candidate,
                          &g_choice.settings) != 0) {
    ErrorBox(kTooLongMessage);
    return -1;
  }
  if (ReadProductInt(GetRegGlobal(), GetRegLocal(), "IsInst", 0) != 0) {
    char proposal[kPathSize];
    CopyText(proposal, g_choice.candidate, sizeof proposal);
    ReadProductString(GetRegGlobal(), GetRegLocal(), "InstTo", proposal, g_choice.candidate,
                      sizeof g_choice.candidate);
  }
  return 0;
}

// The normalised folder as Windows will take it: its full path (which also drops what
// Windows drops, such as trailing dots), tested for the root again, and for room for the
// probe file. 0, or -1 after the message.
int CheckFullFolder() {
  char full[kPathSize];
  DWORD length = SjisGetFullPathName(g_choice.candidate, sizeof full, full);
  if (length > 0 && length < sizeof full) {
    if (EndsWithBackslash(full)) {
      RetryBox(kRootMessage);
      return -1;
    }
    CopyText(g_choice.candidate, full, sizeof g_choice.candidate);
  }
  if (!FolderLeavesRoom(g_choice.candidate)) {
    ErrorBox(kTooLongMessage);
    return -1;
  }
  return 0;
}

// The dialog, the normalisation and the question; 0 with the folder confirmed.
int AskForFolder() {
  if (ProposeFolder() != 0) return -1;
  HWND owner = OwnerWindow();
  HINSTANCE instance = OwnerInstance();
  if (DialogBoxParamW(instance, L"SETUP", owner, SetupDialogProc, 0) != 1) return -1;
  if (g_choice.typed_unwritable) {
    ErrorBox(kCharacterMessage);
    return -1;
  }
  if (g_choice.typed_too_long) {
    ErrorBox(kTooLongMessage);
    return -1;
  }
  switch (NormaliseInstallFolder(g_choice.candidate, sizeof g_choice.candidate,
                                 &g_choice.settings)) {
    case kFolderAccepted:
      return CheckFullFolder();
    case kFolderNetwork:
      ErrorBox(kNetworkMessage);
      return -1;
    case kFolderRoot:
      RetryBox(kRootMessage);  // Cancel ends the program here
      return -1;
    case kFolderTooLong:
      ErrorBox(kTooLongMessage);
      return -1;
  }
  return -1;
}

}  // namespace

int ChooseInstallFolder(char *install_folder) {
  char saved[kSavedFolderSize];
  DWORD saved_length = SjisGetCurrentDirectory(sizeof saved, saved);
  memset(&g_choice, 0, sizeof g_choice);
  UINT length = SjisGetWindowsDirectory(g_choice.windows_dir, sizeof g_choice.windows_dir);
  if (length >= sizeof g_choice.windows_dir) g_choice.windows_dir[0] = '\0';
  g_choice.settings.windows_dir = g_choice.windows_dir;
  g_choice.settings.inst_fol = GetInstFol();
  g_choice.settings.inst_to = GetInstTo();
  g_choice.settings.inst_make_fol = GetInstMakeFol();

  int result = AskForFolder();
  if (saved_length > 0 && saved_length < sizeof saved) SjisSetCurrentDirectory(saved);
  if (result == 0 && !ConfirmBox(kConfirmQuestion, g_choice.candidate)) result = -1;
  if (result == 0) CopyText(install_folder, g_choice.candidate, kPathSize);
  return result;
}
