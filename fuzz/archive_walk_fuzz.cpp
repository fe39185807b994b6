// The archive walk in both modes over a package whose archive is the input: the input,
// two padding bytes and a trailer pointing at offset 0. Files go into a scratch folder;
// afterwards nothing may exist in the scratch root but the package and the two
// destinations. Output paths are joined as the installer joins them, with both separators
// taken as Windows takes them, so that a name leading outside would lead outside here too.
#include <stdint.h>
#include <dirent.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "archive/package_reader.h"
#include "fuzz/fuzz_budget.h"

namespace {

enum { kPackagePathSize = 600, kMaxInput = 1 << 20 };

int RemoveEntry(const char *path, const struct stat *, int, struct FTW *) {
  return remove(path);
}

void EmptyFolder(const char *folder) {
  nftw(folder, RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  mkdir(folder, 0700);
}

int WindowsPath(void *, const char *folder, const char *name, char *out, int size) {
  if (JoinEntryPath(folder, name, out, size) != 0) return -1;
  for (char *p = out + strlen(folder); *p; p++) {
    if (*p == '\\') *p = '/';
  }
  return 0;
}

void CheckRootHoldsOnly(const char *root) {
  DIR *dir = opendir(root);
  if (dir == nullptr) abort();
  while (struct dirent *entry = readdir(dir)) {
    const char *n = entry->d_name;
    if (strcmp(n, ".") == 0 || strcmp(n, "..") == 0 || strcmp(n, "package") == 0 ||
        strcmp(n, "preview") == 0 || strcmp(n, "full") == 0) {
      continue;
    }
    fprintf(stderr, "the walk wrote outside its destination: %s/%s\n", root, n);
    abort();
  }
  closedir(dir);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > kMaxInput) return 0;
  static unsigned char *file = nullptr;
  if (file == nullptr) file = (unsigned char *)malloc(kMaxInput + 6);
  memcpy(file, data, size);
  memset(file + size, 0, 6);  // two padding bytes, then the archive start 0
  const char *root = ScratchFolder();
  const char *package = WriteScratch("package", file, size + 6);
  char folder[kPackagePathSize];
  for (int mode = kFullMode; mode <= kPreviewMode; mode++) {
    snprintf(folder, sizeof folder, "%s/%s", root, mode == kPreviewMode ? "preview" : "full");
    EmptyFolder(folder);
    ExtractObserver observer = {nullptr, WindowsPath, nullptr, nullptr};
    PackageReader reader;
    BudgetStart();
    if (OpenPackage(package, &reader) == kArchiveOk) {
      ExtractEntries(&reader, folder, (ExtractMode)mode, &observer);
    }
    ClosePackage(&reader);
    // Two blocks, zlib's window and state, the FILE buffers: nothing grows with the
    // sizes that the entries claim.
    BudgetCheck("archive walk", 1 << 20, size);
    CheckRootHoldsOnly(root);
  }
  return 0;
}
