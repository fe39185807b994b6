// The installer's entry: prepares the WorkFolder, unpacks the preview files from the
// package appended to this executable and checks that the settings file arrived.
#include <windows.h>

#include <objbase.h>
#include <stdlib.h>

#include "app/workfolder.h"
#include "archive/extract.h"
#include "support/messages.h"

namespace {

const char kSettingsFileName[] = "install.env";

void ReleaseCom() { CoUninitialize(); }

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  (void)instance;
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

  RemoveWorkFolder();
  return 0;
}
