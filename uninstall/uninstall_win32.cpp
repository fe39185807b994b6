// UnInst.exe: removes the game that the installer put into the InstallFolder. It runs in
// one of three ways:
//   - as the protected copy that the installer keeps in a folder only administrators may
//     change (install/protected_folder.h), started by the uninstall entry or the Start-menu
//     shortcut: it reads install.env, UnInst.lst and UnInst.dir (the InstallFolder) beside
//     itself, asks, removes, reports, and has its own program and folder deleted when
//     Windows next starts;
//   - from the InstallFolder (started by hand): it starts the protected copy that removes
//     this folder when there is one, and otherwise reads install.env beside itself, asks
//     for confirmation (and about the saved games), then hands the work over to a copy of
//     itself in the temp folder and ends;
//   - as that temp copy, which removes everything, including the original program and its
//     folder, says what could not be removed, and has the system delete its own file at the
//     next start of Windows.
// See uninstall/handover.h for the hand-over and docs/uninstall.md for the whole road.
//
// Exit codes: 0 for a normal end (also after No, and for a second instance); -1 when the
// settings file or the file list is missing or the settings file is damaged; the program
// that removed (the protected or the temp copy) ends with 1 when something could not be
// removed or a line was refused.
#include <windows.h>

#include <objbase.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "install/folder_paths.h"
#include "install/install_steps.h"
#include "install/protected_folder.h"
#include "settings/section_lists.h"
#include "settings/settings_file.h"
#include "support/file_io.h"
#include "support/messages.h"
#include "support/sjis.h"
#include "support/wide_win32.h"
#include "support/window.h"
#include "support/dll_search.h"
#include "uninstall/file_list.h"
#include "uninstall/handover.h"
#include "uninstall/removal_rules.h"
#include "uninstall/remove_steps.h"

namespace {

// Every text the uninstaller shows.
const char kDefaultCaption[] = "アンインストール";
const char kMissingFile[] =
    "アンインストールに必要なファイル[%s]が見つかりません。\n"
    "フォルダ[%s]からは何も削除せずに終了します。";
const char kAlreadyRunning[] = "[ %s ] は既に起動中です";
const char kConfirm[] = "[%s]をアンインストールします。\nよろしいですか？";
const char kAskSavedGames[] =
    "セーブデータなど、ゲーム中に作成されたファイルも削除しますか？\n"
    "「いいえ」を選ぶと、これらのファイルは残ります。";
const char kDone[] = "アンインストールが完了しました。";
const char kFolderKept[] = "\nフォルダ[%s]には、ほかのファイルが残っているため、フォルダは残しました。";
const char kFailedHead[] = "アンインストールを終えましたが、次のものは削除できませんでした。\n";
const char kRefusedHead[] = "次の行からは、（　）内の理由により何も削除しませんでした。\n";
const char kRunAgain[] =
    "\nゲームを終了してから、もう一度アンインストールを実行してください。"
    "\n（アンインストーラとアンインストール情報は残してあります）";
const char kMutexFormat[] = "%s アンインストール";
const char kBadOrder[] =
    "アンインストールの指示が正しくないため、何も削除せずに終了します。";
const char kBusy[] =
    "別のアンインストールが終わらないため、何も削除せずに終了しました。\n"
    "しばらくしてから、もう一度実行してください。";
// The copy: in a folder of its own in the temp folder, named at random.
const char kCopyFolderPrefix[] = "FernUninstall_";
const char kCopyFormat[] = "UnInst_%08lX.exe";

// How long the copy waits for the original to end: it ends right after starting the
// copy, so this only guards against waiting forever on a stuck original.
const DWORD kOriginalWaitMs = 60000;
// How long the copy waits for another uninstallation of the same title (whose questions
// may be open) before it gives up, deleting nothing.
const DWORD kGuardWaitMs = 30000;

void ReleaseCom() { CoUninitialize(); }

// The owner of every box: a hidden window whose title is the boxes' caption (the message
// boxes take their caption from the owner's title).
void MakeOwner(const char *caption) {
  int width = GetSystemMetrics(SM_CXSCREEN);
  int height = GetSystemMetrics(SM_CYSCREEN);
  wchar_t wide_caption[kShownSize];
  SjisToWideShown(caption, wide_caption, kShownSize);
  HWND owner = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", wide_caption, WS_POPUP, width / 2,
                               height / 2, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr),
                               nullptr);
  SetOwnerWindow(owner);
}

void InfoBox(const char *text) {
  wchar_t caption[kPathSize];
  caption[0] = 0;
  HWND owner = OwnerWindow();
  if (owner != nullptr) GetWindowTextW(owner, caption, kPathSize);
  SetForegroundWindow(owner);
  wchar_t wide_text[kShownSize];
  SjisToWideShown(text, wide_text, kShownSize);
  MessageBoxW(owner, wide_text, caption, MB_OK | MB_ICONINFORMATION);
}

// The single-instance mutex, named after the title ("\\" is a namespace separator in a
// mutex name, so it becomes "_"; the trail byte 0x5C of a double-byte character is none).
HANDLE OpenGuard(bool initial_owner) {
  char name[kStartupTitleSize];
  snprintf(name, sizeof name, kMutexFormat, GetTitleBar());
  for (char *p = name; *p; p += SjisCharLength(p)) {
    if (*p == '\\') *p = '_';
  }
  return SjisCreateMutex(name, initial_owner ? TRUE : FALSE);
}

// Checks that the settings file and the file list are there, then reads the settings.
// Shows why and returns -1 when one is missing: then nothing at all is removed.
int LoadFolderSettings(const char *folder) {
  const char *const needed[] = {kSettingsFileName, kFileListName};
  char path[kPathSize];
  for (const char *name : needed) {
    if (JoinPath(path, sizeof path, folder, name) != 0 || !ResourceExists(path)) {
      MakeOwner(kDefaultCaption);
      ErrorBox(kMissingFile, name, folder);
      return -1;
    }
  }
  JoinPath(path, sizeof path, folder, kSettingsFileName);
  LoadSettings(path);
  LoadSectionLists(path);
  MakeOwner(GetTitleBar());
  return 0;
}

// The final box: a plain notice when everything went, else one error box (text also on
// the clipboard) listing everything that stayed and every refused line.
int ShowOutcome(const char *folder, const RemovalOutcome &outcome) {
  char text[kMessageSize];
  size_t used = 0;
  auto append = [&](const char *format, const char *argument) {
    if (used >= sizeof text) return;
    int n = snprintf(text + used, sizeof text - used, format, argument);
    if (n > 0) used += (size_t)n;
  };
  text[0] = '\0';
  bool trouble = outcome.failed->entries > 0 || outcome.refused->entries > 0;
  if (!trouble) {
    append("%s", kDone);
    if (outcome.folder_left) append(kFolderKept, folder);
    InfoBox(text);
    return 0;
  }
  if (outcome.failed->entries > 0) {
    append("%s", kFailedHead);
    append("%s", ReportText(outcome.failed));
  } else {
    append("%s\n", kDone);
  }
  if (outcome.refused->entries > 0) {
    append("%s", outcome.failed->entries > 0 ? "\n" : "");
    append("%s", kRefusedHead);
    append("%s", ReportText(outcome.refused));
  }
  if (outcome.game_left) {
    append("%s", kRunAgain);
  } else if (outcome.folder_left) {
    append(kFolderKept, folder);
  }
  ErrorBox("%s", text);
  return 1;
}

// Copies this program into a new folder of its own in the temp folder (never over a file
// that is there already) and starts the copy with the order; 0 when the copy runs (it
// then waits for this process to end).
int StartCopy(const char *self, const char *folder, int saved_games) {
  char temp[kPathSize];
  DWORD length = SjisGetTempPath(sizeof temp, temp);
  if (length == 0 || length >= sizeof temp) return -1;
  char copy_folder[kPathSize];
  // A name nobody can guess, made only when nothing has it yet, open to administrators
  // and the system alone: no other process (not even one of the same user without its
  // administrator rights) can put a program there before the copy starts with them.
  if (MakePrivateFolder(temp, kCopyFolderPrefix, true, false, copy_folder) != 0) return -1;
  char name[32];
  snprintf(name, sizeof name, kCopyFormat, (unsigned long)GetCurrentProcessId());
  char copy[kPathSize];
  if (JoinPath(copy, sizeof copy, copy_folder, name) != 0 || !SjisCopyFile(self, copy, TRUE)) {
    SjisRemoveDirectory(copy_folder);
    return -1;
  }
  HANDLE me = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &me,
                       SYNCHRONIZE, TRUE, 0)) {
    SjisDeleteFile(copy);
    SjisRemoveDirectory(copy_folder);
    return -1;
  }
  HandoverOrder order;
  order.process = (uint64_t)(ULONG_PTR)me;
  order.saved_games = saved_games;
  CopyText(order.folder, folder, sizeof order.folder);
  char command[kCommandSize];
  wchar_t wide_copy[kWidePathSize];
  wchar_t wide_command[kCommandSize];
  wchar_t wide_temp[kWidePathSize];
  STARTUPINFOW startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  // The copy starts in the temp folder: a process's current folder cannot be removed.
  if (FormatHandoverCommand(command, sizeof command, copy, &order) != 0 ||
      SjisToWide(copy, wide_copy, kWidePathSize) != 0 ||
      SjisToWide(command, wide_command, kCommandSize) != 0 ||
      SjisToWide(temp, wide_temp, kWidePathSize) != 0 ||
      !CreateProcessW(wide_copy, wide_command, nullptr, nullptr, TRUE, 0, nullptr, wide_temp,
                      &startup, &process)) {
    CloseHandle(me);
    SjisDeleteFile(copy);
    SjisRemoveDirectory(copy_folder);
    return -1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

// The questions before anything is removed: none when another uninstallation of the
// title runs (said in a box), then Yes to the removal and the answer about the saved
// games in folder. False when nothing is to be removed.
bool AskPlayer(const char *folder, int *saved_games) {
  HANDLE guard = OpenGuard(true);
  if (guard != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
    char text[kMessageSize];
    char name[kStartupTitleSize];
    snprintf(name, sizeof name, kMutexFormat, GetTitleBar());
    snprintf(text, sizeof text, kAlreadyRunning, name);
    SjisMessageBox(nullptr, text, GetTitleBar(), MB_ICONERROR);
    return false;
  }
  if (!ConfirmBox(kConfirm, GetTitleBar())) return false;
  *saved_games = 0;
  if (CountNamedFiles(folder, GetDelfilesUserLines()) > 0) *saved_games = ConfirmBox(kAskSavedGames);
  return true;
}

// Reads the InstallFolder that the protected copy in kept removes, from its UnInst.dir,
// into install_folder (kPathSize bytes). 0, or -1 when it is missing or no folder that a
// hand-over could name.
int ReadKeptInstallFolder(const char *kept, char *install_folder) {
  char path[kPathSize];
  if (JoinPath(path, sizeof path, kept, kInstallFolderFileName) != 0) return -1;
  FILE *file = FileOpen(path, "rt");
  if (file == nullptr) return -1;
  char line[kSettingsLineSize];
  bool read = ReadTrimmedLine(line, sizeof line, file) != nullptr;
  fclose(file);
  if (!read || CopyText(install_folder, line, kPathSize) >= kPathSize) return -1;
  return HandoverFolderAcceptable(install_folder) ? 0 : -1;
}

// Has Windows delete the protected copy's program and folder (and the folder of all
// copies, when it is empty by then) when it next starts.
void DeleteKeptAtRestart(const char *self, const char *kept) {
  SjisMoveFileEx(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  SjisMoveFileEx(kept, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  char root[kPathSize];
  if (ParentFolder(root, sizeof root, kept)) SjisMoveFileEx(root, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// The protected copy (self, in kept): everything it trusts lies beside it, where only
// administrators may write; nothing in the InstallFolder is read but the names that its
// own list gives.
int RunKept(const char *self, const char *kept) {
  char install_folder[kPathSize];
  if (ReadKeptInstallFolder(kept, install_folder) != 0) {
    MakeOwner(kDefaultCaption);
    ErrorBox(kBadOrder);
    return -1;
  }
  // Started from the InstallFolder, the current folder would keep it from going.
  SjisSetCurrentDirectory(kept);
  if (LoadFolderSettings(kept) != 0) return -1;
  int saved_games = 0;
  if (!AskPlayer(install_folder, &saved_games)) return 0;
  RemovalOutcome outcome = RunRemoval(install_folder, kept, saved_games);
  if (!outcome.game_left) DeleteKeptAtRestart(self, kept);
  return ShowOutcome(install_folder, outcome);
}

// From the InstallFolder: when the title's uninstall entry starts a protected copy that
// removes this very folder, that copy runs instead (with nothing of this folder trusted).
// 0 when it was started.
int StartKeptCopy(const char *folder) {
  char program[kPathSize];
  char kept[kPathSize];
  char named[kPathSize];
  char resolved_named[kPathSize];
  char resolved_folder[kPathSize];
  if (ReadUninstallProgram(program) != 0 || !ParentFolder(kept, sizeof kept, program) ||
      !IsKeptCopyFolder(kept) || ReadKeptInstallFolder(kept, named) != 0) {
    return -1;
  }
  ResolveFolder(named, resolved_named);
  ResolveFolder(folder, resolved_folder);
  if (!SameNameIgnoringCase(resolved_named, resolved_folder)) return -1;
  char command[kCommandSize];
  wchar_t wide_program[kWidePathSize];
  wchar_t wide_command[kCommandSize];
  wchar_t wide_kept[kWidePathSize];
  int n = snprintf(command, sizeof command, "\"%s\"", program);
  if (n < 0 || (size_t)n >= sizeof command || SjisToWide(program, wide_program, kWidePathSize) != 0 ||
      SjisToWide(command, wide_command, kCommandSize) != 0 ||
      SjisToWide(kept, wide_kept, kWidePathSize) != 0) {
    return -1;
  }
  STARTUPINFOW startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessW(wide_program, wide_command, nullptr, nullptr, FALSE, 0, nullptr, wide_kept,
                      &startup, &process)) {
    return -1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

// UnInst.exe as the player started it: the protected copy, or the one in the InstallFolder.
int RunOriginal() {
  char self[kPathSize];
  DWORD length = SjisGetModuleFileName(nullptr, self, sizeof self);
  if (length == 0 || length >= sizeof self - 1) return -1;
  char folder[kPathSize];
  if (!ParentFolder(folder, sizeof folder, self)) return -1;
  if (IsKeptCopyFolder(folder)) return RunKept(self, folder);
  if (LoadFolderSettings(folder) != 0) return -1;
  if (StartKeptCopy(folder) == 0) return 0;
  int saved_games = 0;
  if (!AskPlayer(folder, &saved_games)) return 0;
  if (StartCopy(self, folder, saved_games) == 0) return 0;
  // No copy could be started: the removal runs here, and this program's own file and
  // folder stay behind; the final box lists them.
  return ShowOutcome(folder, RunRemoval(folder, nullptr, saved_games));
}

// Has Windows delete the copy's file, and then its folder, when it next starts. Only a
// copy that StartCopy made, in a folder of its own: the uninstaller in an InstallFolder,
// started by hand with a hand-over order, stays where it is.
void DeleteCopyAtRestart(const char *self) {
  if (self[0] == '\0') return;
  char folder[kPathSize];
  const char *name = nullptr;
  if (!ParentFolder(folder, sizeof folder, self)) return;
  for (const char *p = FindSeparator(folder, false); p; p = FindSeparator(p + 1, false)) {
    name = p + 1;
  }
  if (name == nullptr || strncmp(name, kCopyFolderPrefix, strlen(kCopyFolderPrefix)) != 0) return;
  SjisMoveFileEx(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  SjisMoveFileEx(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Whether the folder holds UnInst.exe as a plain file: a hand-over names the folder that
// the original ran from, and nothing else.
bool HoldsUninstaller(const char *folder) {
  char path[kPathSize];
  if (JoinPath(path, sizeof path, folder, kUninstallerName) != 0) return false;
  DWORD attributes = SjisGetFileAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

// The copy in the temp folder: waits for the original, removes, reports, and has its own
// file and folder deleted when Windows next starts.
int RunCopy(const HandoverOrder &order) {
  HANDLE original = (HANDLE)(ULONG_PTR)order.process;
  WaitForSingleObject(original, kOriginalWaitMs);
  CloseHandle(original);
  char self[kPathSize];
  DWORD length = SjisGetModuleFileName(nullptr, self, sizeof self);
  if (length == 0 || length >= sizeof self - 1) self[0] = '\0';
  if (!HoldsUninstaller(order.folder)) {
    MakeOwner(kDefaultCaption);
    ErrorBox(kBadOrder);
    DeleteCopyAtRestart(self);
    return -1;
  }
  int result = -1;
  if (LoadFolderSettings(order.folder) == 0) {
    // Another run that started meanwhile finishes first; one that never does (or a
    // process that merely holds the name) stops this one, with nothing deleted.
    HANDLE guard = OpenGuard(false);
    if (guard != nullptr && WaitForSingleObject(guard, kGuardWaitMs) == WAIT_TIMEOUT) {
      ErrorBox(kBusy);
      DeleteCopyAtRestart(self);
      return -1;
    }
    RemovalOutcome outcome = RunRemoval(order.folder, nullptr, order.saved_games);
    DeleteCopyAtRestart(self);
    return ShowOutcome(order.folder, outcome);
  }
  DeleteCopyAtRestart(self);
  return result;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The copy runs from the temp folder, among whatever else lies there.
  RestrictDllSearch();
  CoInitialize(nullptr);
  atexit(ReleaseCom);
  HandoverOrder order;
  // The command line in Shift-JIS; one that Shift-JIS cannot write is no hand-over.
  char command[kCommandSize];
  if (WideToSjis(GetCommandLineW(), command, sizeof command) == 0) {
    int parsed = ParseHandoverCommand(command, &order);
    // A number wider than this build's handles cannot be the handle that was passed on.
    if (parsed == 1 && (uint64_t)(ULONG_PTR)order.process != order.process) parsed = -1;
    if (parsed == 1) return RunCopy(order);
    if (parsed < 0) {
      MakeOwner(kDefaultCaption);
      ErrorBox(kBadOrder);
      return -1;
    }
  }
  return RunOriginal();
}
