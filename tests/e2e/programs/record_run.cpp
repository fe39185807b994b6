// Stands in for a program that a disc carries (such as DirectX\dxsetup.exe): when started,
// writes "<its own path>.ran" holding its command line and current folder, and ends.
#include <windows.h>

#include <stdio.h>

int main() {
  char path[MAX_PATH + 8];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 1;
  lstrcatA(path, ".ran");
  FILE *marker = fopen(path, "wb");
  if (!marker) return 1;
  char folder[MAX_PATH];
  if (!GetCurrentDirectoryA(sizeof folder, folder)) folder[0] = 0;
  fprintf(marker, "command\t%s\r\nfolder\t%s\r\n", GetCommandLineA(), folder);
  fclose(marker);
  return 0;
}
