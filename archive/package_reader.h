// Reading and unpacking a PackageArchive (layout in package_format.h). Portable: the
// installer, fernpack and the benchmarks run this same code; the platform enters only
// through support/file_io.h, support/allocate.h and the observer below.
//
// Not reentrant per reader; separate readers are independent.
#ifndef FERN_ARCHIVE_PACKAGE_READER_H
#define FERN_ARCHIVE_PACKAGE_READER_H

#include <stdint.h>
#include <stdio.h>

#include "archive/package_format.h"
#include "support/sjis.h"

enum ArchiveResult {
  kArchiveOk = 0,
  kArchiveEnd,       // the end marker was read (ReadEntryHeader), or the preview is over
  kArchiveDamaged,   // the archive is truncated, inconsistent or its data does not inflate
  kArchiveWriteFailed,  // an output file could not be created or written
  kArchiveNoMemory,  // AllocateOrWarn refused a block (it has warned already)
  kArchiveCancelled,  // the observer's progress asked to stop (the player cancelled)
};

// Packed data is read, and inflated data written, in blocks of these sizes: four of the
// package's 131072-byte units each. Under Wine every read or write call costs tens of
// microseconds beyond moving its bytes (a 300 MB game took 0.157 s to write in
// 131072-byte blocks against 0.073 s natively), which larger blocks spread over more
// bytes. Both stay small enough for the processor's cache.
enum {
  kReadBlockSize = 4 * kArchiveBlockSize,
  kOutputBlockSize = 4 * kArchiveBlockSize,
};

struct PackageReader {
  FILE *file;
  int64_t archive_start;   // offset of the first entry
  int64_t archive_length;  // ArchiveLength: (file size - 4) - archive start
  int64_t consumed;        // ConsumedBytes: archive bytes consumed by the walk so far
  int64_t position;        // file offset of the next byte the reader takes
  int64_t end;             // file offset of the trailer: nothing at or past it is entry data
  const char *failure;     // why the last call failed, for fernpack's messages
  unsigned char *blocks;   // input and output block of InflateEntryData, taken at the
                           // first file and kept until ClosePackage
  // After kArchiveWriteFailed: the C library's error number (ENOSPC for a full disk,
  // EACCES or EROFS for a refused write) and the output path, cut to fit, so that the
  // message can say what happened and where. 0 and "" otherwise.
  int write_error;
  char failed_path[kPathSize];
};

struct EntryHeader {
  char name[kMaxNameSize];  // NUL-terminated, checked with CheckEntryName
  uint32_t name_length;     // stored length, NUL included
  uint32_t unpacked_size;
  uint32_t packed_size;
  bool is_folder;
};

// Writes the walk's files for it, possibly later and on a thread of its own, while the
// walk inflates what follows. Each call returns 0, or -1 once any write has failed (that
// call's or an earlier one's); failure() then gives the C library's error number and the
// path of the file that failed. Calls come in the order open, write..., close for each
// file; the walk begins with begin() (-1: the walk writes its files itself) and ends with
// finish(), which returns once every file handed over is written and closed (a file left
// open by a Cancel or a failure is closed as it is), 0 or -1 as the other calls.
struct FileWriter {
  void *context;
  int (*begin)(void *context);
  int (*open)(void *context, const char *path, uint64_t file_time);
  int (*write)(void *context, const unsigned char *data, uint32_t size);
  int (*close)(void *context);
  int (*finish)(void *context);
  void (*failure)(void *context, int *error, char *path, int size);
};

// What the walk reports while it unpacks; every member may be null.
struct ExtractObserver {
  void *context;
  // Builds the output path of an entry into out (size bytes); 0, or -1 when it does not
  // fit. Null: JoinEntryPath.
  int (*make_path)(void *context, const char *folder, const char *name, char *out, int size);
  // A file is about to be written.
  void (*file_started)(void *context, const char *path, uint32_t unpacked_size);
  // After each output block, and once more after a file's last, partial block. Nonzero
  // stops the walk there: the file being written stays as far as it got, and the walk
  // returns kArchiveCancelled.
  int (*progress)(void *context, uint64_t file_bytes, int64_t consumed);
  // Null: the walk writes each file itself before it reads the next.
  const FileWriter *writer;
};

// Opens a package file (an installer with its archive appended), checks the trailer and
// positions the reader at the first entry. kArchiveDamaged when the file cannot be
// opened or the archive start does not lie inside the file. Every opened reader, also
// one that failed, is ended with ClosePackage, which closes the file and frees the blocks.
ArchiveResult OpenPackage(const char *path, PackageReader *reader);
void ClosePackage(PackageReader *reader);

// Reads the next entry header. kArchiveEnd at the end marker. A name that is too long,
// not terminated where its length says, or unsafe (CheckEntryName) is damage.
ArchiveResult ReadEntryHeader(PackageReader *reader, EntryHeader *entry);

// Seeks over a file entry's time stamp and packed data (without reading them).
ArchiveResult SkipEntryData(PackageReader *reader, const EntryHeader *entry);
// Seeks over the packed data alone, the time stamp having been read.
ArchiveResult SkipPackedData(PackageReader *reader, const EntryHeader *entry);

// Reads the 8-byte last-write time of a file entry.
ArchiveResult ReadEntryTime(PackageReader *reader, uint64_t *file_time);

// Inflates the packed data of a file entry (the reader positioned after its time stamp)
// and hands each output block to sink; the stream must end exactly where the packed data
// ends. Its two blocks come from one AllocateOrWarn call at the reader's first file and
// serve every later file. sink returns 0 to go on, a positive number to stop
// (kArchiveCancelled), a negative one when it could not write (kArchiveWriteFailed).
typedef int (*BlockSink)(void *context, const unsigned char *data, uint32_t size,
                         uint64_t total_written);
ArchiveResult InflateEntryData(PackageReader *reader, const EntryHeader *entry, BlockSink sink,
                               void *sink_context);

// One output file's calls, shared by the walk and the installer's writer thread. Both
// return 0, or -1 with errno set by the failing call: WriteOutputBlock writes size bytes;
// CloseOutputFile ends a file whose bytes are all written (flush, the stored last-write
// time restored through the open file, close; a time that cannot be set is not a failure)
// and closes it also when the flush fails.
int WriteOutputBlock(FILE *output, const unsigned char *data, uint32_t size);
int CloseOutputFile(FILE *output, uint64_t file_time);

// Unpacks one file entry, the reader positioned at its time stamp, into path; restores the
// last-write time. A partly written file stays on failure.
ArchiveResult ExtractFile(PackageReader *reader, const EntryHeader *entry, const char *path,
                          const ExtractObserver *observer);

// Walks the whole archive from the reader's position, unpacking into folder: every entry
// in kFullMode; in kPreviewMode only top-level files whose names contain "insttscr.rct",
// "install.env" or ".txt", stopping at the first nested folder entry. kArchiveOk when the
// walk ended normally.
ArchiveResult ExtractEntries(PackageReader *reader, const char *folder, ExtractMode mode,
                             const ExtractObserver *observer);

// Unpacks the top-level files whose names wanted accepts into folder, walking as the
// preview does (up to the first nested folder entry, where every top-level file lies
// before). The installer takes the uninstaller's own files this way.
ArchiveResult ExtractTopLevelFiles(PackageReader *reader, const char *folder,
                                   bool (*wanted)(const char *name),
                                   const ExtractObserver *observer);

// Reads the first top-level file whose name wanted accepts into a new block from
// AllocateOrWarn (*size bytes and a terminator), walking as the preview does (up to the
// first nested folder entry). kArchiveOk with the block, kArchiveEnd when there is no such
// file or it is larger than limit bytes, or the walk's error; release the block with
// ReleaseBlock.
ArchiveResult ReadTopLevelFile(PackageReader *reader, bool (*wanted)(const char *name),
                               uint32_t limit, char **data, uint32_t *size);

// Walks the entry headers from the reader's position to the end marker without inflating
// anything, and sets *total to the bytes the files add on disk: for each file
// SpaceGrowth of its unpacked size over what existing (when not null) says a file of its
// name already takes at the destination, which the extraction replaces. The reader is
// left at the end marker; reopen it to extract. kArchiveDamaged as the walk would be.
enum { kClusterEstimate = 4096 };
typedef uint64_t (*ExistingSize)(void *context, const char *name);
ArchiveResult SumUnpackedSizes(PackageReader *reader, uint64_t *total, ExistingSize existing,
                               void *context);
// What a file of unpacked bytes adds on disk where a file of existing bytes is replaced:
// both rounded up to kClusterEstimate, the allocation unit of a common file system, and
// never below 0.
uint64_t SpaceGrowth(uint64_t unpacked, uint64_t existing);

// "folder\\name" into out; -1 when it would exceed 259 characters.
int JoinEntryPath(const char *folder, const char *name, char *out, int size);

// True for a file that PreviewMode unpacks.
bool IsPreviewFile(const char *name);

#endif
