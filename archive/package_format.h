// The PackageArchive: the game's files appended to the installer's own executable.
//
// Byte map of a delivered installer (all numbers little-endian):
//
//   offset 0            executable image (the stub)
//   offset 0x28         "FPAK", u32 S                the archive start again, in the stub's
//                                                    DOS header (reserved words that loaders
//                                                    ignore): read with the program's first
//                                                    bytes, which a disc has in its cache,
//                                                    where the trailer costs a seek to the
//                                                    end and one back. fernpack writes it; a
//                                                    package without it is read by its trailer
//   offset S            entry 0, entry 1, ...        S = archive start, < 2^32
//                       u16 0                        end marker
//                       u8 0 x (2 to 9)              padding, never read; fernpack pads
//                                                    the file to a multiple of 8 bytes
//   data end - 4        u32 S                        archive start
//   (signed packages)   certificate table            Authenticode signature; data end is
//                                                    its offset, else the file size
//                                                    (archive/signed_package.h)
//
// One entry:
//   u16  name length N   bytes of the name including its NUL; 0 is the end marker
//   N    name            Shift-JIS relative path, backslash-separated, NUL-terminated
//   u32  unpacked size   0xFFFFFFFF marks a folder entry
//   u32  packed size     folder entries: present, ignored (fernpack writes 0)
//   8    last-write time file entries only: FILETIME, low word then high word
//   P    packed data     file entries only: one complete zlib stream of exactly P bytes
//
// A folder entry precedes every entry inside it. A header costs N + 10 bytes; a file entry
// adds 8 + P. The reader never trusts a length: names are checked against kMaxNameSize,
// the archive start against the file size, and every read against what is left.
//
// This header is shared by the installer, fernpack and the tests; it is the only place
// that spells out the layout.
#ifndef FERN_ARCHIVE_PACKAGE_FORMAT_H
#define FERN_ARCHIVE_PACKAGE_FORMAT_H

#include <stdint.h>

// Reads and writes go in blocks of this size; the progress bars count in these units too.
enum { kArchiveBlockSize = 131072 };

// The reader keeps names in a 256-byte buffer: the name length field (NUL included) may
// not exceed it, although the u16 field allows 65535.
enum { kMaxNameSize = 256 };

enum { kEntryHeaderSize = 10 };  // name length (2) + unpacked size (4) + packed size (4)
enum { kFileTimeSize = 8 };
enum { kTrailerSize = 4 };        // the archive start in the last four bytes
enum { kEndPaddingSize = 2 };     // zero bytes between the end marker and the trailer, at least
enum { kSignAlignment = 8 };      // a certificate table starts on this boundary
enum { kStartHintOffset = 0x28 };  // the DOS header's second reserved words
enum { kStartHintSize = 8 };       // the mark, then the archive start
enum { kDosHeaderSize = 64 };      // an archive starts after it
static const char kStartHintMark[4] = {'F', 'P', 'A', 'K'};

static const uint32_t kFolderMarker = 0xFFFFFFFFu;

// Files are stored with a 32-bit unpacked size, and 0xFFFFFFFF marks folders: a file must
// be smaller than this.
static const uint64_t kMaxFileSize = 0xFFFFFFFFull;

// ExtractPackage modes.
enum ExtractMode { kFullMode = 0, kPreviewMode = 1 };

inline uint16_t ReadLe16(const unsigned char *p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t ReadLe32(const unsigned char *p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline uint64_t ReadLe64(const unsigned char *p) {
  return (uint64_t)ReadLe32(p) | ((uint64_t)ReadLe32(p + 4) << 32);
}
inline void WriteLe16(unsigned char *p, uint16_t v) {
  p[0] = (unsigned char)v;
  p[1] = (unsigned char)(v >> 8);
}
inline void WriteLe32(unsigned char *p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = (unsigned char)(v >> (8 * i));
}
inline void WriteLe64(unsigned char *p, uint64_t v) {
  WriteLe32(p, (uint32_t)v);
  WriteLe32(p + 4, (uint32_t)(v >> 32));
}

#endif
