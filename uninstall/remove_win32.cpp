// The removal itself: files, patterns, shortcuts, registry values and folders. Every path
// is the InstallFolder (resolved by Windows), a backslash and a name that CheckRemovalLine
// accepted, reached through no link below the folder; nothing is removed anywhere else,
// apart from the shortcuts and registry keys that point into the InstallFolder or that the
// installer made for this title.
#include "uninstall/remove_steps.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "archive/entry_name.h"
#include "archive/package_format.h"
#include "install/folder_paths.h"
#include "install/install_steps.h"
#include "install/protected_folder.h"
#include "install/safe_remove.h"
#include "install/transfer_lines.h"
#include "settings/section_lists.h"
#include "settings/settings_file.h"
#include "support/file_io.h"
#include "support/sjis.h"
#include "support/wide_win32.h"
#include "uninstall/file_list.h"
#include "uninstall/removal_rules.h"

namespace {

// Folders that may be left empty by the removal: the list's folders and the folders of
// every name acted on, with their parents. A package holds far fewer folders; more are
// not removed (they stay, and so does the InstallFolder, which the final box reports).
enum { kMaxFolders = 1024, kKeySize = 512 };

const char kLinkSuffix[] = ".LNK";
const char kInUse[] = "（使用中）";
const char kDenied[] = "（使用中か、アクセスが拒否されました）";
const char kIsFolder[] = "（同じ名前のフォルダがあります）";
const char kViaLink[] = "（リンクを経由します）";
const char kLinkKept[] = "（リンクを削除できません）";
const char kSharedPattern[] = "（共有フォルダではパターンを使いません）";
const char kShortcutNamesReason[] = "（ショートカットのフォルダ名に使えない名前です）";
const char kRegistryPrefix[] = "レジストリ ";

// Why CheckRemovalLine refused a line, for the final box.
const char *RefusalReason(int verdict) {
  switch (verdict) {
    case kNameAbsolute: return "（絶対パス）";
    case kNameDrive: return "（ドライブ名）";
    case kNameDotComponent: return "（フォルダの外を指す \"..\"）";
    case kNamePatternInFolder: return "（フォルダ名にワイルドカード）";
    case kNameTooLong: return "（長すぎる名前）";
    default: return "（使えない名前）";
  }
}

// A folder that the removal may leave empty; listed: a list names it (with a trailing
// backslash), so a link in its place is removed as a link.
struct FolderCandidate {
  char name[kMaxNameSize];
  bool listed;
};

// Module state of the one run.
struct RemovalState {
  const char *folder;
  const char *kept;  // the protected copy's folder, or null
  // The uninstaller that this installation's shortcut and uninstall entry start.
  char own_program[kPathSize];
  // The InstallFolder as Windows resolves it; every name is removed through it, never
  // through a link (install/safe_remove.h).
  SafeFolder place;
  // The InstallFolder is a drive root, the Windows folder or a shared folder: patterns are
  // refused, and the folder itself is never removed.
  bool shared;
  RemovalReport failed;
  RemovalReport refused;
  int game_left;
  FolderCandidate folders[kMaxFolders];
  int folder_count;
};
RemovalState g_removal;

void ReportFailure(const char *shown, int result) {
  const char *suffix = result == kFileInUse    ? kInUse
                       : result == kFileDenied ? kDenied
                       : result == kFileIsFolder ? kIsFolder
                                                 : "";
  AddReportEntry(&g_removal.failed, shown, suffix);
}

// The places whose other files are not the game's (IsSharedFolder): the Windows folder
// (and all inside it), the program folders, the profile, the folder of profiles, the user
// and all-users folders and the temp folder, each as written and as resolved.
const int kSharedPlaces[] = {
    CSIDL_PROGRAM_FILES,          CSIDL_PROGRAM_FILESX86,   CSIDL_PROGRAM_FILES_COMMON,
    CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_PROFILE,           CSIDL_DESKTOPDIRECTORY,
    CSIDL_PERSONAL,               CSIDL_MYMUSIC,            CSIDL_MYPICTURES,
    CSIDL_MYVIDEO,                CSIDL_FAVORITES,          CSIDL_APPDATA,
    CSIDL_LOCAL_APPDATA,          CSIDL_STARTMENU,          CSIDL_PROGRAMS,
    CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_DOCUMENTS,  CSIDL_COMMON_MUSIC,
    CSIDL_COMMON_PICTURES,        CSIDL_COMMON_VIDEO,       CSIDL_COMMON_APPDATA,
    CSIDL_COMMON_STARTMENU,       CSIDL_COMMON_PROGRAMS};
enum {
  kSharedPlaceCount = sizeof kSharedPlaces / sizeof kSharedPlaces[0],
  kSharedTexts = kSharedPlaceCount + 3,  // and the 64-bit program folder, profiles, temp
};

bool InSharedFolder(const char *canonical) {
  static char texts[kSharedTexts][kPathSize];
  static char resolved[kSharedTexts][kPathSize];
  static const char *shared[kSharedTexts * 2];
  char *profiles = texts[kSharedPlaceCount + 1];
  profiles[0] = '\0';
  for (int i = 0; i < kSharedPlaceCount; i++) {
    if (FAILED(SjisGetFolderPath(kSharedPlaces[i], SHGFP_TYPE_CURRENT, texts[i]))) {
      texts[i][0] = '\0';
    }
    // C:\Users\player -> C:\Users, never a bare drive.
    if (kSharedPlaces[i] == CSIDL_PROFILE &&
        (!ParentFolder(profiles, kPathSize, texts[i]) || strlen(profiles) <= 2)) {
      profiles[0] = '\0';
    }
  }
  char *program_files = texts[kSharedPlaceCount];
  DWORD length = SjisGetEnvironmentVariable("ProgramW6432", program_files, kPathSize);
  if (length == 0 || length >= kPathSize) program_files[0] = '\0';
  char *temp = texts[kSharedPlaceCount + 2];
  length = SjisGetTempPath(kPathSize, temp);
  if (length == 0 || length >= kPathSize) temp[0] = '\0';
  for (int i = 0; i < kSharedTexts; i++) {
    resolved[i][0] = '\0';
    if (texts[i][0] != '\0') ResolveFolder(texts[i], resolved[i]);
    shared[2 * i] = texts[i];
    shared[2 * i + 1] = resolved[i];
  }
  char windows[kPathSize];
  char windows_resolved[kPathSize] = "";
  UINT windows_length = SjisGetWindowsDirectory(windows, sizeof windows);
  if (windows_length == 0 || windows_length >= sizeof windows) {
    windows[0] = '\0';
  } else {
    ResolveFolder(windows, windows_resolved);
  }
  const char *inside[] = {windows, windows_resolved};
  return IsSharedFolder(canonical, shared, kSharedTexts * 2, inside, 2);
}

// Resolves the InstallFolder for the removal and decides whether it is shared.
void PrepareFolder(const char *folder) {
  g_removal.folder = folder;
  PrepareSafeFolder(folder, &g_removal.place);
  g_removal.shared = InSharedFolder(g_removal.place.canonical);
}

const char *LinkReason(int result) { return result == kFileLinkKept ? kLinkKept : kViaLink; }
bool IsLinkResult(int result) { return result == kFileViaLink || result == kFileLinkKept; }

// Records a folder (relative, a trailing backslash or not) and its parents as candidates;
// listed: a list names the folder itself.
void AddFolderCandidates(const char *relative, bool listed) {
  char folder[kMaxNameSize];
  CopyText(folder, relative, sizeof folder);
  StripBackslash(folder);
  while (folder[0] != '\0') {
    int known = -1;
    for (int i = 0; i < g_removal.folder_count && known < 0; i++) {
      if (SameNameIgnoringCase(g_removal.folders[i].name, folder)) known = i;
    }
    if (known < 0 && g_removal.folder_count < kMaxFolders) {
      known = g_removal.folder_count++;
      CopyText(g_removal.folders[known].name, folder, kMaxNameSize);
      g_removal.folders[known].listed = false;
    }
    if (known >= 0 && listed) g_removal.folders[known].listed = true;
    listed = false;  // the parents are only candidates
    char parent[kMaxNameSize];
    char last[kMaxNameSize];
    SplitLastComponent(folder, parent, sizeof parent, last, sizeof last);
    CopyText(folder, parent, sizeof folder);
  }
}

// Removes one game file named relative to the InstallFolder. game_file: a failure means
// that the game is still there (not said of the saved games).
void RemoveNamedFile(const char *relative, bool game_file) {
  char path[kPathSize];
  if (JoinPath(path, sizeof path, g_removal.place.canonical, relative) != 0) {
    AddReportEntry(&g_removal.refused, relative, RefusalReason(kNameTooLong));
    return;
  }
  int result = RemoveInFolder(&g_removal.place, relative, false, true);
  if (IsLinkResult(result)) {
    AddReportEntry(&g_removal.refused, relative, LinkReason(result));
  } else if (result != kFileGone && result != kFileMissing) {
    ReportFailure(relative, result);
    if (game_file) g_removal.game_left = 1;
  }
}

// Calls visit for every file (not folder) of the folder (relative, may be empty) whose
// name matches the pattern. Returns how many matched. The caller has checked that the
// folder is reached through no link; each file's removal checks its own path again.
typedef void (*MatchVisitor)(const char *relative, bool game_file);
int VisitMatches(const char *folder_part, const char *pattern, MatchVisitor visit,
                 bool game_file) {
  char search[kPathSize];
  char folder[kPathSize];
  if (folder_part[0] == '\0') {
    CopyText(folder, g_removal.place.canonical, sizeof folder);
  } else if (JoinPath(folder, sizeof folder, g_removal.place.canonical, folder_part) != 0) {
    return 0;
  }
  if (JoinPath(search, sizeof search, folder, "*") != 0) return 0;
  WIN32_FIND_DATAA found;
  HANDLE find = SjisFindFirstFile(search, &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (!MatchNamePattern(pattern, found.cFileName)) continue;
    char relative[kMaxNameSize];
    int n = folder_part[0] == '\0'
                ? snprintf(relative, sizeof relative, "%s", found.cFileName)
                : snprintf(relative, sizeof relative, "%s\\%s", folder_part, found.cFileName);
    if (n < 0 || (size_t)n >= sizeof relative || IsUninstallerOwnFile(relative)) continue;
    count++;
    if (visit != nullptr) visit(relative, game_file);
  } while (SjisFindNextFile(find, &found));
  FindClose(find);
  return count;
}

// One [delfiles] or [delfiles_user] line: its first word, checked, then a plain name or a
// pattern within one folder. With remove unset it only counts the existing files; a line
// that will be refused for a link or a shared folder counts once, so that the player is
// asked and then told.
int HandleSectionLine(const char *line, bool remove, bool game_file) {
  char word[kPathSize];
  char name[kMaxNameSize];
  int word_result = FirstWord(line, word, sizeof word);
  if (word_result == -1) return 0;
  int verdict = word_result == 0 ? CheckRemovalLine(word, true, name, sizeof name)
                                 : (int)kNameTooLong;
  if (verdict != kNameOk) {
    if (remove) AddReportEntry(&g_removal.refused, word_result == 0 ? word : line,
                               RefusalReason(verdict));
    return 0;
  }
  if (EndsWithBackslash(name)) {
    // A folder: it goes when the removal has emptied it.
    if (remove) AddFolderCandidates(name, true);
    return 0;
  }
  char folder_part[kMaxNameSize];
  char last[kMaxNameSize];
  SplitLastComponent(name, folder_part, sizeof folder_part, last, sizeof last);
  if (remove && folder_part[0] != '\0') AddFolderCandidates(folder_part, false);
  if (HasWildcard(last)) {
    // A pattern is expanded only in the game's own folder, and never behind a link.
    const char *reason = g_removal.shared ? kSharedPattern
                         : CheckWay(&g_removal.place, folder_part, true) == kWayLink ? kViaLink
                                                                    : nullptr;
    if (reason != nullptr) {
      if (remove) AddReportEntry(&g_removal.refused, word, reason);
      return remove ? 0 : 1;
    }
    return VisitMatches(folder_part, last, remove ? RemoveNamedFile : nullptr, game_file);
  }
  if (IsUninstallerOwnFile(name)) return 0;
  if (remove) {
    RemoveNamedFile(name, game_file);
    return 1;
  }
  if (CheckWay(&g_removal.place, name, false) == kWayLink) return 1;
  char path[kPathSize];
  if (JoinPath(path, sizeof path, g_removal.place.canonical, name) != 0) return 0;
  DWORD attributes = SjisGetFileAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The files and folders of UnInst.lst. A list that cannot be read removes nothing of its
// own; the caller has checked that it exists.
void RemoveListedFiles() {
  char path[kPathSize];
  const char *list_folder = g_removal.kept != nullptr ? g_removal.kept : g_removal.folder;
  if (JoinPath(path, sizeof path, list_folder, kFileListName) != 0) return;
  FILE *list = FileOpen(path, "rt");
  if (list == nullptr) {
    AddReportEntry(&g_removal.failed, kFileListName, "（読み込めません）");
    g_removal.game_left = 1;
    return;
  }
  char line[kSettingsLineSize];
  while (ReadTrimmedLine(line, sizeof line, list) != nullptr) {
    int kind = ClassifyListLine(line);
    if (kind == kListNothing) continue;
    char name[kMaxNameSize];
    int verdict = CheckRemovalLine(line, false, name, sizeof name);
    if (verdict != kNameOk) {
      AddReportEntry(&g_removal.refused, line, RefusalReason(verdict));
      continue;
    }
    if (kind == kListFolder) {
      AddFolderCandidates(name, true);
      continue;
    }
    char folder_part[kMaxNameSize];
    char last[kMaxNameSize];
    SplitLastComponent(name, folder_part, sizeof folder_part, last, sizeof last);
    if (folder_part[0] != '\0') AddFolderCandidates(folder_part, false);
    if (!IsUninstallerOwnFile(name)) RemoveNamedFile(name, true);
  }
  fclose(list);
}

// Deepest folders first, so that a parent is tried after its children.
int CompareDepth(const void *a, const void *b) {
  return NameDepth(((const FolderCandidate *)b)->name) -
         NameDepth(((const FolderCandidate *)a)->name);
}

// The emptied folders, then the InstallFolder, unless it is shared. A folder that is not
// empty (the player's files) stays, as it should. A link in a folder's place goes (as a
// link) only when a list names that folder; a listed folder that stays for a link is
// reported.
void RemoveEmptyFolders() {
  qsort(g_removal.folders, (size_t)g_removal.folder_count, sizeof(FolderCandidate), CompareDepth);
  for (int i = 0; i < g_removal.folder_count; i++) {
    const FolderCandidate &folder = g_removal.folders[i];
    int result = RemoveInFolder(&g_removal.place, folder.name, true, folder.listed);
    if (folder.listed && IsLinkResult(result)) {
      char shown[kMaxNameSize + 1];
      snprintf(shown, sizeof shown, "%s\\", folder.name);
      AddReportEntry(&g_removal.refused, shown, LinkReason(result));
    }
  }
  if (!g_removal.shared) SjisRemoveDirectory(g_removal.place.canonical);
}

// The path that a shortcut file points at, or 0 when it cannot be read.
int ShortcutTarget(const char *link, char *target) {
  target[0] = '\0';
  wchar_t wide_link[kWidePathSize];
  if (SjisToWide(link, wide_link, kWidePathSize) != 0) return 0;
  IShellLinkW *shell_link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              (void **)&shell_link))) {
    return 0;
  }
  int ok = 0;
  IPersistFile *file = nullptr;
  if (SUCCEEDED(shell_link->QueryInterface(IID_IPersistFile, (void **)&file))) {
    // The target from the link's item list, which holds every name in Unicode; the path
    // text beside it may have been stored in a code page that could not write the names.
    // A target that Shift-JIS cannot write is none of this installation's.
    wchar_t wide_target[MAX_PATH];
    LPITEMIDLIST item = nullptr;
    if (SUCCEEDED(file->Load(wide_link, STGM_READ))) {
      bool found = false;
      if (shell_link->GetIDList(&item) == S_OK && item != nullptr) {
        found = SHGetPathFromIDListW(item, wide_target) != FALSE;
        CoTaskMemFree(item);
      }
      if (!found) {
        found = shell_link->GetPath(wide_target, MAX_PATH, nullptr, SLGP_RAWPATH) == S_OK;
      }
      wide_target[MAX_PATH - 1] = 0;
      ok = found && WideToSjis(wide_target, target, kPathSize) == 0 ? 1 : 0;
    }
    file->Release();
  }
  shell_link->Release();
  return ok;
}

// Deletes the shortcut when it points into the InstallFolder or at the protected copy;
// the uninstaller's own shortcut stays when keep_uninstaller is set. shown names it in the
// final box.
void RemoveShortcutFile(const char *link, const char *shown, bool keep_uninstaller) {
  char target[kPathSize];
  if (!ShortcutTarget(link, target)) return;
  bool own = SameNameIgnoringCase(target, g_removal.own_program);
  if (!own && !PathPointsInto(target, g_removal.folder)) return;
  if (keep_uninstaller && own) return;
  int result = DeleteOneFile(link);
  if (result != kFileGone && result != kFileMissing) ReportFailure(shown, result);
}

int Concat(char *out, size_t size, const char *a, const char *b, const char *c = "") {
  int n = snprintf(out, size, "%s%s%s", a, b, c);
  return n < 0 || (size_t)n >= size ? -1 : 0;
}

// The Start-menu folder that the installer made (its group folder under INST_GROUP, then
// the title's folder) and the desktop shortcut, in the all-users folders on Vista and
// later and the player's own on older systems, as the installer chose them.
void RemoveShortcuts(bool keep_uninstaller) {
  // The title and the group become folder and file names in the shell's folders: one that
  // is no plain name ("..", a separator, a drive) would reach outside them. Such settings
  // did not come from a package that installed anything there; nothing is touched.
  const char *group_name = GetInstGroup();
  if (CheckEntryName(GetTitleBar(), false) != kNameOk ||
      (group_name != nullptr && CheckEntryName(group_name, false) != kNameOk)) {
    AddReportEntry(&g_removal.refused, "TITLEBAR / INST_GROUP", kShortcutNamesReason);
    return;
  }
  bool vista = IsVistaOrLater() != 0;
  char programs[kPathSize];
  char group[kPathSize];
  char title_folder[kPathSize];
  if (SUCCEEDED(SjisGetFolderPath(vista ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS,
                                  SHGFP_TYPE_CURRENT, programs))) {
    CopyText(group, programs, sizeof group);
    bool fits = group_name == nullptr || JoinPath(group, sizeof group, programs, group_name) == 0;
    if (fits && JoinPath(title_folder, sizeof title_folder, group, GetTitleBar()) == 0) {
      char search[kPathSize];
      WIN32_FIND_DATAA found;
      HANDLE find = INVALID_HANDLE_VALUE;
      if (JoinPath(search, sizeof search, title_folder, "*.lnk") == 0) {
        find = SjisFindFirstFile(search, &found);
      }
      if (find != INVALID_HANDLE_VALUE) {
        do {
          char link[kPathSize];
          if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
          if (JoinPath(link, sizeof link, title_folder, found.cFileName) != 0) continue;
          RemoveShortcutFile(link, found.cFileName, keep_uninstaller);
        } while (SjisFindNextFile(find, &found));
        FindClose(find);
      }
      // Only when empty: a shortcut of another program, or one kept, keeps its folder.
      SjisRemoveDirectory(title_folder);
      if (group_name != nullptr) SjisRemoveDirectory(group);
    }
  }
  char desktop[kPathSize];
  char link[kPathSize];
  char name[kPathSize];
  if (SUCCEEDED(SjisGetFolderPath(vista ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY,
                                  SHGFP_TYPE_CURRENT, desktop)) &&
      Concat(name, sizeof name, GetTitleBar(), kLinkSuffix) == 0 &&
      JoinPath(link, sizeof link, desktop, name) == 0) {
    RemoveShortcutFile(link, name, false);
  }
}

// Deletes the key when it holds no value and no subkey.
void DeleteKeyIfEmpty(HKEY root, const char *path) {
  HKEY key;
  if (SjisRegOpenKey(root, path, KEY_READ, &key) != ERROR_SUCCESS) return;
  DWORD subkeys = 0;
  DWORD values = 0;
  LONG status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                 &values, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  if (status == ERROR_SUCCESS && subkeys == 0 && values == 0) SjisRegDeleteKey(root, path);
}

void ReportRegistry(const char *root, const char *path, const char *name) {
  char shown[kKeySize];
  snprintf(shown, sizeof shown, "%s%s\\%s%s%s", kRegistryPrefix, root, path,
           name ? "\\" : "", name ? name : "");
  AddReportEntry(&g_removal.failed, shown, "");
}

// Whether the per-user product key's "InstTo" names another folder than this
// InstallFolder: the same title installed twice, where the other installation's values
// must stay. Names are compared in their long forms where the folders exist. A key
// without InstTo says nothing against this installation.
bool KeyDescribesAnotherFolder(HKEY key) {
  char inst_to[kPathSize];
  DWORD type = 0;
  if (SjisRegQueryString(key, "InstTo", &type, inst_to, sizeof inst_to) != ERROR_SUCCESS ||
      type != REG_SZ || inst_to[0] == '\0') {
    return false;
  }
  char inst_to_long[kPathSize];
  char folder_long[kPathSize];
  DWORD length = SjisGetLongPathName(inst_to, inst_to_long, sizeof inst_to_long);
  if (length == 0 || length >= sizeof inst_to_long) CopyText(inst_to_long, inst_to, kPathSize);
  length = SjisGetLongPathName(g_removal.folder, folder_long, sizeof folder_long);
  if (length == 0 || length >= sizeof folder_long) {
    CopyText(folder_long, g_removal.folder, kPathSize);
  }
  return !(PathPointsInto(inst_to_long, folder_long) && PathPointsInto(folder_long, inst_to_long));
}

// The per-user values of [reg], the product keys when that leaves them empty (the machine
// key is the installer's administrator probe), and the uninstall entry when it names this
// InstallFolder (another installation of the same title may have taken it over).
void RemoveRegistry(bool keep_entry) {
  char product[kKeySize];
  char maker[kKeySize];
  bool have_product =
      snprintf(product, sizeof product, "Software\\%s\\%s", GetRegGlobal(), GetRegLocal()) <
          (int)sizeof product &&
      snprintf(maker, sizeof maker, "Software\\%s", GetRegGlobal()) < (int)sizeof maker;
  if (have_product && GetRegGlobal()[0] != '-') {
    HKEY key;
    if (SjisRegOpenKey(HKEY_CURRENT_USER, product, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
      TokenValues values = {CdromRoot, g_removal.folder};
      // Another installation's values are not this one's to delete.
      const SectionLine *lines = KeyDescribesAnotherFolder(key) ? nullptr : GetRegLines();
      char name[kTransferTextSize];
      char text[kTransferTextSize];
      for (const SectionLine *line = lines; line; line = line->next) {
        if (ParseRegLine(line->text, &values, name, sizeof name, text, sizeof text) != 0) {
          continue;
        }
        LONG status = SjisRegDeleteValue(key, name);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
          ReportRegistry("HKCU\\", product, name);
        }
      }
      RegCloseKey(key);
    }
  }
  if (have_product) {
    DeleteKeyIfEmpty(HKEY_CURRENT_USER, product);
    DeleteKeyIfEmpty(HKEY_CURRENT_USER, maker);
    DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, product);
    DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, maker);
  }
  if (keep_entry) return;
  char entry[kKeySize];
  char program[kPathSize];
  if (UninstallKeyPath(entry, sizeof entry) != 0 || ReadUninstallProgram(program) != 0) return;
  if (!SameNameIgnoringCase(program, g_removal.own_program) &&
      !PathPointsInto(program, g_removal.folder)) {
    return;
  }
  if (SjisRegDeleteKey(HKEY_LOCAL_MACHINE, entry) != ERROR_SUCCESS) {
    ReportRegistry("HKLM\\", entry, nullptr);
  }
}

void RemoveOwnFiles() {
  const char *const names[] = {kSettingsFileName, kFileListName, kUninstallerName};
  for (const char *name : names) RemoveNamedFile(name, false);
  if (g_removal.kept == nullptr) return;
  // The protected copy's own files; its program is still running.
  const char *const kept_names[] = {kSettingsFileName, kFileListName, kInstallFolderFileName};
  char path[kPathSize];
  for (const char *name : kept_names) {
    if (JoinPath(path, sizeof path, g_removal.kept, name) == 0 && !SjisDeleteFile(path) &&
        GetLastError() != ERROR_FILE_NOT_FOUND) {
      ReportFailure(path, kFileFailed);
    }
  }
}

}  // namespace

int CountNamedFiles(const char *folder, const SectionLine *lines) {
  PrepareFolder(folder);
  int count = 0;
  for (const SectionLine *line = lines; line; line = line->next) {
    count += HandleSectionLine(line->text, false, false);
  }
  return count;
}

RemovalOutcome RunRemoval(const char *folder, const char *kept, int saved_games) {
  PrepareFolder(folder);
  g_removal.kept = kept;
  if (JoinPath(g_removal.own_program, sizeof g_removal.own_program,
               kept != nullptr ? kept : folder, kUninstallerName) != 0) {
    g_removal.own_program[0] = '\0';
  }
  StartReport(&g_removal.failed);
  StartReport(&g_removal.refused);
  g_removal.game_left = 0;
  g_removal.folder_count = 0;

  RemoveListedFiles();
  for (const SectionLine *line = GetDelfilesLines(); line; line = line->next) {
    HandleSectionLine(line->text, true, true);
  }
  if (saved_games) {
    for (const SectionLine *line = GetDelfilesUserLines(); line; line = line->next) {
      HandleSectionLine(line->text, true, false);
    }
  }
  bool keep_self = g_removal.game_left != 0;
  RemoveShortcuts(keep_self);
  RemoveRegistry(keep_self);
  if (!keep_self) RemoveOwnFiles();
  RemoveEmptyFolders();

  RemovalOutcome outcome;
  outcome.failed = &g_removal.failed;
  outcome.refused = &g_removal.refused;
  outcome.game_left = g_removal.game_left;
  outcome.folder_left = SjisGetFileAttributes(folder) != INVALID_FILE_ATTRIBUTES;
  return outcome;
}
