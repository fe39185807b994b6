// The folder normalisation and the texts it is built from. The input is split at its first
// two NUL bytes into the typed text, INSTFOL and INSTTO; every result must stay a
// terminated text inside its 260-byte buffer (ASan watches the buffer's edges).
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "install/folder_paths.h"
#include "install/folder_rules.h"

namespace {

enum { kFolderSize = 260, kPieceSize = 1024 };

// The next NUL-separated piece of the input, copied into out (cut to fit).
size_t TakePiece(const uint8_t **data, size_t *size, char *out) {
  size_t n = 0;
  while (n < *size && (*data)[n] != 0) n++;
  size_t copy = n < kPieceSize - 1 ? n : kPieceSize - 1;
  memcpy(out, *data, copy);
  out[copy] = '\0';
  size_t used = n < *size ? n + 1 : n;
  *data += used;
  *size -= used;
  return copy;
}

void CheckTerminated(const char *buffer, size_t size) {
  if (memchr(buffer, '\0', size) == nullptr) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  char typed[kPieceSize], inst_fol[kPieceSize], inst_to[kPieceSize];
  TakePiece(&data, &size, typed);
  TakePiece(&data, &size, inst_fol);
  TakePiece(&data, &size, inst_to);
  FolderSettings settings = {"C:\\windows", inst_fol[0] ? inst_fol : nullptr, inst_to,
                             (int)(strlen(typed) & 1)};
  // Exactly 260 bytes on the heap, so that a write one past the end is caught.
  char *candidate = (char *)malloc(kFolderSize);
  if (BuildProposedFolder(candidate, kFolderSize, &settings) == 0) {
    CheckTerminated(candidate, kFolderSize);
  }
  strncpy(candidate, "D:\\Games", kFolderSize);
  if (ApplyBrowsedFolder(candidate, kFolderSize, typed, &settings) == 0) {
    CheckTerminated(candidate, kFolderSize);
  }
  if (strlen(typed) < kFolderSize) {
    memcpy(candidate, typed, strlen(typed) + 1);
    FolderVerdict verdict = NormaliseInstallFolder(candidate, kFolderSize, &settings);
    CheckTerminated(candidate, kFolderSize);
    // An accepted text may still name no valid folder (a colon inside it, say): the
    // folder's creation refuses it with its own message, so only its form is checked.
    if (verdict == kFolderAccepted && candidate[0] == '\0') abort();
  }
  free(candidate);
  // The grant rule over the typed text and INSTFOL as folder and protected folder, each in
  // a heap block of its exact size, so that a read past either text is caught. A folder is
  // always within itself, and a folder the rule opens is never inside the protected one.
  size_t typed_length = strlen(typed), fol_length = strlen(inst_fol);
  char *folder = (char *)malloc(typed_length + 1);
  char *base = (char *)malloc(fol_length + 1);
  memcpy(folder, typed, typed_length + 1);
  memcpy(base, inst_fol, fol_length + 1);
  bool within = PathWithin(folder, base);
  const char *protect[] = {base};
  if (GrantAllowed(folder, protect, 1, nullptr, 0) == within) abort();
  // Only the empty text and a lone separator name no folder.
  if (folder[0] != '\0' && strcmp(folder, "\\") != 0 && !PathWithin(folder, folder)) abort();
  free(folder);
  free(base);
  return 0;
}
