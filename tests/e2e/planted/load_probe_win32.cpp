// The control of the DLL-planting test: a program without any search restriction that
// loads the DLL named on its command line, as a system DLL loading a helper by bare name
// does. Exit code 0 when the load succeeded, 1 when it failed (a planted DLL refuses to
// load, but it has recorded itself by then), 2 on a usage error.
#include <windows.h>

int main(int argc, char **argv) {
  if (argc != 2) return 2;
  HMODULE module = LoadLibraryA(argv[1]);
  if (module == nullptr) return 1;
  FreeLibrary(module);
  return 0;
}
