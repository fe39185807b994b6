// Signed packages. A publisher signs the finished installer with Authenticode, which
// appends a certificate table to the file and records it in the PE security directory:
//
//   stub image | archive | trailer (4 bytes) | certificate table
//
// The trailer then no longer stands in the file's last four bytes but just before the
// certificate table. fernpack pads every package to a multiple of 8 bytes (the padding
// sits before the trailer, where the reader never looks), so signing, which starts the
// table on an 8-byte boundary, adds no padding of its own between trailer and table.
//
// Portable: the installer and fernpack read the same headers with the same code.
#ifndef FERN_ARCHIVE_SIGNED_PACKAGE_H
#define FERN_ARCHIVE_SIGNED_PACKAGE_H

#include <stdint.h>
#include <stdio.h>

// The executable headers that matter here (offsets in bytes).
enum {
  kPeDosHeaderSize = 64,
  kPeOffsetField = 0x3C,        // u32 in the DOS header: where "PE\0\0" stands
  kPeSignatureSize = 4,
  kPeCoffHeaderSize = 20,       // after the signature
  kPeOptionalSizeField = 16,    // u16 in the COFF header
  kPe32Magic = 0x10B,
  kPe32PlusMagic = 0x20B,
  kPe32DirectoryCountField = 92,       // u32 NumberOfRvaAndSizes, optional header
  kPe32PlusDirectoryCountField = 108,
  kPe32DirectoryStart = 96,            // the data directories, 8 bytes each
  kPe32PlusDirectoryStart = 112,
  kPeDirectorySize = 8,
  kPeSecurityDirectory = 4,     // its "address" is a file offset, not an RVA
  kPeOptionalReadSize = 256,    // enough for both header forms up to the directories
};

// Where the security directory's certificate table lies; offset and size 0 when the file
// has none (or is no Windows program). Every offset read is checked against file_size.
struct CertificateTable {
  uint64_t offset;
  uint64_t size;
};
CertificateTable FindCertificateTable(FILE *file, uint64_t file_size);

// The end of the package's own data: the offset just past its trailer. That is the
// certificate table's offset when a certificate table ends the file exactly and leaves
// room for a trailer before it, and the file size otherwise (unsigned files are read
// exactly as before).
uint64_t PackageDataEnd(FILE *file, uint64_t file_size);

#endif
