#include "install/transfer_lines.h"

#include <string.h>

#include "support/sjis.h"

namespace {

const char kIniCdromToken[] = "REP_CDROMDRIVE";
const char kRegCdromToken[] = "REP_CDROM";
const char kInstallToken[] = "REP_INSTALL";

// The separator of a registry export line between the quoted name and the quoted text.
const char kRegSeparator[] = "\"=\"";

// Replaces the first occurrence of token in text (size bytes) with replacement, in place.
// A text without the token is left alone. Returns 0, or -1 when the result would not fit;
// the text is then unchanged.
int ReplaceFirst(char *text, size_t size, const char *token, const char *replacement) {
  char *at = const_cast<char *>(FindSjisText(text, token));
  if (at == nullptr) return 0;
  size_t length = strlen(text);
  size_t token_length = strlen(token);
  size_t replacement_length = strlen(replacement);
  if (length - token_length + replacement_length >= size) return -1;
  // The tail moves first, with its terminator, so that it is never overwritten.
  char *tail = at + token_length;
  memmove(at + replacement_length, tail, strlen(tail) + 1);
  memcpy(at, replacement, replacement_length);
  return 0;
}

// Both sections expand the same way and differ only in their CD-ROM token. The CD-ROM
// root is asked for only when the line needs it, because finding it probes every drive.
int ExpandTokens(const char *line, const char *cdrom_token, const TokenValues *values,
                 char *out, size_t size) {
  if (size == 0 || CopyText(out, line, size) >= size) return -1;
  if (values->cdrom_root != nullptr && FindSjisText(out, cdrom_token) != nullptr) {
    if (ReplaceFirst(out, size, cdrom_token, values->cdrom_root()) != 0) return -1;
  }
  if (values->install_folder != nullptr) {
    if (ReplaceFirst(out, size, kInstallToken, values->install_folder) != 0) return -1;
  }
  return 0;
}

// Copies the length bytes at begin into out as a terminated text; -1 when they do not fit.
int CopyPart(const char *begin, size_t length, char *out, size_t size) {
  if (length >= size) return -1;
  memcpy(out, begin, length);
  out[length] = '\0';
  return 0;
}

}  // namespace

int ExpandIniTokens(const char *line, const TokenValues *values, char *out, size_t size) {
  return ExpandTokens(line, kIniCdromToken, values, out, size);
}

int ExpandRegTokens(const char *text, const TokenValues *values, char *out, size_t size) {
  return ExpandTokens(text, kRegCdromToken, values, out, size);
}

int UnescapeRegText(const char *line, char *out, size_t size) {
  if (size == 0 || strlen(line) >= size) return -1;
  // The output never runs ahead of the input, so line and out may be the same buffer.
  const char *read = line;
  char *write = out;
  while (*read) {
    if (*read == '\\') {
      read++;
      if (*read == '\0') break;
    }
    // The character after an escaping backslash is kept whole, even a backslash.
    size_t char_length = SjisCharLength(read);
    for (size_t i = 0; i < char_length; i++) *write++ = *read++;
  }
  *write = '\0';
  return 0;
}

int ParseIniLine(const char *line, const TokenValues *values, char *key, size_t key_size,
                 char *value, size_t value_size) {
  if (FindSjisChar(line, '=') == nullptr) return -1;
  char expanded[kTransferTextSize];
  if (ExpandIniTokens(line, values, expanded, sizeof expanded) != 0) return -1;
  // The expansion keeps the line's "=", and the first one may now lie inside an inserted
  // folder name; the split follows the expanded text.
  const char *equals = FindSjisChar(expanded, '=');
  if (equals == nullptr) return -1;
  if (CopyPart(expanded, (size_t)(equals - expanded), key, key_size) != 0) return -1;
  return CopyPart(equals + 1, strlen(equals + 1), value, value_size);
}

int ParseRegLine(const char *line, const TokenValues *values, char *name, size_t name_size,
                 char *value, size_t value_size) {
  // Key headers, number values and a key's default value (@="...") have no separator.
  if (FindSjisText(line, kRegSeparator) == nullptr) return -1;
  // Unescaped before the expansion, so that the backslashes of the inserted folder and
  // CD-ROM root reach the registry single.
  char unescaped[kTransferTextSize];
  char expanded[kTransferTextSize];
  if (UnescapeRegText(line, unescaped, sizeof unescaped) != 0) return -1;
  if (ExpandRegTokens(unescaped, values, expanded, sizeof expanded) != 0) return -1;
  const char *separator = FindSjisText(expanded, kRegSeparator);
  if (separator == nullptr) return -1;
  // The name starts after the opening quote, whatever that first byte is; a separator
  // that starts the line leaves the name empty.
  const char *name_begin = separator == expanded ? separator : expanded + 1;
  if (CopyPart(name_begin, (size_t)(separator - name_begin), name, name_size) != 0) return -1;
  // The text runs to the end of the line less its last byte, normally the closing quote.
  const char *text = separator + strlen(kRegSeparator);
  size_t text_length = strlen(text);
  if (text_length > 0) text_length--;
  return CopyPart(text, text_length, value, value_size);
}
