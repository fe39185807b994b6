// Start-up time of installers: from the call that starts the process to the first visible
// dialog of that process (the main menu), or to the process's end when it shows none. Runs
// each package in turn, `rounds` times, and prints the best and the median of each. A
// benchmark, not a test.
//
//   startup_bench_win32.exe <rounds> <setup.exe> [<setup.exe> ...]
//
// A process that shows a dialog is ended at once (its WorkFolder stays in the temp folder).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

namespace {

struct Search {
  DWORD process_id;
  bool found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM parameter) {
  Search *search = (Search *)parameter;
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char class_name[32];
  if (owner == search->process_id && IsWindowVisible(window) &&
      GetClassNameA(window, class_name, sizeof class_name) > 0 &&
      strcmp(class_name, "#32770") == 0) {
    search->found = true;
    return FALSE;
  }
  return TRUE;
}

// Seconds to the first dialog or the end; *dialog tells which. Negative on failure.
double TimeStartup(const char *program, bool *dialog, DWORD *exit_code) {
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  char command[MAX_PATH + 2];
  snprintf(command, sizeof command, "\"%s\"", program);
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(program, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return -1;
  }
  *dialog = false;
  for (;;) {
    if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) break;
    Search search = {process.dwProcessId, false};
    EnumWindows(FindDialog, (LPARAM)&search);
    if (search.found) {
      *dialog = true;
      break;
    }
  }
  QueryPerformanceCounter(&now);
  if (*dialog) {
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
  }
  GetExitCodeProcess(process.hProcess, exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return (double)(now.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: startup_bench_win32 <rounds> <setup.exe> [<setup.exe> ...]\n");
    return 2;
  }
  int rounds = atoi(argv[1]);
  if (rounds < 1) rounds = 1;
  int programs = argc - 2;
  std::vector<std::vector<double>> times(programs);
  std::vector<bool> dialogs(programs, false);
  for (int round = 0; round < rounds; round++) {
    for (int i = 0; i < programs; i++) {
      bool dialog = false;
      DWORD exit_code = 0;
      double t = TimeStartup(argv[i + 2], &dialog, &exit_code);
      if (t < 0 || (!dialog && exit_code != 0)) {
        fprintf(stderr, "startup_bench: %s failed (exit code %lu)\n", argv[i + 2],
                (unsigned long)exit_code);
        return 1;
      }
      times[i].push_back(t);
      dialogs[i] = dialog;
    }
  }
  for (int i = 0; i < programs; i++) {
    std::sort(times[i].begin(), times[i].end());
    printf("RESULT startup %d %.4f %.4f %s %s\n", i, times[i][0], times[i][times[i].size() / 2],
           dialogs[i] ? "window" : "exit", argv[i + 2]);
  }
  return 0;
}
