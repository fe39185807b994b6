// The installer's entry: prepares the WorkFolder, unpacks the preview files from the
// package appended to this executable, checks that the settings file arrived, reads the
// settings, refuses to run twice with the same title and shows the main menu.
#include <windows.h>

#include <objbase.h>
#include <stdio.h>
#include <stdlib.h>

#include "app/menu.h"
#include "app/workfolder.h"
#include "archive/extract.h"
#include "settings/section_lists.h"
#include "settings/settings_file.h"
#include "support/messages.h"

namespace {

const char kSettingsFileName[] = "install.env";

void ReleaseCom() { CoUninitialize(); }

// Helpers that the common controls load on first use through their delay-load table. A
// loader that resolves delay-loads without the default directories (Wine's does) would
// search the program's folder for them; loaded here by full path from the system folder,
// every later load by name finds them already in the process.
const char *const kSystemHelpers[] = {"msimg32.dll", "uxtheme.dll"};

void PreloadSystemHelpers() {
  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, sizeof path);
  if (length == 0 || length >= sizeof path) return;
  for (const char *name : kSystemHelpers) {
    char full[MAX_PATH];
    int n = snprintf(full, sizeof full, "%s\\%s", path, name);
    if (n > 0 && n < (int)sizeof full) LoadLibraryA(full);
  }
}

// An installer is often started from a download folder full of other people's files. Every
// DLL that Windows or a system DLL loads later by bare name would be looked for in this
// program's folder first, so a DLL planted there would run with the installer's
// administrator rights. Before anything else, the search for every later load is cut down
// to the system folder. The static imports are safe already: they name only DLLs that
// Windows always takes from the system folder; the common controls are loaded later, by
// name (RegisterCommonControls).
//
// SetDefaultDllDirectories exists from Windows 7 with its 2011 loader update and on every
// later Windows; it is looked up by name so that the program still starts on Windows XP,
// where SetDllDirectoryA("") at least takes the current folder out of the search.
void RestrictDllSearch() {
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesProc)(DWORD);
  typedef BOOL(WINAPI * SetDllDirectoryProc)(LPCSTR);
  const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return;
  SetDefaultDllDirectoriesProc set_default = reinterpret_cast<SetDefaultDllDirectoriesProc>(
      reinterpret_cast<void *>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_default != nullptr && set_default(kSearchSystem32)) return;
  SetDllDirectoryProc set_directory = reinterpret_cast<SetDllDirectoryProc>(
      reinterpret_cast<void *>(GetProcAddress(kernel, "SetDllDirectoryA")));
  if (set_directory != nullptr) set_directory("");
}

// Holds the single-instance mutex named with the StartupTitle for the rest of the process
// (the system releases it at exit). Ends the program with 0 when another instance holds
// it, after saying so, or silently when it cannot be created at all.
void GuardSingleInstance() {
  const char *title = GetStartupTitle();
  HANDLE mutex = CreateMutexA(nullptr, TRUE, title);
  if (mutex == nullptr) {
    RemoveWorkFolder();
    exit(0);
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    char text[kMessageSize];
    snprintf(text, sizeof text, "[ %s ] は既に起動中です", title);
    MessageBoxA(nullptr, text, GetTitleBar(), MB_ICONERROR);
    RemoveWorkFolder();
    exit(0);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  RestrictDllSearch();
  PreloadSystemHelpers();
  CoInitialize(nullptr);
  atexit(ReleaseCom);

  CreateWorkFolder();
  ExtractPackage(WorkFolder(), kPreviewMode);
  if (!ResourceExists(kSettingsFileName)) {
    ErrorBox("起動に必要なファイルが不足しています。\n"
             "インストールの異常終了、起動するフォルダ異常、等を確認してください。");
    RemoveWorkFolder();
    exit(-1);
  }
  LoadSettings(kSettingsFileName);
  LoadSectionLists(kSettingsFileName);
  GuardSingleInstance();

  // The menu removes the WorkFolder when it closes. A menu that cannot be created at all
  // would fail again if shown again, so the program ends instead.
  if (RunMainMenu(instance) != 0) {
    RemoveWorkFolder();
    exit(-1);
  }
  return 0;
}
