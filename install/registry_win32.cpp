// The installer's registry and INI-file work: the administrator probe, the per-user
// product values, the uninstall entry and the [ini] and [reg] transfers. Keys are opened
// and closed within each call.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "install/install_steps.h"
#include "install/transfer_lines.h"
#include "settings/section_lists.h"
#include "settings/settings_file.h"
#include "support/sjis.h"

namespace {

// Key paths and the texts read from the registry.
enum { kKeySize = 512, kValueSize = 512 };

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvApp%s";

// Module state: the InstallFolder for REP_INSTALL and the CD-ROM root's buffer.
struct RegistryState {
  char install_folder[kPathSize];
  char cdrom_root[kPathSize];
};
RegistryState g_registry;

// "Software\\<global>\\<local>"; -1 when it does not fit.
int FormatProductKey(const char *global, const char *local, char *out, size_t size) {
  int n = snprintf(out, size, "Software\\%s\\%s", global, local);
  return n < 0 || (size_t)n >= size ? -1 : 0;
}

int CreateKey(HKEY root, const char *path, HKEY *key) {
  return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                         nullptr, key, nullptr) == ERROR_SUCCESS ? 0 : -1;
}

int SetString(HKEY key, const char *name, const char *text) {
  return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1) ==
                 ERROR_SUCCESS ? 0 : -1;
}

// Reads a REG_SZ value of the per-user product key into out (kValueSize + 1 bytes: at most
// kValueSize bytes of data are asked for), terminated after the length the query reports
// even when the stored data lacks its terminator. 0, or -1 when the key or value is
// missing, longer than kValueSize bytes or not a string.
int QueryProductValue(const char *global, const char *local, const char *name, char *out) {
  char path[kKeySize];
  if (FormatProductKey(global, local, path, sizeof path) != 0) return -1;
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    return -1;
  }
  DWORD type = 0;
  DWORD length = kValueSize;
  LONG status = RegQueryValueExA(key, name, nullptr, &type, (BYTE *)out, &length);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ || length > kValueSize) return -1;
  out[length] = '\0';
  return 0;
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

void RegisterUninstallEntry(const char *install_folder) {
  char path[kKeySize];
  int n = snprintf(path, sizeof path, kUninstallKey, GetTitleBar());
  if (n < 0 || (size_t)n >= sizeof path) return;
  // The command is quoted when the folder holds a blank, so that Windows starts the
  // uninstaller and not a program named after the path's first word.
  char command[kValueSize];
  const char *format = strchr(install_folder, ' ') ? "\"%s\\UnInst.exe\"" : "%s\\UnInst.exe";
  n = snprintf(command, sizeof command, format, install_folder);
  HKEY key;
  if (CreateKey(HKEY_LOCAL_MACHINE, path, &key) == 0) {
    SetString(key, "DisplayName", GetTitleBar());
    if (n >= 0 && (size_t)n < sizeof command) SetString(key, "UninstallString", command);
    RegCloseKey(key);
  }
}

const char *CdromRoot() {
  for (char letter = 'A'; letter <= 'Z'; letter++) {
    snprintf(g_registry.cdrom_root, sizeof g_registry.cdrom_root, "%c:\\", letter);
    if (GetDriveTypeA(g_registry.cdrom_root) == DRIVE_CDROM) return g_registry.cdrom_root;
  }
  return "E:\\";
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
      WritePrivateProfileStringA(GetIniSection(), key, value, file);
    }
  }
}

void TransferRegSection() {
  if (GetRegGlobal()[0] == '-') return;
  TokenValues values = {CdromRoot, g_registry.install_folder};
  char name[kTransferTextSize];
  char value[kTransferTextSize];
  for (const SectionLine *line = GetRegLines(); line; line = line->next) {
    if (ParseRegLine(line->text, &values, name, sizeof name, value, sizeof value) == 0) {
      WriteProductString(GetRegGlobal(), GetRegLocal(), name, value);
    }
  }
}
