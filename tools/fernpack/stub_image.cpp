#include "tools/fernpack/stub_image.h"

#include "archive/package_format.h"
#include "support/file_io.h"

namespace {

// Offsets of the executable headers that matter here.
enum {
  kPeOffsetField = 0x3C,   // u32: where "PE\0\0" stands
  kCoffHeaderSize = 20,    // after the signature
  kSectionCountField = 2,  // u16, in the COFF header
  kSymbolTableField = 8,   // u32 file offset of the COFF symbol table (0: none)
  kSymbolCountField = 12,  // u32
  kOptionalSizeField = 16, // u16 size of the optional header
  kSymbolSize = 18,
  kSectionHeaderSize = 40,
  kRawSizeField = 16,      // u32, in a section header
  kRawOffsetField = 20,    // u32
  kPe32Magic = 0x10B,
  kPe32PlusMagic = 0x20B,
  kPe32DirectoryStart = 96,     // data directories in the optional header
  kPe32PlusDirectoryStart = 112,
  kCertificateDirectory = 4,    // its "address" is a file offset
  kMaxSections = 96,
  kCertificateAlignment = 8,    // a certificate table starts on an 8-byte boundary
};

bool ReadAt(FILE *file, uint64_t file_size, uint64_t offset, unsigned char *buffer,
            size_t size) {
  if (offset > file_size || size > file_size - offset) return false;
  return FileSeek(file, (int64_t)offset, SEEK_SET) == 0 && fread(buffer, 1, size, file) == size;
}

}  // namespace

int FindImageEnd(FILE *file, uint64_t file_size, uint64_t *image_end) {
  unsigned char dos[kDosHeaderSize];
  if (!ReadAt(file, file_size, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
    return kImageNotProgram;
  }
  uint64_t pe = ReadLe32(dos + kPeOffsetField);
  unsigned char coff[4 + kCoffHeaderSize];
  if (!ReadAt(file, file_size, pe, coff, sizeof coff) || coff[0] != 'P' || coff[1] != 'E' ||
      coff[2] != 0 || coff[3] != 0) {
    return kImageNotProgram;
  }
  const unsigned char *header = coff + 4;
  unsigned sections = ReadLe16(header + kSectionCountField);
  unsigned optional_size = ReadLe16(header + kOptionalSizeField);
  if (sections > kMaxSections) return kImageNotProgram;
  uint64_t end = pe + sizeof coff + optional_size + (uint64_t)sections * kSectionHeaderSize;

  uint64_t symbols = ReadLe32(header + kSymbolTableField);
  if (symbols != 0) {
    // The string table follows the symbols; its first u32 is its own size.
    uint64_t strings = symbols + (uint64_t)ReadLe32(header + kSymbolCountField) * kSymbolSize;
    unsigned char size[4];
    if (!ReadAt(file, file_size, strings, size, sizeof size)) return kImageTruncated;
    uint64_t strings_end = strings + ReadLe32(size);
    if (strings_end > end) end = strings_end;
  }

  unsigned char optional[256] = {0};
  size_t optional_read = optional_size < sizeof optional ? optional_size : sizeof optional;
  if (!ReadAt(file, file_size, pe + sizeof coff, optional, optional_read)) return kImageTruncated;
  unsigned magic = optional_read >= 2 ? ReadLe16(optional) : 0;
  size_t directories = magic == kPe32Magic       ? (size_t)kPe32DirectoryStart
                       : magic == kPe32PlusMagic ? (size_t)kPe32PlusDirectoryStart
                                                 : 0;
  for (unsigned i = 0; i < sections; i++) {
    unsigned char section[kSectionHeaderSize];
    uint64_t at = pe + sizeof coff + optional_size + (uint64_t)i * kSectionHeaderSize;
    if (!ReadAt(file, file_size, at, section, sizeof section)) return kImageTruncated;
    uint64_t raw_size = ReadLe32(section + kRawSizeField);
    uint64_t raw_offset = ReadLe32(section + kRawOffsetField);
    if (raw_size != 0 && raw_offset + raw_size > end) end = raw_offset + raw_size;
  }

  // A certificate table that starts where the program ends (a signed stub, the table on
  // its 8-byte boundary) belongs to the program. One that starts further on signs the
  // whole package, archive included: the program ends before the archive, as unsigned.
  size_t certificate = directories + 8 * kCertificateDirectory;
  if (directories != 0 && certificate + 8 <= optional_read) {
    uint64_t offset = ReadLe32(optional + certificate);
    uint64_t size = ReadLe32(optional + certificate + 4);
    uint64_t aligned_end = (end + kCertificateAlignment - 1) / kCertificateAlignment *
                           kCertificateAlignment;
    if (offset != 0 && offset <= aligned_end && offset + size > end) end = offset + size;
  }
  *image_end = end;
  return end > file_size ? kImageTruncated : kImageOk;
}
