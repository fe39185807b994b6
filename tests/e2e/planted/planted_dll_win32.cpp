// A DLL that a DLL-planting test puts beside the installer under the names of system DLLs.
// When any process loads it, it appends its own path to the file named by the environment
// variable FERN_PLANT_LOG, then refuses to load, so it never stands in for the DLL whose
// name it carries.
#include <windows.h>

namespace {

enum { kLogPathSize = MAX_PATH, kLineSize = MAX_PATH + 2 };

void RecordLoad(HINSTANCE self) {
  char log_path[kLogPathSize];
  DWORD got = GetEnvironmentVariableA("FERN_PLANT_LOG", log_path, sizeof log_path);
  if (got == 0 || got >= sizeof log_path) return;
  char line[kLineSize];
  DWORD length = GetModuleFileNameA(self, line, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  line[length++] = '\r';
  line[length++] = '\n';
  HANDLE log = CreateFileA(log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(log, line, length, &written, nullptr);
  CloseHandle(log);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  RecordLoad(self);
  return FALSE;
}
