// fernpack: the publisher's tool that builds and inspects Fernstall installers.
#include <stdio.h>
#include <string.h>

#include "tools/fernpack/commands.h"

namespace {

const Command kCommands[] = {
    {"pack", RunPack,
     "pack <game-folder> -o <setup.exe> [--stub <fernstall.exe>] [--level N] [--best] [--jobs N] [--no-review]"},
    {"list", RunList, "list <setup.exe>"},
    {"extract", RunExtract, "extract [--preview] <setup.exe> <dir>"},
    {"verify", RunVerify, "verify <setup.exe>"},
    {"lint", RunLint, "lint [--quiet] <install.env>"},
    {"rct", RunRct, "rct encode <in.png|in.bmp> <out.rct> | rct decode <in.rct> <out.png>"},
};

void Usage(FILE *to) {
  fputs("usage:\n", to);
  for (const Command &c : kCommands) fprintf(to, "  fernpack %s\n", c.usage);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2 || strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
    Usage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  for (const Command &c : kCommands) {
    if (strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
  }
  fprintf(stderr, "fernpack: unknown command '%s'\n", argv[1]);
  Usage(stderr);
  return 2;
}
