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
#include "support/dll_search.h"
#include "support/messages.h"
#include "support/wide_win32.h"

namespace {

const char kSettingsFileName[] = "install.env";

void ReleaseCom() { CoUninitialize(); }

// Holds the single-instance mutex named with the StartupTitle for the rest of the process
// (the system releases it at exit). Ends the program with 0 when another instance holds
// it, after saying so, or silently when it cannot be created at all.
void GuardSingleInstance() {
  const char *title = GetStartupTitle();
  HANDLE mutex = SjisCreateMutex(title, TRUE);
  if (mutex == nullptr) {
    RemoveWorkFolder();
    exit(0);
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    char text[kMessageSize];
    snprintf(text, sizeof text, "[ %s ] は既に起動中です", title);
    SjisMessageBox(nullptr, text, GetTitleBar(), MB_ICONERROR);
    RemoveWorkFolder();
    exit(0);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  RestrictDllSearch();
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
