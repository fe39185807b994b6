// Setting one key of an INI file held in memory, without Windows. The installer's texts
// are Shift-JIS bytes; where the system code page is not 932 the profile functions would
// re-encode them, so the Win32 layer reads the file, updates its text here and writes the
// bytes back unchanged.
//
// The text is taken as Shift-JIS bytes and walked character by character: a lead byte
// pairs with the next byte only when that byte can be a trail byte (0x40-0x7E,
// 0x80-0xFC), so a trail byte "[", "\\" or "]" never opens or closes a section header, and
// a broken character never hides the "\n" after it. Lines end at "\n" (a "\r" before it
// belongs to the line end). NUL bytes and bytes that are not valid Shift-JIS are ordinary
// bytes: they are copied as they are and compare only with themselves. Nothing before
// text + length is assumed to be terminated, and nothing past it is read.
//
// The rules are those of the profile functions:
// - Blanks (space, tab, "\r", "\v", "\f", ^Z) around a line, around a section's name
//   inside its brackets and before "=" do not count when names are compared. Names
//   compare with ASCII letters folded; double-byte characters compare byte for byte.
// - A header is a line whose first non-blank character is "[" and that holds a "]"; the
//   name runs to its last "]". Any other line of a section names a key: the text before
//   its first "=", or the whole line when it has none. Comment lines (";") are lines like
//   any other and never match a real key.
// - Only the first section of the name and, inside it, the first line of the key count.
#ifndef FERN_INSTALL_INI_TEXT_H
#define FERN_INSTALL_INI_TEXT_H

#include <stddef.h>

// Sets key=value in [section] of the INI file text (length bytes; text may be nullptr when
// length is 0, which stands for a missing or empty file) and writes the whole new file
// into out (out_size bytes, not overlapping text, no terminator added).
// - The key's line, when the section has one, becomes "key=value" with its line end
//   kept.
// - Else the section gets the line "key=value\r\n" after its last non-blank line, before
//   the blank lines that part it from what follows.
// - Else "[section]\r\nkey=value\r\n" is added at the end of the file, after a "\r\n"
//   when the file's last line has no line end.
// Every other byte of the file is kept. Section, key and value are written as given.
// Returns 0 with *out_length = the new file's length. Returns -1 when out_size is too
// small, with *out_length = the size the new file needs (the bytes in out are then of no
// use); or -1 with *out_length = 0 for a request that would leave a broken file: a null
// or blank section or key, a null value, a "\r" or "\n" in any of the three, or a key that
// holds "=" or starts with "[".
int UpdateIniText(const char *text, size_t length, const char *section, const char *key,
                  const char *value, char *out, size_t out_size, size_t *out_length);

#endif
