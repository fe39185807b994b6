// The removal itself: files, patterns, shortcuts, registry values and folders. Every path
// is the InstallFolder, a backslash and a name that CheckRemovalLine accepted; nothing is
// removed anywhere else, apart from the shortcuts and registry keys that point into the
// InstallFolder or that the installer made for this title.
#include "uninstall/remove_steps.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "archive/package_format.h"
#include "install/folder_paths.h"
#include "install/install_steps.h"
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

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvApp%s";
const char kLinkSuffix[] = ".LNK";
const char kInUse[] = "（使用中）";
const char kDenied[] = "（使用中か、アクセスが拒否されました）";
const char kIsFolder[] = "（同じ名前のフォルダがあります）";
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

// Module state of the one run.
struct RemovalState {
  const char *folder;
  RemovalReport failed;
  RemovalReport refused;
  int game_left;
  char folders[kMaxFolders][kMaxNameSize];
  int folder_count;
};
RemovalState g_removal;

enum FileResult { kFileGone = 0, kFileMissing, kFileInUse, kFileDenied, kFileIsFolder, kFileFailed };

// Deletes one file; a read-only file loses that attribute first (and gets it back when the
// deletion fails, so nothing is changed half-way). A missing file is no failure.
int DeleteOneFile(const char *path) {
  DWORD attributes = SjisGetFileAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? kFileMissing
                                                                            : kFileFailed;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return kFileIsFolder;
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    SjisSetFileAttributes(path, attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if (SjisDeleteFile(path)) return kFileGone;
  DWORD error = GetLastError();
  if (attributes & FILE_ATTRIBUTE_READONLY) SjisSetFileAttributes(path, attributes);
  if (error == ERROR_FILE_NOT_FOUND) return kFileMissing;
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return kFileInUse;
  if (error == ERROR_ACCESS_DENIED) return kFileDenied;
  return kFileFailed;
}

void ReportFailure(const char *shown, int result) {
  const char *suffix = result == kFileInUse    ? kInUse
                       : result == kFileDenied ? kDenied
                       : result == kFileIsFolder ? kIsFolder
                                                 : "";
  AddReportEntry(&g_removal.failed, shown, suffix);
}

// Records a folder (relative, without a trailing backslash) and its parents as candidates.
void AddFolderCandidates(const char *relative) {
  char folder[kMaxNameSize];
  CopyText(folder, relative, sizeof folder);
  StripBackslash(folder);
  while (folder[0] != '\0') {
    bool known = false;
    for (int i = 0; i < g_removal.folder_count && !known; i++) {
      known = SameNameIgnoringCase(g_removal.folders[i], folder);
    }
    if (!known && g_removal.folder_count < kMaxFolders) {
      CopyText(g_removal.folders[g_removal.folder_count++], folder, kMaxNameSize);
    }
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
  if (JoinPath(path, sizeof path, g_removal.folder, relative) != 0) {
    AddReportEntry(&g_removal.refused, relative, RefusalReason(kNameTooLong));
    return;
  }
  int result = DeleteOneFile(path);
  if (result != kFileGone && result != kFileMissing) {
    ReportFailure(relative, result);
    if (game_file) g_removal.game_left = 1;
  }
}

// Calls visit for every file (not folder) of the folder (relative, may be empty) whose
// name matches the pattern. Returns how many matched.
typedef void (*MatchVisitor)(const char *relative, bool game_file);
int VisitMatches(const char *folder_part, const char *pattern, MatchVisitor visit,
                 bool game_file) {
  char search[kPathSize];
  char folder[kPathSize];
  if (folder_part[0] == '\0') {
    CopyText(folder, g_removal.folder, sizeof folder);
  } else if (JoinPath(folder, sizeof folder, g_removal.folder, folder_part) != 0) {
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
// pattern within one folder. With remove unset it only counts the existing files.
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
    if (remove) AddFolderCandidates(name);
    return 0;
  }
  char folder_part[kMaxNameSize];
  char last[kMaxNameSize];
  SplitLastComponent(name, folder_part, sizeof folder_part, last, sizeof last);
  if (remove && folder_part[0] != '\0') AddFolderCandidates(folder_part);
  if (HasWildcard(last)) {
    return VisitMatches(folder_part, last, remove ? RemoveNamedFile : nullptr, game_file);
  }
  if (IsUninstallerOwnFile(name)) return 0;
  if (remove) {
    RemoveNamedFile(name, game_file);
    return 1;
  }
  char path[kPathSize];
  if (JoinPath(path, sizeof path, g_removal.folder, name) != 0) return 0;
  DWORD attributes = SjisGetFileAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The files and folders of UnInst.lst. A list that cannot be read removes nothing of its
// own; the caller has checked that it exists.
void RemoveListedFiles() {
  char path[kPathSize];
  if (JoinPath(path, sizeof path, g_removal.folder, kFileListName) != 0) return;
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
      AddFolderCandidates(name);
      continue;
    }
    char folder_part[kMaxNameSize];
    char last[kMaxNameSize];
    SplitLastComponent(name, folder_part, sizeof folder_part, last, sizeof last);
    if (folder_part[0] != '\0') AddFolderCandidates(folder_part);
    if (!IsUninstallerOwnFile(name)) RemoveNamedFile(name, true);
  }
  fclose(list);
}

// Deepest folders first, so that a parent is tried after its children.
int CompareDepth(const void *a, const void *b) {
  return NameDepth((const char *)b) - NameDepth((const char *)a);
}

void RemoveEmptyFolders() {
  qsort(g_removal.folders, (size_t)g_removal.folder_count, kMaxNameSize, CompareDepth);
  for (int i = 0; i < g_removal.folder_count; i++) {
    char path[kPathSize];
    // A folder that is not empty (the player's files) fails and stays, as it should.
    if (JoinPath(path, sizeof path, g_removal.folder, g_removal.folders[i]) == 0) {
      SjisRemoveDirectory(path);
    }
  }
  SjisRemoveDirectory(g_removal.folder);
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

// Deletes the shortcut when it points into the InstallFolder; the uninstaller's own
// shortcut stays when keep_uninstaller is set. shown names it in the final box.
void RemoveShortcutFile(const char *link, const char *shown, bool keep_uninstaller) {
  char target[kPathSize];
  if (!ShortcutTarget(link, target) || !PathPointsInto(target, g_removal.folder)) return;
  if (keep_uninstaller) {
    char own[kPathSize];
    if (JoinPath(own, sizeof own, g_removal.folder, kUninstallerName) == 0 &&
        SameNameIgnoringCase(target, own)) {
      return;
    }
  }
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
  bool vista = IsVistaOrLater() != 0;
  char programs[kPathSize];
  char group[kPathSize];
  char title_folder[kPathSize];
  if (SUCCEEDED(SjisGetFolderPath(vista ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS,
                                  SHGFP_TYPE_CURRENT, programs))) {
    const char *group_name = GetInstGroup();
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
      char name[kTransferTextSize];
      char text[kTransferTextSize];
      for (const SectionLine *line = GetRegLines(); line; line = line->next) {
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
  int n = snprintf(entry, sizeof entry, kUninstallKey, GetTitleBar());
  if (n < 0 || (size_t)n >= sizeof entry) return;
  HKEY key;
  if (SjisRegOpenKey(HKEY_LOCAL_MACHINE, entry, KEY_READ, &key) != ERROR_SUCCESS) return;
  char command[kKeySize + 1];
  DWORD type = 0;
  LONG status = SjisRegQueryString(key, "UninstallString", &type, command, sizeof command);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return;
  StripQuotes(command);
  if (!PathPointsInto(command, g_removal.folder)) return;
  if (SjisRegDeleteKey(HKEY_LOCAL_MACHINE, entry) != ERROR_SUCCESS) {
    ReportRegistry("HKLM\\", entry, nullptr);
  }
}

void RemoveOwnFiles() {
  const char *const names[] = {kSettingsFileName, kFileListName, kUninstallerName};
  for (const char *name : names) RemoveNamedFile(name, false);
}

}  // namespace

int CountNamedFiles(const char *folder, const SectionLine *lines) {
  g_removal.folder = folder;
  int count = 0;
  for (const SectionLine *line = lines; line; line = line->next) {
    count += HandleSectionLine(line->text, false, false);
  }
  return count;
}

RemovalOutcome RunRemoval(const char *folder, int saved_games) {
  g_removal.folder = folder;
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
