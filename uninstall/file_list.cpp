#include "uninstall/file_list.h"

#include <string.h>

#include "support/sjis.h"
#include "uninstall/removal_rules.h"

const char kFileListName[] = "UnInst.lst";
const char kUninstallerName[] = "UnInst.exe";
const char kSettingsFileName[] = "install.env";
const char kFileListHeader[] =
    "; Fernstall file list: every file and folder of the package, for UnInst.exe.\r\n"
    "; A folder ends with \"\\\". Names are relative to the folder of UnInst.exe.\r\n";

const char kOwnUninstallerMark[] =
    "; UnInst.exe is the packer's own uninstaller: the installer keeps a protected copy.\r\n";
const char kInstallFolderFileName[] = "UnInst.dir";
const char kFileSizesNote[] =
    "; Each file line follows a line \";=<bytes>\" with its unpacked size.\r\n";
const char kSizeLinePrefix[] = ";=";
const char kKeptCopyRootName[] = "Fernstall";

int ClassifyListLine(const char *line) {
  if (line[0] == '\0' || line[0] == ';') return kListNothing;
  return EndsWithBackslash(line) ? kListFolder : kListFile;
}

bool IsUninstallerOwnFile(const char *relative) {
  return SameNameIgnoringCase(relative, kUninstallerName) ||
         SameNameIgnoringCase(relative, kFileListName) ||
         SameNameIgnoringCase(relative, kSettingsFileName);
}

bool OpeningCommentsHold(const char *text, size_t size, const char *line) {
  size_t line_length = strlen(line);
  size_t at = 0;
  // Only the opening comment lines count: a game file can never be named like these
  // lines, since a name line does not begin with ";".
  while (at < size && text[at] == ';') {
    if (size - at >= line_length && memcmp(text + at, line, line_length) == 0) return true;
    const char *end = (const char *)memchr(text + at, '\n', size - at);
    if (end == nullptr) break;
    at = (size_t)(end - text) + 1;
  }
  return false;
}

bool ListMarksOwnUninstaller(const char *text, size_t size) {
  return OpeningCommentsHold(text, size, kOwnUninstallerMark);
}

bool IsFileListName(const char *name) { return SameNameIgnoringCase(name, kFileListName); }
