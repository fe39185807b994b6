// fernpack's sub-commands. Each takes the arguments after its own name and returns the
// process exit status.
#ifndef FERN_TOOLS_FERNPACK_COMMANDS_H
#define FERN_TOOLS_FERNPACK_COMMANDS_H

int RunPack(int argc, char **argv);
int RunList(int argc, char **argv);
int RunExtract(int argc, char **argv);
int RunVerify(int argc, char **argv);
int RunLint(int argc, char **argv);
int RunRct(int argc, char **argv);
int RunInit(int argc, char **argv);

struct Command {
  const char *name;
  int (*run)(int argc, char **argv);
  const char *usage;
  const char *help;  // what `fernpack help <command>` prints after the usage line
};

#endif
