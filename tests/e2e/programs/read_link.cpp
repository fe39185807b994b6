// Reads shortcuts back through the shell link object, for the scenario tests.
//   read_link folder <csidl>   prints "folder <path>" of a special folder
//   read_link links <folder>   prints "link <file name> <target> <working folder>
//                              <description>" for every .lnk file in the folder
//   read_link long <path>      prints "long <path>" with every component in its long
//                              form (a short 8.3 name as a batch file may give it)
//   read_link codepage -       prints "codepage <ANSI> <OEM>", the system's code pages
// Output is UTF-8, one tab-separated line each.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

namespace {

void PrintFields(const wchar_t *const *fields, int count) {
  for (int i = 0; i < count; i++) {
    char utf8[4 * MAX_PATH + 16];
    if (WideCharToMultiByte(CP_UTF8, 0, fields[i], -1, utf8, sizeof utf8, nullptr, nullptr) <= 0) {
      utf8[0] = 0;
    }
    if (i > 0) fputc('\t', stdout);
    fputs(utf8, stdout);
  }
  fputc('\n', stdout);
}

int PrintFolder(const wchar_t *csidl) {
  wchar_t path[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, _wtoi(csidl), nullptr, 0, path))) return 1;
  const wchar_t *fields[] = {L"folder", path};
  PrintFields(fields, 2);
  return 0;
}

int PrintLink(const wchar_t *folder, const wchar_t *name) {
  wchar_t path[2 * MAX_PATH];
  _snwprintf(path, 2 * MAX_PATH - 1, L"%ls\\%ls", folder, name);
  path[2 * MAX_PATH - 1] = 0;
  IShellLinkW *link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              (void **)&link))) {
    return 1;
  }
  IPersistFile *file = nullptr;
  int result = 1;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
    if (SUCCEEDED(file->Load(path, STGM_READ))) {
      wchar_t target[MAX_PATH] = L"", work[MAX_PATH] = L"", description[MAX_PATH] = L"";
      // The target as the shell resolves it, from the item list (Unicode names). Wine
      // keeps the path text beside it only in the system code page, where names that code
      // page cannot write come back as "?".
      LPITEMIDLIST item = nullptr;
      if (link->GetIDList(&item) != S_OK || item == nullptr ||
          !SHGetPathFromIDListW(item, target)) {
        link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
      }
      if (item != nullptr) CoTaskMemFree(item);
      link->GetWorkingDirectory(work, MAX_PATH);
      link->GetDescription(description, MAX_PATH);
      const wchar_t *fields[] = {L"link", name, target, work, description};
      PrintFields(fields, 5);
      result = 0;
    }
    file->Release();
  }
  link->Release();
  return result;
}

int PrintLinks(const wchar_t *folder) {
  wchar_t pattern[2 * MAX_PATH];
  _snwprintf(pattern, 2 * MAX_PATH - 1, L"%ls\\*.lnk", folder);
  pattern[2 * MAX_PATH - 1] = 0;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int result = 0;
  do {
    if (PrintLink(folder, found.cFileName) != 0) {
      const wchar_t *fields[] = {L"unreadable", found.cFileName};
      PrintFields(fields, 2);
      result = 1;
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return result;
}

int PrintLongPath(const wchar_t *path) {
  wchar_t long_path[2 * MAX_PATH];
  DWORD length = GetLongPathNameW(path, long_path, 2 * MAX_PATH);
  if (length == 0 || length >= 2 * MAX_PATH) return 1;
  const wchar_t *fields[] = {L"long", long_path};
  PrintFields(fields, 2);
  return 0;
}

int PrintCodePages() {
  wchar_t ansi[16], oem[16];
  _snwprintf(ansi, 16, L"%u", GetACP());
  _snwprintf(oem, 16, L"%u", GetOEMCP());
  const wchar_t *fields[] = {L"codepage", ansi, oem};
  PrintFields(fields, 3);
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 3) {
    fputs("usage: read_link folder <csidl> | links <folder> | long <path> | codepage -\n",
          stderr);
    return 2;
  }
  CoInitialize(nullptr);
  int result = 2;
  if (wcscmp(argv[1], L"folder") == 0) result = PrintFolder(argv[2]);
  if (wcscmp(argv[1], L"links") == 0) result = PrintLinks(argv[2]);
  if (wcscmp(argv[1], L"long") == 0) result = PrintLongPath(argv[2]);
  if (wcscmp(argv[1], L"codepage") == 0) result = PrintCodePages();
  CoUninitialize();
  fflush(stdout);
  return result;
}
