// Messages to the user and the opening of the installer's own resource files.
//
// The installer (messages_win32.cpp) shows message boxes owned by the OwnerWindow, with
// that window's title as caption, and puts the text of ErrorBox and RetryBox on the
// clipboard. The host build (messages_posix.cpp, used by fernpack and the native tests)
// writes the text to stderr and treats every RetryBox as cancelled: nobody can answer.
//
// Texts are Shift-JIS format strings; the formatted text is cut to kMessageSize - 1 bytes.
#ifndef FERN_SUPPORT_MESSAGES_H
#define FERN_SUPPORT_MESSAGES_H

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>

enum { kMessageSize = 1024 };

void ErrorBox(const char *format, ...);
// Returns only when the user chose Retry; Cancel ends the program with exit code -1.
void RetryBox(const char *format, ...);
// 1 for Yes, 0 for No.
int ConfirmBox(const char *format, ...);

// 0 on success, -1 when the memory block for the text could not be allocated.
int CopyTextToClipboard(const char *text);

// Opens one of the installer's own files (relative to the current folder) and keeps the
// user in a RetryBox until it opens; never returns without a stream.
FILE *OpenResourceFile(const char *name, const char *mode);
// 1 when the file can be opened for reading, else 0; shows nothing.
int ResourceExists(const char *name);

// Formats into a buffer of `size` bytes, cutting (never overrunning) a longer text.
void FormatMessageText(char *buffer, size_t size, const char *format, va_list args);

#endif
