// The installer's registry and INI-file work: the administrator probe, the per-user
// product values, the uninstall entry and the [ini] and [reg] transfers. Keys are opened
// and closed within each call.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "install/folder_paths.h"
#include "install/ini_text.h"
#include "install/install_steps.h"
#include "install/transfer_lines.h"
#include "settings/section_lists.h"
#include "settings/settings_file.h"
#include "support/allocate.h"
#include "support/file_io.h"
#include "support/sjis.h"
#include "support/wide_win32.h"
#include "uninstall/removal_rules.h"

namespace {

// Key paths and the texts read from the registry; the largest INI file updated in place.
enum { kKeySize = 512, kValueSize = 512, kIniFileLimit = 4 << 20 };

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvApp%s";

// Module state: the InstallFolder for REP_INSTALL and the CD-ROM root, found once.
struct RegistryState {
  char install_folder[kPathSize];
  char cdrom_root[kPathSize];  // empty until CdromRoot first looks
};
RegistryState g_registry;

// "Software\\<global>\\<local>"; -1 when it does not fit.
int FormatProductKey(const char *global, const char *local, char *out, size_t size) {
  int n = snprintf(out, size, "Software\\%s\\%s", global, local);
  return n < 0 || (size_t)n >= size ? -1 : 0;
}

int CreateKey(HKEY root, const char *path, HKEY *key) {
  return SjisRegCreateKey(root, path, KEY_ALL_ACCESS, key) == ERROR_SUCCESS ? 0 : -1;
}

int SetString(HKEY key, const char *name, const char *text) {
  return SjisRegSetString(key, name, text) == ERROR_SUCCESS ? 0 : -1;
}

// Reads a REG_SZ value of the per-user product key into out (kValueSize + 1 bytes),
// terminated even when the stored data lacks its terminator. 0, or -1 when the key or
// value is missing, longer than kValueSize bytes in Shift-JIS, has a character that
// Shift-JIS cannot write, or is not a string.
int QueryProductValue(const char *global, const char *local, const char *name, char *out) {
  char path[kKeySize];
  if (FormatProductKey(global, local, path, sizeof path) != 0) return -1;
  HKEY key;
  if (SjisRegOpenKey(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    return -1;
  }
  DWORD type = 0;
  LONG status = SjisRegQueryString(key, name, &type, out, kValueSize + 1);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return -1;
  return 0;
}

// The INI file's path as the profile functions take it: a bare name lies in the Windows
// folder, anything else is taken as it stands. -1 when it does not fit.
int IniFilePath(const char *file, char *path) {
  if (FindSeparator(file, true) != nullptr || FindSjisChar(file, ':') != nullptr) {
    return CopyText(path, file, kPathSize) < kPathSize ? 0 : -1;
  }
  char windows[kPathSize];
  UINT length = SjisGetWindowsDirectory(windows, sizeof windows);
  if (length == 0 || length >= sizeof windows) return -1;
  return JoinPath(path, kPathSize, windows, file);
}

// Reads the whole file into a new block (*length bytes); an absent file is an empty text.
// nullptr with *length 0 for an empty or absent file, -1 on failure.
int ReadWholeFile(const char *path, char **text, size_t *length) {
  *text = nullptr;
  *length = 0;
  FILE *file = FileOpen(path, "rb");
  if (file == nullptr) return SjisGetFileAttributes(path) == INVALID_FILE_ATTRIBUTES ? 0 : -1;
  int result = -1;
  if (FileSeek(file, 0, SEEK_END) == 0) {
    int64_t size = FileTell(file);
    if (size == 0) {
      result = 0;
    } else if (size > 0 && size <= kIniFileLimit && FileSeek(file, 0, SEEK_SET) == 0) {
      *text = (char *)AllocateOrWarn((size_t)size);
      if (*text != nullptr && fread(*text, 1, (size_t)size, file) == (size_t)size) {
        *length = (size_t)size;
        result = 0;
      }
    }
  }
  fclose(file);
  if (result != 0 && *text != nullptr) {
    ReleaseBlock(*text);
    *text = nullptr;
  }
  return result;
}

// Writes the whole text into a new file beside path, named into fresh (kPathSize bytes):
// made only where nothing has the name yet, so that a file or a link someone put there (to
// have the installer write elsewhere with its rights) is never written through.
bool WriteNewFile(const char *path, const char *text, size_t length, char *fresh) {
  for (int attempt = 0; attempt < 8; attempt++) {
    int n = snprintf(fresh, kPathSize, "%s.%lu-%d.new", path,
                     (unsigned long)GetCurrentProcessId(), attempt);
    if (n < 0 || n >= kPathSize) return false;
    HANDLE file = SjisCreateFile(fresh, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return false;
    }
    DWORD written = 0;
    bool whole = WriteFile(file, text, (DWORD)length, &written, nullptr) && written == length;
    if (CloseHandle(file) && whole) return true;
    SjisDeleteFile(fresh);
    return false;
  }
  return false;
}

// Sets one INI key with the file's bytes kept as Shift-JIS: the new text is written beside
// the file and then replaces it, so a failure leaves the old file whole. An INI file that
// is a link is left alone: the installer would read, and publish, whatever it leads to.
void WriteIniKeyBytes(const char *section, const char *key, const char *value,
                      const char *file) {
  char path[kPathSize];
  if (IniFilePath(file, path) != 0) return;
  DWORD attributes = SjisGetFileAttributes(path);
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
    return;
  }
  char *text = nullptr;
  size_t length = 0;
  if (ReadWholeFile(path, &text, &length) != 0) return;
  size_t needed = length + strlen(section) + strlen(key) + strlen(value) + 16;
  char *out = (char *)AllocateOrWarn(needed);
  size_t out_length = 0;
  int updated = out != nullptr ? UpdateIniText(text, length, section, key, value, out, needed,
                                               &out_length)
                               : -1;
  if (text != nullptr) ReleaseBlock(text);
  if (updated == 0) {
    char fresh[kPathSize];
    if (WriteNewFile(path, out, out_length, fresh) &&
        !SjisMoveFileEx(fresh, path, MOVEFILE_REPLACE_EXISTING)) {
      SjisDeleteFile(fresh);
    }
  }
  if (out != nullptr) ReleaseBlock(out);
}

// One [ini] key. On a system whose code page is Shift-JIS the profile function keeps the
// bytes as they are and is used as always; elsewhere it would re-encode them through that
// code page, so the file's text is updated here instead.
void WriteIniKey(const char *section, const char *key, const char *value, const char *file) {
  if (GetACP() == 932) {
    WritePrivateProfileStringA(section, key, value, file);
  } else {
    WriteIniKeyBytes(section, key, value, file);
  }
}

}  // namespace

int ProbeMachineKey(const char *global, const char *local) {
  char path[kKeySize];
  if (FormatProductKey(global, local, path, sizeof path) != 0) return -1;
  HKEY key;
  if (CreateKey(HKEY_LOCAL_MACHINE, path, &key) != 0) return -1;
  RegCloseKey(key);
  return 0;
}

int ReadProductString(const char *global, const char *local, const char *name,
                      const char *default_text, char *out, size_t size) {
  CopyText(out, default_text, size);
  char value[kValueSize + 1];
  if (QueryProductValue(global, local, name, value) != 0) return -1;
  // Whole or not at all: a path cut short (perhaps inside a double-byte character) would
  // propose a folder nobody chose.
  if (strlen(value) >= size) return -1;
  CopyText(out, value, size);
  return 0;
}

int ReadProductInt(const char *global, const char *local, const char *name, int default_value) {
  char value[kValueSize + 1];
  if (QueryProductValue(global, local, name, value) != 0) return default_value;
  return atoi(value);
}

int WriteProductString(const char *global, const char *local, const char *name,
                       const char *text) {
  char path[kKeySize];
  if (FormatProductKey(global, local, path, sizeof path) != 0) return -1;
  HKEY key;
  if (CreateKey(HKEY_CURRENT_USER, path, &key) != 0) return -1;
  int result = SetString(key, name, text);
  RegCloseKey(key);
  return result;
}

int UninstallKeyPath(char *out, size_t size) {
  int n = snprintf(out, size, kUninstallKey, GetTitleBar());
  return n < 0 || (size_t)n >= size ? -1 : 0;
}

void RegisterUninstallEntry(const char *program) {
  char path[kKeySize];
  if (UninstallKeyPath(path, sizeof path) != 0) return;
  // The command is quoted when the path holds a blank, so that Windows starts the
  // uninstaller and not a program named after the path's first word.
  char command[kValueSize];
  int n = snprintf(command, sizeof command, strchr(program, ' ') ? "\"%s\"" : "%s", program);
  HKEY key;
  if (CreateKey(HKEY_LOCAL_MACHINE, path, &key) == 0) {
    SetString(key, "DisplayName", GetTitleBar());
    if (n >= 0 && (size_t)n < sizeof command) SetString(key, "UninstallString", command);
    RegCloseKey(key);
  }
}

int ReadUninstallProgram(char *program) {
  char path[kKeySize];
  if (UninstallKeyPath(path, sizeof path) != 0) return -1;
  HKEY key;
  if (SjisRegOpenKey(HKEY_LOCAL_MACHINE, path, KEY_READ, &key) != ERROR_SUCCESS) return -1;
  char command[kValueSize + 1];
  DWORD type = 0;
  LONG status = SjisRegQueryString(key, "UninstallString", &type, command, sizeof command);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return -1;
  StripQuotes(command);
  return CopyText(program, command, kPathSize) < kPathSize ? 0 : -1;
}

// Only the drives that exist are asked for their type (asking for each of the 26 letters
// took 17 ms under Wine, for every line naming the disc), and the answer is kept for the
// run: the drives do not change between the transfers.
const char *CdromRoot() {
  if (g_registry.cdrom_root[0] != '\0') return g_registry.cdrom_root;
  DWORD drives = GetLogicalDrives();
  for (int letter = 0; letter < 26; letter++) {
    if (!(drives & (1u << letter))) continue;
    char root[4] = {(char)('A' + letter), ':', '\\', '\0'};
    if (SjisGetDriveType(root) == DRIVE_CDROM) {
      CopyText(g_registry.cdrom_root, root, sizeof g_registry.cdrom_root);
      return g_registry.cdrom_root;
    }
  }
  CopyText(g_registry.cdrom_root, "E:\\", sizeof g_registry.cdrom_root);
  return g_registry.cdrom_root;
}

void SetInstallToken(const char *install_folder) {
  CopyText(g_registry.install_folder, install_folder, sizeof g_registry.install_folder);
}

void TransferIniSection() {
  const char *file = GetIniFile();
  if (file[0] == '-') return;
  TokenValues values = {CdromRoot, g_registry.install_folder};
  char key[kTransferTextSize];
  char value[kTransferTextSize];
  for (const SectionLine *line = GetIniLines(); line; line = line->next) {
    if (ParseIniLine(line->text, &values, key, sizeof key, value, sizeof value) == 0) {
      WriteIniKey(GetIniSection(), key, value, file);
    }
  }
}

void TransferRegSection() {
  if (GetRegGlobal()[0] == '-') return;
  // The per-user product key is opened once for all the lines.
  char path[kKeySize];
  HKEY key;
  if (FormatProductKey(GetRegGlobal(), GetRegLocal(), path, sizeof path) != 0 ||
      CreateKey(HKEY_CURRENT_USER, path, &key) != 0) {
    return;
  }
  TokenValues values = {CdromRoot, g_registry.install_folder};
  char name[kTransferTextSize];
  char value[kTransferTextSize];
  for (const SectionLine *line = GetRegLines(); line; line = line->next) {
    if (ParseRegLine(line->text, &values, name, sizeof name, value, sizeof value) == 0) {
      SetString(key, name, value);
    }
  }
  RegCloseKey(key);
}
