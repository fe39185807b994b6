// The install command: the checks (administrator rights, the destination, its creation
// and a write test), then the extraction, shortcuts, registration, transfers and the
// completion dialog. The first failing check says why and returns -1 (the menu stays
// open); after the checks only the player's Cancel in the copy window stops the
// sequence, the same way.
#include "install/install.h"

#include <windows.h>

#include <objbase.h>

#include "archive/extract.h"
#include "install/free_space.h"
#include "install/install_steps.h"
#include "settings/settings_file.h"
#include "support/messages.h"
#include "support/sjis.h"
#include "support/wide_win32.h"
#include "support/window.h"

namespace {

const char kNeedAdministrator[] = "インストールにはAdministrator権限が必要です。";
const char kStopped[] = "インストールを中止しました";
const char kCannotCreate[] =
    "インストール先フォルダは無効又は作成できません\nインストールにはAdministrator権限が必要です。";
const char kCannotWrite[] =
    "指定された場所には書き込み出来ません。\nインストールにはAdministrator権限が必要です。";
const char kDefaultReadme[] = "readme.txt";

enum { kReadmeSize = 512 };

// The sequence's state for one run.
struct InstallRun {
  char install_folder[kPathSize];
  char readme[kReadmeSize];
  char uninstaller[kPathSize];  // what the uninstall entry and its shortcut start
};
InstallRun g_run;

// The protected uninstaller copy and the Start-menu shortcuts need no answer from the
// player: they are made on a thread of their own while the desktop question is open
// (under Wine they took 90 ms, which the player waited for before the question came).
// Nothing else reads the settings or the run's state until the thread has ended.
DWORD WINAPI KeepCopyAndShortcuts(void *) {
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  KeepUninstallerCopy(g_run.install_folder, g_run.uninstaller);
  CreateStartMenuShortcuts(g_run.install_folder, g_run.uninstaller);
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}

}  // namespace

int RunInstall() {
  if (ProbeMachineKey(GetRegGlobal(), GetRegLocal()) != 0) {
    ErrorBox(kNeedAdministrator);
    return -1;
  }
  if (ChooseInstallFolder(g_run.install_folder) != 0) {
    ErrorBox(kStopped);
    return -1;
  }
  int created = 0;
  if (CreateFolderChain(g_run.install_folder, &created) != 0) {
    ErrorBox(kCannotCreate);
    return -1;
  }
  if (TestFolderWritable(g_run.install_folder) != 0) {
    ErrorBox(kCannotWrite);
    return -1;
  }
  // Room for every file, by a walk over the archive's headers; when short, the message
  // says how much is needed and the installation stops as after Cancel.
  if (CheckFreeSpace(g_run.install_folder, created > 0) != 0) return -1;
  GrantFullAccess(g_run.install_folder, created);
  // A damaged archive ends the program. A cancelled copy has taken back what it wrote; the
  // folders made for it go too when empty, and nothing later in the sequence runs (the
  // access grant has run already and stays).
  if (ExtractPackage(g_run.install_folder, kFullMode, created > 0) != 0) {
    RemoveCreatedChain(g_run.install_folder, created);
    ErrorBox(kStopped);
    return -1;
  }
  // The uninstaller that runs with administrator rights comes from where only they may
  // write; without that copy, from the InstallFolder.
  IsVistaOrLater();  // its cache is filled before two threads may read it
  // The helper starts once the question is up: showing it comes first.
  HANDLE helper =
      CreateThread(nullptr, 0, KeepCopyAndShortcuts, nullptr, CREATE_SUSPENDED, nullptr);
  if (helper == nullptr) KeepCopyAndShortcuts(nullptr);  // no thread: here, before asking
  bool desktop = AskDesktopShortcut(helper);
  if (helper != nullptr) {
    // A shell call of the thread may send a message to the menu window, its owner.
    WaitPumpingMessages(helper);
    CloseHandle(helper);
  }
  if (desktop) CreateDesktopShortcut(g_run.install_folder);
  RegisterUninstallEntry(g_run.uninstaller);
  SetInstallToken(g_run.install_folder);
  TransferIniSection();
  TransferRegSection();
  int readme_chosen = ShowCompletionDialog();
  SjisSetCurrentDirectory(g_run.install_folder);
  if (readme_chosen) {
    GetSetting("INSTREADMEFL", g_run.readme, sizeof g_run.readme, kDefaultReadme);
    LaunchDocument(g_run.readme);
  }
  return 0;
}
