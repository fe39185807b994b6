// Shift-JIS (code page 932) byte-string helpers shared by the installer and fernpack.
//
// Every string in the installer is a NUL-terminated Shift-JIS byte string. A double-byte
// character is a lead byte (0x81-0x9F, 0xE0-0xFC) followed by a trail byte, and the trail
// byte may be 0x5C ('\\') or 0x7C ('|'); so separators and markers are only ever searched
// character by character, never byte by byte.
#ifndef FERN_SUPPORT_SJIS_H
#define FERN_SUPPORT_SJIS_H

#include <stddef.h>

// Windows path limit: paths live in buffers of this many bytes (259 characters + NUL).
enum { kPathSize = 260 };

// True for the bytes that open a double-byte character.
bool IsSjisLeadByte(unsigned char byte);

// Length in bytes of the character that starts at text (1 or 2). A lead byte followed by
// the terminator counts as 1, so a walk never steps over the end of the string.
size_t SjisCharLength(const char *text);

// Appends "\\" unless the path already ends with a backslash that is a character of its
// own. An empty path becomes "\\". Returns 0, or -1 (path unchanged) when the result would
// not fit size bytes.
int AppendBackslash(char *path, size_t size);

// Removes a final backslash unless it is the trail byte of a double-byte character.
void StripBackslash(char *path);

// Finds the first path separator ('\\' or, when slash_too, '/') that is a character of its
// own; returns a pointer to it, or nullptr.
const char *FindSeparator(const char *text, bool slash_too);

// Finds the first byte c (ASCII) that is a character of its own; nullptr when none.
const char *FindSjisChar(const char *text, char c);

// Finds the first occurrence of needle that starts on a character boundary; nullptr when
// none. An empty needle is found at the start.
const char *FindSjisText(const char *text, const char *needle);

// Bounded copy that never splits a double-byte character: like CopyText, but a cut falls
// before a character that would not fit whole.
size_t CopyTextWhole(char *dst, const char *src, size_t size);

// True when the path ends with a backslash that is a character of its own.
bool EndsWithBackslash(const char *path);

// Bounded copy: copies at most size - 1 bytes and always terminates (when size > 0).
// Returns the length of src, so a result >= size means the text was cut.
size_t CopyText(char *dst, const char *src, size_t size);

#endif
