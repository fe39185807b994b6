// Start-menu and desktop shortcuts, written through the shell link object. Vista and later
// get them in the all-users folders, older systems in the current user's. Failures only
// make a shortcut missing; nothing is shown.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include "archive/entry_name.h"
#include "install/folder_paths.h"
#include "install/install_steps.h"
#include "settings/settings_file.h"
#include "support/sjis.h"
#include "support/wide_win32.h"
#include "support/window.h"

namespace {

enum {
  kDesktopBox = 1007,
  kUnknown = -1,
};

const char kLinkSuffix[] = ".LNK";
const char kUninstallLabel[] = " アンインストール";
const char kDefaultReadmeLabel[] = "お読みください";

// Module state: the two version caches.
struct ShortcutState {
  int vista_or_later;  // kUnknown, 0 or 1
  int nt_family;       // kUnknown, 0 or 1
};
ShortcutState g_shortcuts = {kUnknown, kUnknown};

// Joins the parts into out; -1 when they do not fit (the shortcut then fails). A part may
// be out itself: the parts are joined in a buffer of their own first.
int Concat(char *out, size_t size, const char *a, const char *b, const char *c = "",
           const char *d = "") {
  char joined[kPathSize];
  int n = snprintf(joined, sizeof joined, "%s%s%s%s", a, b, c, d);
  if (n < 0 || (size_t)n >= sizeof joined || (size_t)n >= size) return -1;
  memcpy(out, joined, (size_t)n + 1);
  return 0;
}

int SpecialFolderPath(HWND owner, int csidl, char *out) {
  IMalloc *allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator))) return 0;
  LPITEMIDLIST item = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(owner, csidl, &item))) {
    allocator->Release();
    return 0;
  }
  BOOL found = SjisGetPathFromIDList(item, out);
  allocator->Free(item);
  allocator->Release();
  return found ? 1 : 0;
}

HRESULT CreateShellLink(const char *target, const char *link, const char *description) {
  wchar_t wide_target[kWidePathSize];
  wchar_t wide_link[kWidePathSize];
  wchar_t wide_description[kShownSize];
  wchar_t wide_folder[kWidePathSize];
  char folder[kPathSize];
  if (!ParentFolder(folder, sizeof folder, target)) folder[0] = '\0';
  if (SjisToWide(target, wide_target, kWidePathSize) != 0 ||
      SjisToWide(link, wide_link, kWidePathSize) != 0 ||
      SjisToWide(folder, wide_folder, kWidePathSize) != 0) {
    return E_FAIL;
  }
  SjisToWideShown(description, wide_description, kShownSize);
  IShellLinkW *shell_link = nullptr;
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IShellLinkW, (void **)&shell_link);
  if (FAILED(result)) return result;
  shell_link->SetPath(wide_target);
  shell_link->SetDescription(wide_description);
  if (wide_folder[0] != 0) shell_link->SetWorkingDirectory(wide_folder);
  IPersistFile *file = nullptr;
  result = shell_link->QueryInterface(IID_IPersistFile, (void **)&file);
  if (SUCCEEDED(result)) {
    result = file->Save(wide_link, TRUE);
    file->Release();
  }
  shell_link->Release();
  return result;
}

// One shortcut in folder (which ends with a backslash) named name_a + name_b + ".LNK",
// pointing at target. 0, or -1 when it could not be made.
int MakeShortcutTo(const char *folder, const char *name_a, const char *name_b,
                   const char *target) {
  char link[kPathSize];
  if (Concat(link, sizeof link, folder, name_a, name_b, kLinkSuffix) != 0) return -1;
  return SUCCEEDED(CreateShellLink(target, link, GetInstTo())) ? 0 : -1;
}

// The same, pointing at install_folder\target_name.
int MakeShortcut(const char *folder, const char *name_a, const char *name_b,
                 const char *install_folder, const char *target_name) {
  char target[kPathSize];
  if (JoinPath(target, sizeof target, install_folder, target_name) != 0) return -1;
  return MakeShortcutTo(folder, name_a, name_b, target);
}

// Whether the title and the group can be folder and file names in the shell's folders: a
// name with "..", a separator or a drive would put shortcuts (and, for the uninstaller,
// deletions) outside them.
bool ShortcutNamesUsable() {
  const char *group = GetInstGroup();
  return CheckEntryName(GetTitleBar(), false) == kNameOk &&
         (group == nullptr || CheckEntryName(group, false) == kNameOk);
}


// The desktop question: ends with 1 for OK with the box ticked, 0 for OK without it or
// for Cancel.
// Posted by the dialog to itself: it comes after the dialog has been made and shown.
const UINT kShownMessage = WM_APP + 1;

INT_PTR CALLBACK ShortcutDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      SendDlgItemMessageW(dialog, kDesktopBox, BM_SETCHECK, BST_CHECKED, 0);
      CenterWindow(dialog);
      if (lparam != 0) PostMessageW(dialog, kShownMessage, 0, lparam);
      return TRUE;
    case kShownMessage:
      ResumeThread((HANDLE)lparam);
      return TRUE;
    case WM_COMMAND:
      if (wparam == IDOK) {
        EndDialog(dialog, IsDlgButtonChecked(dialog, kDesktopBox) == BST_CHECKED ? 1 : 0);
        return TRUE;
      }
      if (wparam == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

}  // namespace

int IsVistaOrLater() {
  if (g_shortcuts.vista_or_later != kUnknown) return g_shortcuts.vista_or_later;
  g_shortcuts.vista_or_later = 0;
  if (g_shortcuts.nt_family == kUnknown) {
    g_shortcuts.nt_family = (GetVersion() & 0x80000000u) ? 0 : 1;
  }
  if (!g_shortcuts.nt_family) return 0;
  OSVERSIONINFOW version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExW(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT ||
      version.dwMajorVersion < 6) {
    return 0;
  }
  g_shortcuts.vista_or_later = 1;
  return 1;
}

int CreateStartMenuShortcuts(const char *install_folder, const char *uninstaller) {
  if (!ShortcutNamesUsable()) return -1;
  char folder[kPathSize];
  int csidl = IsVistaOrLater() ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS;
  if (!SpecialFolderPath(OwnerWindow(), csidl, folder)) return -1;
  // The title folder, one level deeper under INST_GROUP when it is set. A folder that
  // does not fit makes every shortcut fail instead of landing elsewhere.
  int failed = AppendBackslash(folder, sizeof folder);
  const char *group = GetInstGroup();
  if (!failed && group) {
    failed = Concat(folder, sizeof folder, folder, group);
    if (!failed) SjisCreateDirectory(folder);
    failed = failed || AppendBackslash(folder, sizeof folder);
  }
  failed = failed || Concat(folder, sizeof folder, folder, GetTitleBar());
  if (!failed) SjisCreateDirectory(folder);
  failed = failed || AppendBackslash(folder, sizeof folder);
  if (failed) return -1;

  failed = MakeShortcut(folder, GetTitleBar(), "", install_folder, GetExeName()) != 0;
  char label[kPathSize];
  char help[kPathSize];
  char readme[kPathSize];
  GetSetting("INSTREADME", label, sizeof label, kDefaultReadmeLabel);
  GetSetting("HELP_FILE", help, sizeof help, "");
  GetSetting("INSTREADMEFL", readme, sizeof readme, help);
  if (readme[0] != '\0' && readme[0] != '-') {
    char name[kPathSize];
    if (Concat(name, sizeof name, GetTitleBar(), " ", label) != 0 ||
        MakeShortcut(folder, name, "", install_folder, readme) != 0) {
      failed = true;
    }
  }
  if (MakeShortcutTo(folder, GetTitleBar(), kUninstallLabel, uninstaller) != 0) {
    failed = true;
  }
  return failed ? -1 : 0;
}

int CreateDesktopShortcut(const char *install_folder) {
  if (!ShortcutNamesUsable()) return -1;
  char folder[kPathSize];
  int csidl = IsVistaOrLater() ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY;
  if (!SpecialFolderPath(OwnerWindow(), csidl, folder) ||
      AppendBackslash(folder, sizeof folder) != 0) {
    return -1;
  }
  return MakeShortcut(folder, GetTitleBar(), "", install_folder, GetExeName());
}

bool AskDesktopShortcut(void *start_when_shown) {
  HWND owner = OwnerWindow();
  HINSTANCE instance = OwnerInstance();
  bool chosen = DialogBoxParamW(instance, L"MAKESHORTCUT", owner, ShortcutDialogProc,
                                (LPARAM)start_when_shown) == 1;
  // A dialog that could not be made, or closed before its message came, has not started it.
  if (start_when_shown != nullptr) ResumeThread(start_when_shown);
  return chosen;
}
