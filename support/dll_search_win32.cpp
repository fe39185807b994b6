// The DLL search of the installer and the uninstaller. Windows only.
#include "support/dll_search.h"

#include <stdio.h>
#include <wchar.h>

namespace {

// Helpers that the common controls load on first use through their delay-load table. A
// loader that resolves delay-loads without the default directories (Wine's does) would
// search the program's folder for them; loaded here by full path from the system folder,
// every later load by name finds them already in the process.
const wchar_t *const kSystemHelpers[] = {L"msimg32.dll", L"uxtheme.dll"};

void PreloadSystemHelpers() {
  wchar_t path[MAX_PATH];
  UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  for (const wchar_t *name : kSystemHelpers) {
    wchar_t full[MAX_PATH];
    int n = _snwprintf(full, MAX_PATH, L"%ls\\%ls", path, name);
    if (n > 0 && n < MAX_PATH) LoadLibraryW(full);
  }
}

}  // namespace

// An installer is often started from a download folder full of other people's files. Every
// DLL that Windows or a system DLL loads later by bare name would be looked for in this
// program's folder first, so a DLL planted there would run with the installer's
// administrator rights. Before anything else, the search for every later load is cut down
// to the system folder, and the helpers the common controls load later are loaded from it
// by full path. The static imports are safe already: they name only DLLs that
// Windows always takes from the system folder; the common controls are loaded later, by
// name (RegisterCommonControls).
//
// SetDefaultDllDirectories exists from Windows 7 with its 2011 loader update and on every
// later Windows; it is looked up by name so that the program still starts on Windows XP,
// where SetDllDirectoryA("") at least takes the current folder out of the search.
void RestrictDllSearch() {
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesProc)(DWORD);
  typedef BOOL(WINAPI * SetDllDirectoryProc)(LPCSTR);
  const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return;
  SetDefaultDllDirectoriesProc set_default = reinterpret_cast<SetDefaultDllDirectoriesProc>(
      reinterpret_cast<void *>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_default == nullptr || !set_default(kSearchSystem32)) {
    SetDllDirectoryProc set_directory = reinterpret_cast<SetDllDirectoryProc>(
        reinterpret_cast<void *>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (set_directory != nullptr) set_directory("");
  }
  PreloadSystemHelpers();
}
