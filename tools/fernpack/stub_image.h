// Where the installer program ends inside a package file: the end of its Windows
// executable image (the last byte that a section, the symbol table or the certificate
// table occupies). The archive must start exactly there, and a bare stub ends there.
#ifndef FERN_TOOLS_FERNPACK_STUB_IMAGE_H
#define FERN_TOOLS_FERNPACK_STUB_IMAGE_H

#include <stdint.h>
#include <stdio.h>

enum ImageResult {
  kImageOk = 0,
  kImageNotProgram,  // no "MZ" and "PE\0\0" headers: not a Windows program
  kImageTruncated,   // the headers claim more bytes than the file holds
};

// Reads the headers of the file (file_size bytes) and sets *image_end. Every offset read
// from the file is checked against file_size before it is used.
int FindImageEnd(FILE *file, uint64_t file_size, uint64_t *image_end);

#endif
