#include "uninstall/file_list.h"

#include "support/sjis.h"
#include "uninstall/removal_rules.h"

const char kFileListName[] = "UnInst.lst";
const char kUninstallerName[] = "UnInst.exe";
const char kSettingsFileName[] = "install.env";
const char kFileListHeader[] =
    "; Fernstall file list: every file and folder of the package, for UnInst.exe.\r\n"
    "; A folder ends with \"\\\". Names are relative to the folder of UnInst.exe.\r\n";

int ClassifyListLine(const char *line) {
  if (line[0] == '\0' || line[0] == ';') return kListNothing;
  return EndsWithBackslash(line) ? kListFolder : kListFile;
}

bool IsUninstallerOwnFile(const char *relative) {
  return SameNameIgnoringCase(relative, kUninstallerName) ||
         SameNameIgnoringCase(relative, kFileListName) ||
         SameNameIgnoringCase(relative, kSettingsFileName);
}
