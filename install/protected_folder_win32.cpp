// Protected folders and resolved paths (protected_folder.h).
#include "install/protected_folder.h"

#include <ntsecapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include "install/folder_paths.h"
#include "support/sjis.h"
#include "support/wide_win32.h"
#include "uninstall/file_list.h"
#include "uninstall/removal_rules.h"

namespace {

// Administrators and the system: full control; the inherited entries of the parent are
// not taken (P), so nothing that a user may have been granted above reaches in.
const wchar_t kAdminsOnly[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
// The same, and users may read and run what is inside.
const wchar_t kAdminsUsersRead[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;GRGX;;;BU)";
const int kNameAttempts = 8;

typedef DWORD(WINAPI *FinalPathProc)(HANDLE, LPWSTR, DWORD, DWORD);

// GetFinalPathNameByHandleW, which Windows XP lacks: looked up at run time so that the
// programs start there.
FinalPathProc FinalPathCall() {
  static FinalPathProc call = nullptr;
  static bool looked = false;
  if (!looked) {
    looked = true;
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel != nullptr) {
      call = reinterpret_cast<FinalPathProc>(
          reinterpret_cast<void *>(GetProcAddress(kernel, "GetFinalPathNameByHandleW")));
    }
  }
  return call;
}

// Creates the folder with the access given in SDDL; false when it exists or cannot be made.
bool CreateFolderWithAccess(const char *path, const wchar_t *access) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(access, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return false;
  }
  wchar_t wide[kWidePathSize];
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
  bool made = SjisToWide(path, wide, kWidePathSize) == 0 && CreateDirectoryW(wide, &security);
  LocalFree(descriptor);
  return made;
}

}  // namespace

int FinalPathOf(HANDLE handle, char *out) {
  FinalPathProc call = FinalPathCall();
  if (call == nullptr) return -1;
  wchar_t wide[kWidePathSize];
  DWORD length = call(handle, wide, kWidePathSize, 0);  // normalised, drive letters
  if (length == 0 || length >= kWidePathSize) return -1;
  char text[kPathSize];
  length = WidePathToSjis(wide, text, kPathSize);
  if (length == 0 || length >= kPathSize) return -1;
  return PlainFinalPath(text, out, kPathSize);
}

bool FinalPathsAvailable() { return FinalPathCall() != nullptr; }

bool ResolveFolder(const char *path, char *out) {
  HANDLE handle = SjisCreateFile(path, FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (handle != INVALID_HANDLE_VALUE) {
    int status = FinalPathOf(handle, out);
    CloseHandle(handle);
    if (status == 0) return true;
  }
  char full[kPathSize];
  DWORD length = SjisGetFullPathName(path, sizeof full, full);
  if (length == 0 || length >= sizeof full) CopyText(full, path, sizeof full);
  length = SjisGetLongPathName(full, out, kPathSize);
  if (length == 0 || length >= kPathSize) CopyText(out, full, kPathSize);
  return false;
}

int MakePrivateFolder(const char *parent, const char *prefix, bool long_name, bool users_read,
                      char *path) {
  // The system's random source directly: a cryptographic provider's context for 16 bytes
  // took 13 ms to acquire under Wine.
  int result = -1;
  for (int attempt = 0; attempt < kNameAttempts && result != 0; attempt++) {
    DWORD bits[4];
    char name[64];
    if (!RtlGenRandom(bits, sizeof bits)) break;
    int n = long_name ? snprintf(name, sizeof name, "%s%08lX%08lX%08lX%08lX", prefix,
                                 (unsigned long)bits[0], (unsigned long)bits[1],
                                 (unsigned long)bits[2], (unsigned long)bits[3])
                      : snprintf(name, sizeof name, "%s%08lX%08lX", prefix,
                                 (unsigned long)bits[0], (unsigned long)bits[1]);
    if (n < 0 || (size_t)n >= sizeof name || JoinPath(path, kPathSize, parent, name) != 0) break;
    if (CreateFolderWithAccess(path, users_read ? kAdminsUsersRead : kAdminsOnly)) result = 0;
  }
  return result;
}

int KeptCopyRoot(bool create, char *out) {
  char common[kPathSize];
  if (FAILED(SjisGetFolderPath(CSIDL_PROGRAM_FILES_COMMON, SHGFP_TYPE_CURRENT, common)) ||
      JoinPath(out, kPathSize, common, kKeptCopyRootName) != 0) {
    return -1;
  }
  DWORD attributes = SjisGetFileAttributes(out);
  if (attributes == INVALID_FILE_ATTRIBUTES && create) {
    CreateFolderWithAccess(out, kAdminsUsersRead);
    attributes = SjisGetFileAttributes(out);
  }
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return -1;
  }
  return 0;
}

bool IsKeptCopyFolder(const char *folder) {
  char root[kPathSize];
  char parent[kPathSize];
  char resolved_root[kPathSize];
  char resolved_parent[kPathSize];
  char resolved_folder[kPathSize];
  if (KeptCopyRoot(false, root) != 0) return false;
  ResolveFolder(folder, resolved_folder);
  if (!ParentFolder(parent, sizeof parent, resolved_folder)) return false;
  ResolveFolder(root, resolved_root);
  ResolveFolder(parent, resolved_parent);
  return SameNameIgnoringCase(resolved_root, resolved_parent);
}
