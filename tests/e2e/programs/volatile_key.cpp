// Makes HKEY_LOCAL_MACHINE\<subkey> a volatile key, for the scenario tests. The registry
// refuses a non-volatile key below a volatile one, so a program that creates
// <subkey>\<name> the ordinary way fails there as it would without administrator rights.
//   volatile_key <subkey>   prints "volatile <subkey> child-refused" when a non-volatile
//                           child is refused (exit 0), "... child-created" when not (1)
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

int main() {
  int argc = 0;
  wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 2) {
    fputs("usage: volatile_key <subkey of HKLM>\n", stderr);
    return 2;
  }
  HKEY key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, argv[1], 0, nullptr, REG_OPTION_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    fputs("cannot create the volatile key\n", stderr);
    return 2;
  }
  HKEY child;
  LONG status = RegCreateKeyExW(key, L"ProbeChild", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, &child, nullptr);
  if (status == ERROR_SUCCESS) {
    RegCloseKey(child);
    RegDeleteKeyW(key, L"ProbeChild");
  }
  RegCloseKey(key);
  printf("volatile\t%ls\t%s\n", argv[1], status == ERROR_SUCCESS ? "child-created" : "child-refused");
  return status == ERROR_SUCCESS ? 1 : 0;
}
