// The free-space check before the extraction: what the package's files add on the
// destination drive, from the sizes in its file list (or a walk over the archive's
// headers), against the free space there.
#ifndef FERN_INSTALL_FREE_SPACE_H
#define FERN_INSTALL_FREE_SPACE_H

#include <stddef.h>
#include <stdint.h>

#include "archive/package_reader.h"

// Whole mebibytes, rounded up, as the message shows them: a need of one byte more than
// what is free never reads as equal.
uint64_t MebibytesUp(uint64_t bytes);

// The message shown when needed > available (Shift-JIS, into out of size bytes): how much
// the installation needs, how much is free, and that the installation stops. Returns 0,
// or -1 when it did not fit (out then holds as much as fitted).
int FormatSpaceShortage(char *out, size_t size, uint64_t needed, uint64_t available);

// The bytes that the list's files add on disk (SpaceGrowth of each size line over what
// existing says a file of the next line's name takes already; existing may be null).
// 0 with *total set, or -1 when the list does not carry sizes (no kFileSizesNote among
// its opening comments, or a file line without its size line): the caller then walks the
// archive instead.
int SumListGrowth(const char *text, size_t size, ExistingSize existing, void *context,
                  uint64_t *total);

// Windows only (free_space_win32.cpp). 0 when the drive of folder has room for the
// package's files, or when either number cannot be had (the extraction then says what
// goes wrong); -1 after telling the player that space is short, as after Cancel.
// folder_is_new: this run made the folder, so no file in it is replaced.
int CheckFreeSpace(const char *folder, bool folder_is_new);

#endif
