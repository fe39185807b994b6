// The settings review of `fernpack pack`: the package must carry its settings file and
// menu picture at the top level, and its settings file must pass lint without an error.
#include <stdio.h>

#include "tools/fernpack/lint.h"
#include "tools/fernpack/pack.h"

namespace {

const char kSettingsName[] = "install.env";
// ConvertMenuPicture has usually turned insttscr.png into insttscr.rct by now; either
// name is the menu picture.
const char *const kPictureNames[] = {"insttscr.rct", "insttscr.png"};

// The file entry of this name (compared as the installer compares names), or null. A name
// without a backslash finds top-level files only.
const PackItem *FindFileEntry(const std::vector<PackItem> &items, const char *name) {
  for (const PackItem &item : items) {
    if (!item.is_folder && SameEntryName(item.name, name)) return &item;
  }
  return nullptr;
}

bool ReadItem(const PackItem &item, std::string *bytes, std::string *error) {
  if (item.generated) {
    bytes->assign(item.data.begin(), item.data.end());
    return true;
  }
  return ReadFileBytes(item.source, bytes, error);
}

}  // namespace

bool CheckSettingsForPack(const std::vector<PackItem> &items, std::string *error) {
  const PackItem *settings = FindFileEntry(items, kSettingsName);
  if (settings == nullptr) {
    *error = "the game folder has no install.env at its top level: the installer cannot "
             "start without its settings file";
    return false;
  }
  if (FindFileEntry(items, kPictureNames[0]) == nullptr &&
      FindFileEntry(items, kPictureNames[1]) == nullptr) {
    *error = "the game folder has no menu picture (insttscr.png or insttscr.rct at its top "
             "level)";
    return false;
  }
  std::string label = settings->relative.empty() ? kSettingsName : settings->relative;
  std::string bytes;
  if (!ReadItem(*settings, &bytes, error)) return false;
  PackageFileTest has_file = [&items](const std::string &name) {
    return FindFileEntry(items, name.c_str()) != nullptr;
  };
  std::vector<LintFinding> findings;
  std::string lint_error;
  if (!LintSettingsText(bytes, has_file, &findings, &lint_error)) {
    *error = label + ": " + lint_error;
    return false;
  }
  std::string errors;
  for (const LintFinding &finding : findings) {
    std::string text = FormatLintFinding(label, finding);
    if (finding.error) {
      errors += (errors.empty() ? "" : "\n") + text;
    } else {
      fprintf(stderr, "fernpack pack: %s\n", text.c_str());
    }
  }
  if (!errors.empty()) {
    *error = errors + "\nthe installer cannot use these settings; nothing was packed";
    return false;
  }
  return true;
}
