// Stands in for a system command (such as cacls.exe) in the scenario tests: appends one
// line "<its own path> <its command line>" (UTF-8, tab-separated) to the file named by
// the environment variable FERN_RECORD_ARGS, and ends with 0. Reads and drops its input,
// as a command that asks for confirmation would.
#include <windows.h>

#include <stdio.h>

int main() {
  wchar_t log[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"FERN_RECORD_ARGS", log, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 0;
  wchar_t self[MAX_PATH];
  if (!GetModuleFileNameW(nullptr, self, MAX_PATH)) self[0] = 0;
  char self8[4 * MAX_PATH], line8[8192];
  if (WideCharToMultiByte(CP_UTF8, 0, self, -1, self8, sizeof self8, nullptr, nullptr) <= 0) {
    self8[0] = 0;
  }
  if (WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, line8, sizeof line8, nullptr,
                          nullptr) <= 0) {
    line8[0] = 0;
  }
  FILE *out = _wfopen(log, L"ab");
  if (!out) return 0;
  fprintf(out, "%s\t%s\n", self8, line8);
  fclose(out);
  return 0;
}
