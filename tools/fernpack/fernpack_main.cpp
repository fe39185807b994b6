// fernpack: the publisher's tool that builds and inspects Fernstall installers.
//
// Exit codes of every command: 0 success; 1 a failure, or findings (lint errors, a
// package that verify refuses); 2 a usage error.
#include <stdio.h>
#include <string.h>

#include "tools/fernpack/commands.h"

namespace {

const char kVersion[] = "fernpack 1.1";

const Command kCommands[] = {
    {"init", RunInit, "init <game-folder>",
     "Writes a starting game folder that packs and installs with no edits: install.env\n"
     "with every key the installer reads, each explained in Japanese and English on\n"
     "comment lines, a placeholder menu picture (insttscr.png, 160 x 256) and readme.txt.\n"
     "The folder may exist but none of the three files may: init never overwrites.\n"},
    {"pack", RunPack,
     "pack <game-folder> -o <setup.exe> [--stub <fernstall.exe>] [--uninstaller <UnInst.exe>] "
     "[--level N] [--best] "
     "[--jobs N] [--quiet]",
     "Writes the installer stub followed by every file and folder of the game folder.\n"
     "Before anything is written it checks install.env as lint does, the menu picture\n"
     "(insttscr.png is encoded as insttscr.rct; a supplied insttscr.rct must decode) and\n"
     "every name, and refuses what the installer could not use. The output may not lie\n"
     "in the game folder or be one of its files, the stub, a device or a FIFO.\n"
     "  -o <setup.exe>   the installer to write (replaced only when packing succeeds)\n"
     "  --stub <exe>     the installer stub (default: $FERNSTALL_STUB, or fernstall.exe\n"
     "                   beside fernpack, in ../win32/ or in ../lib/fernstall/)\n"
     "  --uninstaller <exe>  the uninstaller added as UnInst.exe unless the game folder\n"
     "                   has its own (default: $FERNSTALL_UNINSTALLER, or UnInst.exe\n"
     "                   beside fernpack, in ../win32/ or in ../lib/fernstall/);\n"
     "                   UnInst.lst, the list of every file and folder of the\n"
     "                   package, is always added\n"
     "  --level N        compression level 0-12 (default 7); --best is 12\n"
     "  --jobs N         compression threads, 1-256 (default: one per core)\n"
     "  --quiet          no summary line and no progress line\n"
     "A progress line goes to standard error when it is a terminal.\n"},
    {"list", RunList, "list <setup.exe>",
     "Prints one line per entry: name, file or folder, unpacked and packed size, and the\n"
     "last-write time (UTC).\n"},
    {"extract", RunExtract, "extract [--preview] <setup.exe> <dir>",
     "Unpacks the package into <dir> with the installer's own reader. --preview unpacks\n"
     "only what the installer unpacks at start-up. <dir> must be new or empty, so that\n"
     "no file of yours is replaced. A file whose entry is damaged is removed, never\n"
     "left half written. A progress line goes to standard error when it is a terminal.\n"},
    {"verify", RunVerify, "verify <setup.exe>",
     "Checks everything the installer will need: the archive starts where the program\n"
     "ends, every stream inflates to its size, every name passes the name check and\n"
     "its folder entry comes first, install.env and insttscr.rct are at the top level,\n"
     "install.env passes lint without errors and the picture decodes. Exit code 0 only\n"
     "for a sound package; the last line sums up.\n"},
    {"lint", RunLint, "lint [--quiet] <install.env>",
     "Reads install.env exactly as the installer does and reports, with line numbers,\n"
     "what would stop the installer (errors) or silently misbehave (warnings); the last\n"
     "line sums up. Exit code 1 when it reports anything. --quiet prints errors and the\n"
     "summary only, and fails on errors only: exactly the files pack refuses.\n"},
    {"rct", RunRct, "rct encode <in.png|in.bmp> <out.rct> | rct decode <in.rct> <out.png>",
     "Converts the menu picture between PNG (or 24-bit BMP) and the installer's RCT\n"
     "format. PNG pixels are taken as stored (16-bit samples scaled to 8 bits, no gamma\n"
     "change); a PNG with transparent pixels is refused. The output may not be the\n"
     "input.\n"},
};

void Usage(FILE *to) {
  fputs("usage:\n", to);
  for (const Command &c : kCommands) fprintf(to, "  fernpack %s\n", c.usage);
  fputs("  fernpack help [command]\n  fernpack --version\n", to);
}

const Command *FindCommand(const char *name) {
  for (const Command &c : kCommands) {
    if (strcmp(name, c.name) == 0) return &c;
  }
  return nullptr;
}

void CommandHelp(const Command &c) { printf("usage: fernpack %s\n\n%s", c.usage, c.help); }

bool IsHelpFlag(const char *arg) { return strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0; }

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    Usage(stderr);
    return 2;
  }
  if (IsHelpFlag(argv[1]) || (strcmp(argv[1], "help") == 0 && argc == 2)) {
    Usage(stdout);
    return 0;
  }
  if (strcmp(argv[1], "--version") == 0) {
    puts(kVersion);
    return 0;
  }
  if (strcmp(argv[1], "help") == 0) {
    const Command *c = FindCommand(argv[2]);
    if (c == nullptr || argc > 3) {
      fprintf(stderr, "fernpack help: unknown command '%s'\n", argv[2]);
      Usage(stderr);
      return 2;
    }
    CommandHelp(*c);
    return 0;
  }
  const Command *c = FindCommand(argv[1]);
  if (c == nullptr) {
    fprintf(stderr, "fernpack: unknown command '%s'\n", argv[1]);
    Usage(stderr);
    return 2;
  }
  for (int i = 2; i < argc; i++) {
    if (IsHelpFlag(argv[i])) {
      CommandHelp(*c);
      return 0;
    }
  }
  return c->run(argc - 2, argv + 2);
}
