// The archive walk in both modes over a package whose archive is the input: the input,
// two padding bytes and a trailer pointing at offset 0. Each mode writes into its own
// destination in this process's scratch folder; the other destination does not exist
// meanwhile. Output paths are joined as the installer joins them, with both separators
// taken as Windows takes them, so that a name leading outside would lead outside here too.
// Two checks: every joined path is taken apart name by name and may never climb above its
// destination, however far; and after each walk every path in the scratch folder, the
// whole tree with links resolved, lies under that walk's destination (or is the package).
#include <stdint.h>
#include <ftw.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "archive/package_reader.h"
#include "fuzz/fuzz_budget.h"

namespace {

enum { kPackagePathSize = 600, kMaxInput = 1 << 20 };
const char *const kDestinations[] = {"full", "preview"};  // indexed by ExtractMode

// The walk being checked: its scratch root, its package and its destination resolved.
char g_root[PATH_MAX];
char g_package[PATH_MAX];
char g_destination[PATH_MAX];

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Aborts when the name, read component by component, could climb above the folder it is
// joined to. Windows strips trailing dots and blanks, so any component of dots and blanks
// alone with two dots or more counts as "..", one with a single dot as the folder itself.
void CheckNameStaysInside(const char *name) {
  long depth = 0;
  const char *p = name;
  while (*p != '\0') {
    size_t length = 0;
    while (p[length] != '\0' && !IsSeparator(p[length])) length++;
    size_t dots = 0, others = 0;
    for (size_t i = 0; i < length; i++) {
      if (p[i] == '.') {
        dots++;
      } else if (p[i] != ' ') {
        others++;
      }
    }
    if (others == 0 && dots >= 2) {
      if (--depth < 0) {
        fprintf(stderr, "the entry name climbs out of its destination: %s\n", name);
        abort();
      }
    } else if (others > 0) {
      depth++;
    }
    p += length;
    if (*p != '\0') p++;
  }
}

int WindowsPath(void *, const char *folder, const char *name, char *out, int size) {
  CheckNameStaysInside(name);
  if (JoinEntryPath(folder, name, out, size) != 0) return -1;
  for (char *p = out + strlen(folder); *p; p++) {
    if (*p == '\\') *p = '/';
  }
  return 0;
}

bool Under(const char *path, const char *folder) {
  size_t length = strlen(folder);
  return strncmp(path, folder, length) == 0 && (path[length] == '\0' || path[length] == '/');
}

int CheckCreated(const char *path, const struct stat *, int type, struct FTW *) {
  if (strcmp(path, g_root) == 0 || strcmp(path, g_package) == 0) return 0;
  char resolved[PATH_MAX];
  if (type == FTW_SL || type == FTW_SLN || realpath(path, resolved) == nullptr ||
      !Under(resolved, g_destination)) {
    fprintf(stderr, "the walk created %s outside its destination %s\n", path, g_destination);
    abort();
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > kMaxInput) return 0;
  static unsigned char *file = nullptr;
  if (file == nullptr) file = (unsigned char *)malloc(kMaxInput + 6);
  memcpy(file, data, size);
  memset(file + size, 0, 6);  // two padding bytes, then the archive start 0
  const char *package = WriteScratch("package", file, size + 6);
  if (realpath(ScratchFolder(), g_root) == nullptr || realpath(package, g_package) == nullptr) {
    abort();
  }
  char folder[kPackagePathSize];
  for (int mode = kFullMode; mode <= kPreviewMode; mode++) {
    for (int other = kFullMode; other <= kPreviewMode; other++) {
      snprintf(folder, sizeof folder, "%s/%s", g_root, kDestinations[other]);
      RemoveTree(folder);
    }
    snprintf(folder, sizeof folder, "%s/%s", g_root, kDestinations[mode]);
    if (mkdir(folder, 0700) != 0 || realpath(folder, g_destination) == nullptr) abort();
    ExtractObserver observer = {nullptr, WindowsPath, nullptr, nullptr, nullptr};
    PackageReader reader;
    BudgetStart();
    if (OpenPackage(package, &reader) == kArchiveOk) {
      ExtractEntries(&reader, folder, (ExtractMode)mode, &observer);
    }
    ClosePackage(&reader);
    // The read and output blocks, zlib's window and state, the FILE buffers: nothing
    // grows with the sizes that the entries claim.
    BudgetCheck("archive walk", kReadBlockSize + kOutputBlockSize + (768 << 10), size);
    nftw(g_root, CheckCreated, 16, FTW_PHYS);
  }
  return 0;
}
