// The protected copy of the uninstaller. The InstallFolder is open to every user (the
// access grant), so the uninstaller there, its list and the settings file may have been
// changed by anyone before the uninstaller runs with administrator rights. The installer
// therefore writes the three files a second time, straight from the package, into a
// folder that only administrators may change, and has the uninstall entry and the
// Start-menu shortcut start that copy.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "archive/extract.h"
#include "install/folder_paths.h"
#include "install/install_steps.h"
#include "install/protected_folder.h"
#include "support/file_io.h"
#include "support/sjis.h"
#include "support/wide_win32.h"
#include "uninstall/file_list.h"

namespace {

// The kept files, UnInst.dir last: the uninstaller takes a folder without it for none.
const char *const kKeptNames[] = {kUninstallerName, kFileListName, kSettingsFileName,
                                  kInstallFolderFileName};
enum { kKeptNameCount = sizeof kKeptNames / sizeof kKeptNames[0] };

// Deletes the kept files of a protected folder and the folder itself.
void RemoveKeptFolder(const char *folder) {
  char path[kPathSize];
  for (const char *name : kKeptNames) {
    if (JoinPath(path, sizeof path, folder, name) == 0) SjisDeleteFile(path);
  }
  SjisRemoveDirectory(folder);
}

// Whether the kept list says that the kept UnInst.exe is fernpack's own: only that
// uninstaller knows how to work from a protected copy.
bool ListMarksOwn(const char *folder) {
  char path[kPathSize];
  if (JoinPath(path, sizeof path, folder, kFileListName) != 0) return false;
  FILE *file = FileOpen(path, "rb");
  if (file == nullptr) return false;
  // The mark stands among the opening comment lines, well within the first block.
  char head[1024];
  size_t got = fread(head, 1, sizeof head, file);
  fclose(file);
  return ListMarksOwnUninstaller(head, got);
}

// Writes the InstallFolder, as one line, into UnInst.dir.
bool WriteInstallFolderFile(const char *folder, const char *install_folder) {
  char path[kPathSize];
  if (JoinPath(path, sizeof path, folder, kInstallFolderFileName) != 0) return false;
  HANDLE file = SjisCreateFile(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_HANDLE_VALUE) return false;
  char line[kPathSize + 2];
  int n = snprintf(line, sizeof line, "%s\r\n", install_folder);
  DWORD written = 0;
  bool whole = n > 0 && (size_t)n < sizeof line &&
               WriteFile(file, line, (DWORD)n, &written, nullptr) && written == (DWORD)n;
  return CloseHandle(file) && whole;
}

// The copy that the title's uninstall entry starts now, when it is one of the protected
// copies: a reinstallation replaces it (only the kept files are deleted, and its folder).
void RemovePreviousCopy() {
  char program[kPathSize];
  char folder[kPathSize];
  if (ReadUninstallProgram(program) != 0 || !ParentFolder(folder, sizeof folder, program) ||
      !IsKeptCopyFolder(folder)) {
    return;
  }
  RemoveKeptFolder(folder);
}

}  // namespace

int KeepUninstallerCopy(const char *install_folder, char *program) {
  JoinPath(program, kPathSize, install_folder, kUninstallerName);
  char root[kPathSize];
  char folder[kPathSize];
  if (KeptCopyRoot(true, root) != 0 || MakePrivateFolder(root, "", false, true, folder) != 0) {
    return -1;
  }
  PackageReader reader;
  bool written = OpenPackageArchive(&reader) &&
                 ExtractTopLevelFiles(&reader, folder, IsUninstallerOwnFile, nullptr) == kArchiveOk;
  ClosePackage(&reader);
  char kept[kPathSize];
  for (int i = 0; written && i < kKeptNameCount - 1; i++) {
    written = JoinPath(kept, sizeof kept, folder, kKeptNames[i]) == 0 &&
              SjisGetFileAttributes(kept) != INVALID_FILE_ATTRIBUTES;
  }
  if (!written || !ListMarksOwn(folder) || !WriteInstallFolderFile(folder, install_folder) ||
      JoinPath(kept, sizeof kept, folder, kUninstallerName) != 0) {
    RemoveKeptFolder(folder);
    SjisRemoveDirectory(root);  // only when no other copy is there
    return -1;
  }
  RemovePreviousCopy();
  CopyText(program, kept, kPathSize);
  return 0;
}
