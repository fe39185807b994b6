// Path work for preparing the InstallFolder, without Windows: the levels of the folder
// chain, the probe file's path, the grant batch file's text and the companion path.
#ifndef FERN_INSTALL_FOLDER_PATHS_H
#define FERN_INSTALL_FOLDER_PATHS_H

#include <stddef.h>

// Writes into out (size bytes) the part of path before its level-th separator (level from
// 1), or the whole path when it has fewer. Each search starts one character after the
// previous hit, so a separator that opens the path is never a cut point. Returns 0, or -1
// when the part does not fit.
int FolderPrefix(const char *path, char *out, size_t size, int level);

// The path of the folder chain's work: -1 for a path of 2 bytes or less or one that does
// not fit; else 0 with out holding the path, its final backslash removed unless it is a
// double-byte character's trail byte or follows ":" (a drive root keeps its backslash).
int ChainPath(const char *path, char *out, size_t size);

// out = path with its extension replaced by extension (given without the dot); a base
// name ending in "." loses that dot. Returns 0, or -1 when the result does not fit.
int ReplaceExtension(char *out, size_t size, const char *path, const char *extension);

// out = folder + AppendBackslash + name. Returns 0, or -1 when it does not fit.
int JoinPath(char *out, size_t size, const char *folder, const char *name);

// out = the path up to its last backslash (a character of its own). Returns 1, or 0 when
// the path has none or the part does not fit size bytes.
int ParentFolder(char *out, size_t size, const char *path);

// Whether path is base or lies below it, as Windows compares paths: letters A to Z without
// case, double-byte characters byte for byte, a final backslash of either ignored. An empty
// base holds nothing.
bool PathWithin(const char *path, const char *base);

// Whether everyone may be given full access to folder. Not when it lies in (or is) one of
// `inside` (the Windows folder: opening it to every user would let any of them replace
// what administrators and services run), nor when it is, or lies above, one of
// `not_above` (the program, shared-data and user folders, whose access lists every
// folder below them inherits). Empty entries are passed over.
bool GrantAllowed(const char *folder, const char *const *inside, size_t inside_count,
                  const char *const *not_above, size_t not_above_count);

#endif
