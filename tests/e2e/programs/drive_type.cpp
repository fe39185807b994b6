// Prints "drive <letter> <GetDriveTypeA result>" for every drive letter that is in use
// (type other than 1, no root folder), for the scenario tests.
#include <windows.h>

#include <stdio.h>

int main() {
  for (char letter = 'A'; letter <= 'Z'; letter++) {
    char root[4] = {letter, ':', '\\', 0};
    UINT type = GetDriveTypeA(root);
    if (type != DRIVE_NO_ROOT_DIR) printf("drive\t%c\t%u\n", letter, type);
  }
  return 0;
}
