// Argument handling of `fernpack pack` and the review of a game folder before packing.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "tools/fernpack/commands.h"
#include "tools/fernpack/pack.h"

namespace {

// The default level: on a game-shaped corpus, libdeflate's level 7 packs smaller than zlib's
// level 9 with about two thirds of the work of its own level 9 (see docs/benchmarks.md);
// level 6 is already larger than zlib's 9. --best is 12.
const int kDefaultLevel = 7;

bool ParseNumber(const char *text, int low, int high, int *value) {
  char *end = nullptr;
  long v = strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < low || v > high) return false;
  *value = (int)v;
  return true;
}

}  // namespace

bool ReviewGameFolder(const PackOptions &options, std::vector<PackItem> *items,
                      std::string *error) {
  return ConvertMenuPicture(items, error) && CheckSettingsForPack(*items, error) &&
         AddUninstaller(options, items, error);
}

int RunPack(int argc, char **argv) {
  PackOptions options;
  options.level = kDefaultLevel;
  for (int i = 0; i < argc; i++) {
    const char *arg = argv[i];
    bool has_value = i + 1 < argc;
    if (strcmp(arg, "-o") == 0 && has_value) {
      options.output = argv[++i];
    } else if (strcmp(arg, "--stub") == 0 && has_value) {
      options.stub = argv[++i];
    } else if (strcmp(arg, "--uninstaller") == 0 && has_value) {
      options.uninstaller = argv[++i];
    } else if (strcmp(arg, "--level") == 0 && has_value) {
      if (!ParseNumber(argv[++i], 0, 12, &options.level)) {
        fprintf(stderr, "fernpack pack: --level takes 0 to 12\n");
        return 2;
      }
    } else if (strcmp(arg, "--best") == 0) {
      options.level = 12;
    } else if (strcmp(arg, "--jobs") == 0 && has_value) {
      if (!ParseNumber(argv[++i], 1, 256, &options.jobs)) {
        fprintf(stderr, "fernpack pack: --jobs takes 1 to 256\n");
        return 2;
      }
    } else if (strcmp(arg, "--quiet") == 0) {
      options.quiet = true;
    } else if (arg[0] == '-' || !options.folder.empty()) {
      fprintf(stderr, "fernpack pack: unexpected argument '%s' (see: fernpack help pack)\n", arg);
      return 2;
    } else {
      options.folder = arg;
    }
  }
  if (options.folder.empty() || options.output.empty()) {
    fprintf(stderr, "usage: fernpack pack <game-folder> -o <setup.exe> [options]\n"
                    "see: fernpack help pack\n");
    return 2;
  }
  options.progress = !options.quiet && isatty(fileno(stderr));
  std::vector<PackItem> items;
  std::string error;
  if (!CollectGameFolder(options.folder, &items, &error) ||
      !ReviewGameFolder(options, &items, &error) || !WritePackage(options, items, &error)) {
    fprintf(stderr, "fernpack pack: %s\n", error.c_str());
    return 1;
  }
  if (!options.quiet) {
    size_t files = 0;
    for (const PackItem &item : items) files += item.is_folder ? 0 : 1;
    printf("packed %zu files and %zu folders into %s\n", files, items.size() - files,
           options.output.c_str());
  }
  return 0;
}
