#include "archive/signed_package.h"

#include <string.h>

#include "archive/package_format.h"
#include "support/file_io.h"

namespace {

// Reads exactly size bytes at offset, which must lie inside the file.
bool ReadAt(FILE *file, uint64_t file_size, uint64_t offset, unsigned char *buffer,
            size_t size) {
  if (offset > file_size || size > file_size - offset) return false;
  return FileSeek(file, (int64_t)offset, SEEK_SET) == 0 && fread(buffer, 1, size, file) == size;
}

}  // namespace

CertificateTable FindCertificateTable(FILE *file, uint64_t file_size) {
  CertificateTable none = {0, 0};
  unsigned char dos[kPeDosHeaderSize];
  if (!ReadAt(file, file_size, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
    return none;
  }
  uint64_t pe = ReadLe32(dos + kPeOffsetField);
  unsigned char coff[kPeSignatureSize + kPeCoffHeaderSize];
  if (!ReadAt(file, file_size, pe, coff, sizeof coff) || memcmp(coff, "PE\0\0", 4) != 0) {
    return none;
  }
  unsigned optional_size = ReadLe16(coff + kPeSignatureSize + kPeOptionalSizeField);
  unsigned char optional[kPeOptionalReadSize];
  size_t readable = optional_size < sizeof optional ? optional_size : sizeof optional;
  if (readable < 2 || !ReadAt(file, file_size, pe + sizeof coff, optional, readable)) {
    return none;
  }
  unsigned magic = ReadLe16(optional);
  size_t count_field, directories;
  if (magic == kPe32Magic) {
    count_field = kPe32DirectoryCountField;
    directories = kPe32DirectoryStart;
  } else if (magic == kPe32PlusMagic) {
    count_field = kPe32PlusDirectoryCountField;
    directories = kPe32PlusDirectoryStart;
  } else {
    return none;
  }
  size_t entry = directories + (size_t)kPeDirectorySize * kPeSecurityDirectory;
  if (entry + kPeDirectorySize > readable || count_field + 4 > readable ||
      ReadLe32(optional + count_field) <= (uint32_t)kPeSecurityDirectory) {
    return none;
  }
  CertificateTable table = {ReadLe32(optional + entry), ReadLe32(optional + entry + 4)};
  if (table.offset == 0 || table.size == 0 || table.offset > file_size ||
      table.size > file_size - table.offset) {
    return none;
  }
  return table;
}

uint64_t PackageDataEnd(FILE *file, uint64_t file_size) {
  CertificateTable table = FindCertificateTable(file, file_size);
  if (table.size != 0 && table.offset + table.size == file_size &&
      table.offset >= (uint64_t)kTrailerSize) {
    return table.offset;
  }
  return file_size;
}
