// The one seam between the portable core and the operating system's file system: 64-bit
// positions in buffered streams, folder creation and last-write times. file_io_win32.cpp
// and file_io_posix.cpp implement it; nothing else in the core touches the platform.
#ifndef FERN_SUPPORT_FILE_IO_H
#define FERN_SUPPORT_FILE_IO_H

#include <stdint.h>
#include <stdio.h>

// fopen for a Shift-JIS path: Windows is given the name decoded as Shift-JIS, whatever the
// system code page. nullptr (errno EILSEQ) for a name that is not Shift-JIS.
FILE *FileOpen(const char *path, const char *mode);

// fseek/ftell with 64-bit offsets (the 32-bit Windows build's long is 32 bits).
int FileSeek(FILE *file, int64_t offset, int whence);
int64_t FileTell(FILE *file);

// Creates one folder level; 0 on success or when it already exists, -1 with errno set
// otherwise.
int MakeFolder(const char *path);

// Sets a file's last-write time from a FILETIME value (100 ns units since 1601-01-01 UTC).
// Returns 0 on success.
int SetFileLastWrite(const char *path, uint64_t file_time);

// The same for a file still open for writing, through the open file, so no second open is
// needed. The caller flushes the file first: every write must reach it before the time is
// set, and a time set this way is the file's last-write time after it is closed. Returns 0
// on success.
int SetOpenFileLastWrite(FILE *file, uint64_t file_time);

// FILETIME <-> Unix time conversions, exact to the 100 ns unit where the range allows.
static const uint64_t kFileTimeUnixEpoch = 116444736000000000ull;  // 1970-01-01 as FILETIME

#endif
