// Shift-JIS <-> UTF-16 at the boundary with Windows' wide-character functions.
//
// The installer's texts stay Shift-JIS bytes in their fixed buffers; the Windows layer
// converts each text as it passes to or from a wide-character ("W") function, so Windows
// reads them as code page 932 whatever the system code page is. wide_text_win32.cpp
// converts with Windows' own tables, wide_text_posix.cpp with iconv (for the native tests);
// both follow the contract below, and the well-formedness rule here is shared.
#ifndef FERN_SUPPORT_WIDE_TEXT_H
#define FERN_SUPPORT_WIDE_TEXT_H

#include <stddef.h>

#include "support/sjis.h"

#ifdef _WIN32
typedef wchar_t WideChar;  // Windows' WCHAR: one UTF-16 code unit
#else
typedef char16_t WideChar;
#endif

// Every Shift-JIS character, one byte or two, is one UTF-16 unit, so a path buffer of
// kPathSize bytes always fits a wide buffer of kPathSize units.
enum { kWidePathSize = kPathSize };

// Whether text is well-formed Shift-JIS: every lead byte is followed by a trail byte
// (0x40-0x7E or 0x80-0xFC), and no byte stands alone that code page 932 leaves unassigned
// (0x80, 0xA0, 0xFD-0xFF).
bool IsWellFormedSjis(const char *text);

// Decodes text into wide (count units, terminator included). Returns 0; -1 when text is
// not well-formed or maps to no character, or when the result does not fit. On failure
// wide is empty (when count > 0). Names are decoded with this: a name that cannot be read
// exactly is refused, never guessed.
int SjisToWide(const char *text, WideChar *wide, size_t count);

// For texts shown to a person: like SjisToWide, but a byte that does not decode becomes
// U+30FB ("・"), and a text that does not fit is cut before the first character that would
// not. Always terminates (count > 0).
void SjisToWideShown(const char *text, WideChar *wide, size_t count);

// Encodes wide into text (size bytes, terminator included). Returns 0; -1 when the result
// does not fit; -2 when a character (or a lone surrogate) has no Shift-JIS form. Never
// substitutes "?" or a look-alike character. On failure text is empty (when size > 0).
int WideToSjis(const WideChar *wide, char *text, size_t size);

enum { kWideNoSjisForm = -2 };

#endif
