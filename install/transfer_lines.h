// The [ini] and [reg] lines of install.env, without Windows: token expansion, the
// backslash unescaping of registry export lines, and the split into key (or value name)
// and value. The Win32 layer (registry_win32) writes what these return.
//
// Tokens: REP_CDROMDRIVE ([ini] only) and REP_CDROM ([reg] only) become the root of the
// first CD-ROM drive, such as "Q:\\"; REP_INSTALL becomes the InstallFolder. Each token is
// replaced at its first occurrence only, the CD-ROM token first; a match never starts on
// the second byte of a double-byte character.
#ifndef FERN_INSTALL_TRANSFER_LINES_H
#define FERN_INSTALL_TRANSFER_LINES_H

#include <stddef.h>

// Line, name and value buffers: a section line is at most 511 bytes.
enum { kTransferTextSize = 512 };

// Supplies the CD-ROM root; called only for a line that holds the CD-ROM token, once.
typedef const char *(*CdromRootSource)(void);

// What the expansion needs. install_folder has no trailing backslash.
struct TokenValues {
  CdromRootSource cdrom_root;
  const char *install_folder;
};

// Expand into out (size bytes). Return 0, or -1 when the expanded text does not fit:
// the line is then passed over by the caller, never written cut.
int ExpandIniTokens(const char *line, const TokenValues *values, char *out, size_t size);
int ExpandRegTokens(const char *text, const TokenValues *values, char *out, size_t size);

// Removes each backslash that is a character of its own and keeps the character after it
// (one or two bytes) unchanged, even a backslash: "\\\\" becomes "\\", "\\\"" becomes "\"".
// Returns 0, or -1 when the text does not fit out (it never grows, so only when the input
// is longer than size - 1).
int UnescapeRegText(const char *line, char *out, size_t size);

// key=value: -1 when the line has no "=" or the expanded line, key or value does not fit;
// else 0 with the key (text before the first "=") and the value (everything after it),
// nothing trimmed.
int ParseIniLine(const char *line, const TokenValues *values, char *key, size_t key_size,
                 char *value, size_t value_size);

// "name"="text": -1 when the line has no "\"=\"" or a result does not fit; else 0. The
// line is unescaped, then expanded; the name runs from the second byte to the first
// "\"=\"", the value is what follows it less its last byte.
int ParseRegLine(const char *line, const TokenValues *values, char *name, size_t name_size,
                 char *value, size_t value_size);

#endif
