// The uninstaller step of `fernpack pack`: every package carries UnInst.exe (the build's,
// unless the game folder brings its own) and UnInst.lst, the list of every file and
// folder in the package (format: uninstall/file_list.h), so that the uninstaller removes
// exactly what was installed.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/fernpack/lint.h"
#include "tools/fernpack/pack.h"
#include "tools/fernpack/stub_image.h"
#include "uninstall/file_list.h"

namespace {

// The top-level file entry with this name (compared as Windows compares names), or -1.
long FindTopLevelFile(const std::vector<PackItem> &items, const char *name) {
  for (size_t i = 0; i < items.size(); i++) {
    if (!items[i].is_folder && SameEntryName(items[i].name, name)) return (long)i;
  }
  return -1;
}

// The uninstaller's files go first: the installer's start-up reads the top-level files
// before the first folder whatever their order, and the game's own files keep the order
// of the game folder (its last entry stays its last).
const size_t kUninstallerPosition = 0;

bool CheckUninstallerProgram(const std::string &path, PackItem *item, std::string *error) {
  struct stat st;
  errno = 0;
  FILE *file = fopen(path.c_str(), "rb");
  if (file == nullptr || fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) {
    if (file != nullptr) fclose(file);
    *error = "cannot read the uninstaller " + path +
             (errno != 0 ? std::string(" (") + strerror(errno) + ")" : std::string());
    return false;
  }
  uint64_t image_end = 0;
  int image = FindImageEnd(file, (uint64_t)st.st_size, &image_end);
  fclose(file);
  if (image != kImageOk) {
    *error = "the uninstaller " + path + " is not a Windows program: give the UnInst.exe "
             "that the build made";
    return false;
  }
  item->source = path;
  item->relative = kUninstallerName;
  item->name = kUninstallerName;
  item->size = (uint64_t)st.st_size;
  item->file_time = UnixToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  IdentifyFile(path, &item->identity);
  return true;
}

}  // namespace

std::string FindUninstaller(const std::string &requested) {
  return FindCompanionProgram(requested, "FERNSTALL_UNINSTALLER", "UnInst.exe");
}

std::string FormatFileList(const std::vector<PackItem> &items, bool own_uninstaller) {
  // Every file line follows its size line. The list names itself, and its own size
  // depends on the digits of that size: the text is made again until it stays the same.
  uint64_t own_size = 0;
  std::string list;
  for (int round = 0; round < 4; round++) {
    list = kFileListHeader;
    if (own_uninstaller) list += kOwnUninstallerMark;
    list += kFileSizesNote;
    for (const PackItem &item : items) {
      if (!item.is_folder) {
        uint64_t size = item.generated && item.name == kFileListName ? own_size : item.size;
        list += kSizeLinePrefix + std::to_string(size) + "\r\n";
      }
      list += item.name + "\r\n";
    }
    if (list.size() == own_size) break;
    own_size = list.size();
  }
  return list;
}

bool AddUninstaller(const PackOptions &options, std::vector<PackItem> *items,
                    std::string *error) {
  bool own_uninstaller = FindTopLevelFile(*items, kUninstallerName) < 0;
  if (own_uninstaller) {
    std::string path = FindUninstaller(options.uninstaller);
    if (path.empty()) {
      *error = "no uninstaller found: give --uninstaller <UnInst.exe> or set "
               "FERNSTALL_UNINSTALLER (or put the game's own UnInst.exe into the game folder)";
      return false;
    }
    PackItem program;
    if (!CheckUninstallerProgram(path, &program, error)) return false;
    items->insert(items->begin() + kUninstallerPosition, program);
  }
  // The list always describes this package: a list left in the game folder (from an
  // extracted package, say) is replaced.
  long old_list = FindTopLevelFile(*items, kFileListName);
  PackItem list;
  if (old_list >= 0) {
    list = (*items)[(size_t)old_list];
    items->erase(items->begin() + old_list);
    if (!options.quiet) {
      printf("note: %s of the game folder is replaced by the list of this package\n",
             list.relative.c_str());
    }
  }
  list.source.clear();
  list.relative = kFileListName;
  list.name = kFileListName;
  list.is_folder = false;
  list.generated = true;
  long settings = FindTopLevelFile(*items, kSettingsFileName);
  list.file_time = settings >= 0 ? (*items)[(size_t)settings].file_time : 0;
  size_t at = kUninstallerPosition + (FindTopLevelFile(*items, kUninstallerName) == 0 ? 1 : 0);
  items->insert(items->begin() + (long)at, list);
  std::string text = FormatFileList(*items, own_uninstaller);
  PackItem &stored = (*items)[at];
  stored.data.assign(text.begin(), text.end());
  stored.size = stored.data.size();
  return true;
}
