// Test helper, not a publisher's tool: packs a game folder as `fernpack pack` does but
// without the review of settings and menu picture, so that scenario tests can build the
// packages that the installer must refuse (no install.env, a section left open). Names,
// the output path and the stub are still checked.
//
// usage: pack_unreviewed <game-folder> <setup.exe> <stub.exe>
#include <stdio.h>

#include "tools/fernpack/pack.h"

int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: pack_unreviewed <game-folder> <setup.exe> <stub.exe>\n");
    return 2;
  }
  PackOptions options;
  options.folder = argv[1];
  options.output = argv[2];
  options.stub = argv[3];
  options.jobs = 1;
  std::vector<PackItem> items;
  std::string error;
  if (!CollectGameFolder(options.folder, &items, &error) ||
      !WritePackage(options, items, &error)) {
    fprintf(stderr, "pack_unreviewed: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
