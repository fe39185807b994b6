#include "archive/package_reader.h"

#include <errno.h>
#include <string.h>
#include <zlib.h>

#include "archive/entry_name.h"
#include "archive/signed_package.h"
#include "support/allocate.h"
#include "support/file_io.h"
#include "support/sjis.h"

namespace {

// The zlib version the installer's stream record layout is declared against.
const char kZlibVersion[] = "1.2.3";

ArchiveResult Fail(PackageReader *reader, ArchiveResult result, const char *why) {
  reader->failure = why;
  return result;
}

// Reads exactly size bytes that must lie before the trailer.
bool ReadExact(PackageReader *reader, void *buffer, size_t size) {
  if (reader->position + (int64_t)size > reader->end) return false;
  if (fread(buffer, 1, size, reader->file) != size) return false;
  reader->position += (int64_t)size;
  return true;
}

struct FileSinkContext {
  FILE *output;
  const ExtractObserver *observer;
  PackageReader *reader;
};

// Records why a write failed, for the message (errno of the failing call).
ArchiveResult WriteFailed(PackageReader *reader, const char *path, const char *why) {
  reader->write_error = errno;
  CopyText(reader->failed_path, path, sizeof reader->failed_path);
  return Fail(reader, kArchiveWriteFailed, why);
}

int WriteBlockToFile(void *context, const unsigned char *data, uint32_t size,
                     uint64_t total_written) {
  FileSinkContext *sink = (FileSinkContext *)context;
  if (WriteOutputBlock(sink->output, data, size) != 0) {
    sink->reader->write_error = errno;
    return -1;
  }
  if (sink->observer != nullptr && sink->observer->progress != nullptr &&
      sink->observer->progress(sink->observer->context, total_written,
                               sink->reader->consumed) != 0) {
    return 1;
  }
  return 0;
}

}  // namespace

int WriteOutputBlock(FILE *output, const unsigned char *data, uint32_t size) {
  errno = 0;  // a short write that sets nothing must not inherit an older error
  return size == 0 || fwrite(data, 1, size, output) == size ? 0 : -1;
}

int CloseOutputFile(FILE *output, uint64_t file_time) {
  // The time is restored through the open file once all of it is written, which spares a
  // second open and close per file (under Wine those two cost more than a small file's
  // data). Whether the time could be set is not checked; a write that fails is.
  errno = 0;
  if (fflush(output) != 0) {
    int error = errno;
    fclose(output);
    errno = error;
    return -1;
  }
  SetOpenFileLastWrite(output, file_time);
  errno = 0;
  return fclose(output) == 0 ? 0 : -1;
}

namespace {

// The next top-level file whose name wanted accepts, its header in *entry and the reader
// at its time stamp: the walk of the preview, which passes over top-level folders and the
// files it does not want and ends (kArchiveEnd) at the first nested folder, since every
// top-level file comes before it, or at the end marker.
ArchiveResult NextWantedTopLevelFile(PackageReader *reader, bool (*wanted)(const char *),
                                     EntryHeader *entry) {
  for (;;) {
    ArchiveResult result = ReadEntryHeader(reader, entry);
    if (result != kArchiveOk) return result;
    if (entry->is_folder) {
      const char *separator = FindSeparator(entry->name, true);
      if (separator != nullptr && separator[1] != '\0') return kArchiveEnd;
      continue;
    }
    if (!NameHasFolder(entry->name) && wanted(entry->name)) return kArchiveOk;
    result = SkipEntryData(reader, entry);
    if (result != kArchiveOk) return result;
  }
}

}  // namespace

ArchiveResult OpenPackage(const char *path, PackageReader *reader) {
  memset(reader, 0, sizeof *reader);
  reader->file = FileOpen(path, "rb");
  if (reader->file == nullptr) return Fail(reader, kArchiveDamaged, "cannot open the file");
  unsigned char trailer[kTrailerSize];
  int64_t file_size = -1;
  if (FileSeek(reader->file, 0, SEEK_END) == 0) file_size = FileTell(reader->file);
  if (file_size < (int64_t)kTrailerSize) {
    return Fail(reader, kArchiveDamaged, "file too short for an archive");
  }
  // A signed package keeps its trailer just before the certificate table.
  int64_t trailer_offset =
      (int64_t)PackageDataEnd(reader->file, (uint64_t)file_size) - (int64_t)kTrailerSize;
  // The start from the stub's header when fernpack wrote it there and it points inside the
  // file; else from the trailer.
  unsigned char hint[kStartHintSize];
  int64_t start = -1;
  if (FileSeek(reader->file, kStartHintOffset, SEEK_SET) == 0 &&
      fread(hint, 1, sizeof hint, reader->file) == sizeof hint &&
      memcmp(hint, kStartHintMark, sizeof kStartHintMark) == 0) {
    start = (int64_t)ReadLe32(hint + sizeof kStartHintMark);
    if (start < kDosHeaderSize || start + 2 > trailer_offset) start = -1;
  }
  if (start < 0) {
    if (FileSeek(reader->file, trailer_offset, SEEK_SET) != 0 ||
        fread(trailer, 1, sizeof trailer, reader->file) != sizeof trailer) {
      return Fail(reader, kArchiveDamaged, "cannot read the archive start");
    }
    start = (int64_t)ReadLe32(trailer);
  }
  // The smallest archive is the end marker alone: it must fit before the trailer.
  if (start + 2 > trailer_offset) {
    return Fail(reader, kArchiveDamaged, "archive start points outside the file");
  }
  if (FileSeek(reader->file, start, SEEK_SET) != 0) {
    return Fail(reader, kArchiveDamaged, "cannot seek to the archive start");
  }
  reader->archive_start = start;
  reader->archive_length = trailer_offset - start;
  reader->position = start;
  reader->end = trailer_offset;
  return kArchiveOk;
}

void ClosePackage(PackageReader *reader) {
  if (reader->file != nullptr) fclose(reader->file);
  reader->file = nullptr;
  ReleaseBlock(reader->blocks);
  reader->blocks = nullptr;
}

ArchiveResult ReadEntryHeader(PackageReader *reader, EntryHeader *entry) {
  unsigned char field[4];
  if (!ReadExact(reader, field, 2)) return Fail(reader, kArchiveDamaged, "archive ends early");
  entry->name_length = ReadLe16(field);
  entry->name[0] = '\0';
  if (entry->name_length == 0) return kArchiveEnd;
  if (entry->name_length > kMaxNameSize) {
    return Fail(reader, kArchiveDamaged, "entry name longer than 256 bytes");
  }
  if (!ReadExact(reader, entry->name, entry->name_length)) {
    return Fail(reader, kArchiveDamaged, "archive ends inside an entry name");
  }
  if (entry->name[entry->name_length - 1] != '\0' ||
      strlen(entry->name) != entry->name_length - 1) {
    return Fail(reader, kArchiveDamaged, "entry name not terminated where its length says");
  }
  if (!ReadExact(reader, field, 4)) return Fail(reader, kArchiveDamaged, "archive ends early");
  entry->unpacked_size = ReadLe32(field);
  if (!ReadExact(reader, field, 4)) return Fail(reader, kArchiveDamaged, "archive ends early");
  entry->packed_size = ReadLe32(field);
  entry->is_folder = entry->unpacked_size == kFolderMarker;
  if (CheckEntryName(entry->name, entry->is_folder) != kNameOk) {
    return Fail(reader, kArchiveDamaged, "unsafe entry name");
  }
  reader->consumed += (int64_t)entry->name_length + kEntryHeaderSize;
  return kArchiveOk;
}

namespace {

ArchiveResult SkipBytes(PackageReader *reader, int64_t skip) {
  if (reader->position + skip > reader->end) {
    return Fail(reader, kArchiveDamaged, "entry data runs past the end of the archive");
  }
  if (FileSeek(reader->file, reader->position + skip, SEEK_SET) != 0) {
    return Fail(reader, kArchiveDamaged, "cannot seek over an entry");
  }
  reader->position += skip;
  return kArchiveOk;
}

}  // namespace

ArchiveResult SkipEntryData(PackageReader *reader, const EntryHeader *entry) {
  return SkipBytes(reader, (int64_t)kFileTimeSize + entry->packed_size);
}

ArchiveResult SkipPackedData(PackageReader *reader, const EntryHeader *entry) {
  return SkipBytes(reader, (int64_t)entry->packed_size);
}

ArchiveResult ReadEntryTime(PackageReader *reader, uint64_t *file_time) {
  unsigned char stamp[kFileTimeSize];
  if (!ReadExact(reader, stamp, sizeof stamp)) {
    return Fail(reader, kArchiveDamaged, "archive ends inside a time stamp");
  }
  *file_time = ReadLe64(stamp);
  reader->consumed += kFileTimeSize;
  return kArchiveOk;
}

ArchiveResult InflateEntryData(PackageReader *reader, const EntryHeader *entry, BlockSink sink,
                               void *sink_context) {
  // Both blocks in one allocation, kept for the whole walk. Freed after every file, the C
  // library handed them back to the system and faulted fresh zeroed pages in for the
  // next: glibc at its 128 KiB large-block threshold, and Wine's heap by decommitting the
  // freed space (together a tenth to a sixth of the extraction time on a corpus of a few
  // hundred files).
  if (reader->blocks == nullptr) {
    reader->blocks =
        (unsigned char *)AllocateOrWarn((size_t)kReadBlockSize + (size_t)kOutputBlockSize);
    if (reader->blocks == nullptr) return Fail(reader, kArchiveNoMemory, "out of memory");
  }
  unsigned char *input = reader->blocks;
  unsigned char *output = input + kReadBlockSize;
  z_stream stream;
  memset(&stream, 0, sizeof stream);
  ArchiveResult result = kArchiveOk;
  if (inflateInit_(&stream, kZlibVersion, (int)sizeof(z_stream)) != Z_OK) {
    return Fail(reader, kArchiveDamaged, "zlib cannot be initialised");
  }
  uint32_t remaining = entry->packed_size;
  uint64_t written = 0;
  stream.next_out = output;
  stream.avail_out = (uInt)kOutputBlockSize;
  for (;;) {
    if (stream.avail_in == 0 && remaining > 0) {
      uint32_t request = remaining < (uint32_t)kReadBlockSize ? remaining : (uint32_t)kReadBlockSize;
      if (!ReadExact(reader, input, request)) {
        result = Fail(reader, kArchiveDamaged, "archive ends inside packed data");
        break;
      }
      stream.next_in = input;
      stream.avail_in = request;
      remaining -= request;
      reader->consumed += request;
    }
    int status = inflate(&stream, Z_NO_FLUSH);
    if (status == Z_STREAM_END) {
      // A stream that ends before its packed data is used up would leave the reader inside
      // this entry, taking compressed bytes for the next header.
      if (stream.avail_in != 0 || remaining != 0) {
        result = Fail(reader, kArchiveDamaged, "zlib stream ends before its packed size");
        break;
      }
      uint32_t n = (uint32_t)kOutputBlockSize - stream.avail_out;
      written += n;
      int sunk = sink(sink_context, output, n, written);
      if (sunk != 0) {
        result = sunk > 0 ? Fail(reader, kArchiveCancelled, "cancelled")
                          : Fail(reader, kArchiveWriteFailed, "cannot write the output file");
        break;
      }
      if (inflateEnd(&stream) != Z_OK) result = Fail(reader, kArchiveDamaged, "zlib error");
      return result;
    }
    if (status != Z_OK) {
      result = Fail(reader, kArchiveDamaged, "packed data is damaged");
      break;
    }
    if (stream.avail_out == 0) {
      written += kOutputBlockSize;
      int sunk = sink(sink_context, output, kOutputBlockSize, written);
      if (sunk != 0) {
        result = sunk > 0 ? Fail(reader, kArchiveCancelled, "cancelled")
                          : Fail(reader, kArchiveWriteFailed, "cannot write the output file");
        break;
      }
      stream.next_out = output;
      stream.avail_out = (uInt)kOutputBlockSize;
    }
  }
  inflateEnd(&stream);
  return result;
}

namespace {

struct WriterSinkContext {
  const FileWriter *writer;
  const ExtractObserver *observer;
  PackageReader *reader;
};

int HandBlockToWriter(void *context, const unsigned char *data, uint32_t size,
                      uint64_t total_written) {
  WriterSinkContext *sink = (WriterSinkContext *)context;
  if (size > 0 && sink->writer->write(sink->writer->context, data, size) != 0) return -1;
  if (sink->observer->progress != nullptr &&
      sink->observer->progress(sink->observer->context, total_written,
                               sink->reader->consumed) != 0) {
    return 1;
  }
  return 0;
}

// The writer's failure, whichever file it was, becomes the walk's.
ArchiveResult WriterFailed(PackageReader *reader, const FileWriter *writer) {
  reader->write_error = 0;
  reader->failed_path[0] = '\0';
  writer->failure(writer->context, &reader->write_error, reader->failed_path,
                  (int)sizeof reader->failed_path);
  return Fail(reader, kArchiveWriteFailed, "cannot write the output file");
}

ArchiveResult ExtractThroughWriter(PackageReader *reader, const EntryHeader *entry,
                                   const char *path, uint64_t file_time,
                                   const ExtractObserver *observer) {
  const FileWriter *writer = observer->writer;
  if (writer->open(writer->context, path, file_time) != 0) return WriterFailed(reader, writer);
  if (observer->file_started != nullptr) {
    observer->file_started(observer->context, path, entry->unpacked_size);
  }
  WriterSinkContext sink = {writer, observer, reader};
  ArchiveResult result = InflateEntryData(reader, entry, HandBlockToWriter, &sink);
  if (result == kArchiveWriteFailed) return WriterFailed(reader, writer);
  if (result != kArchiveOk) return result;
  return writer->close(writer->context) == 0 ? kArchiveOk : WriterFailed(reader, writer);
}

}  // namespace

ArchiveResult ExtractFile(PackageReader *reader, const EntryHeader *entry, const char *path,
                          const ExtractObserver *observer) {
  uint64_t file_time = 0;
  ArchiveResult result = ReadEntryTime(reader, &file_time);
  if (result != kArchiveOk) return result;
  if (observer != nullptr && observer->writer != nullptr) {
    return ExtractThroughWriter(reader, entry, path, file_time, observer);
  }
  FILE *output = FileOpen(path, "wb");
  if (output == nullptr) return WriteFailed(reader, path, "cannot create the output file");
  if (observer != nullptr && observer->file_started != nullptr) {
    observer->file_started(observer->context, path, entry->unpacked_size);
  }
  FileSinkContext sink = {output, observer, reader};
  reader->write_error = 0;
  result = InflateEntryData(reader, entry, WriteBlockToFile, &sink);
  if (result == kArchiveWriteFailed) {
    // errno of the failed fwrite, kept by WriteBlockToFile before anything else ran.
    int error = reader->write_error;
    result = WriteFailed(reader, path, "cannot write the output file");
    reader->write_error = error;
  }
  if (result != kArchiveOk) {
    fclose(output);  // the file stays as far as it got
  } else if (CloseOutputFile(output, file_time) != 0) {
    result = WriteFailed(reader, path, "cannot write the output file");
  }
  return result;
}

namespace {

struct MemorySink {
  char *data;
  uint32_t size;  // room in data
};

int CopyBlockToMemory(void *context, const unsigned char *data, uint32_t size,
                      uint64_t total_written) {
  MemorySink *sink = (MemorySink *)context;
  if (total_written > sink->size) return -1;
  memcpy(sink->data + (total_written - size), data, size);
  return 0;
}

}  // namespace

ArchiveResult ReadTopLevelFile(PackageReader *reader, bool (*wanted)(const char *name),
                               uint32_t limit, char **data, uint32_t *size) {
  *data = nullptr;
  *size = 0;
  EntryHeader entry;
  ArchiveResult result = NextWantedTopLevelFile(reader, wanted, &entry);
  if (result != kArchiveOk) return result;
  if (entry.unpacked_size > limit) return kArchiveEnd;
  uint64_t file_time = 0;
  result = ReadEntryTime(reader, &file_time);
  if (result != kArchiveOk) return result;
  MemorySink sink = {(char *)AllocateOrWarn((size_t)entry.unpacked_size + 1),
                     entry.unpacked_size};
  if (sink.data == nullptr) return kArchiveNoMemory;
  memset(sink.data, 0, (size_t)entry.unpacked_size + 1);
  result = InflateEntryData(reader, &entry, CopyBlockToMemory, &sink);
  if (result != kArchiveOk) {
    ReleaseBlock(sink.data);
    return result == kArchiveWriteFailed ? Fail(reader, kArchiveDamaged, "entry larger than its size")
                                         : result;
  }
  sink.data[entry.unpacked_size] = '\0';
  *data = sink.data;
  *size = entry.unpacked_size;
  return kArchiveOk;
}

uint64_t SpaceGrowth(uint64_t unpacked, uint64_t existing) {
  uint64_t needed = (unpacked + kClusterEstimate - 1) / kClusterEstimate * kClusterEstimate;
  uint64_t freed = (existing + kClusterEstimate - 1) / kClusterEstimate * kClusterEstimate;
  return needed > freed ? needed - freed : 0;
}

ArchiveResult SumUnpackedSizes(PackageReader *reader, uint64_t *total, ExistingSize existing,
                               void *context) {
  *total = 0;
  EntryHeader entry;
  for (;;) {
    ArchiveResult result = ReadEntryHeader(reader, &entry);
    if (result == kArchiveEnd) return kArchiveOk;
    if (result != kArchiveOk) return result;
    if (entry.is_folder) continue;
    *total += SpaceGrowth(entry.unpacked_size,
                          existing != nullptr ? existing(context, entry.name) : 0);
    result = SkipEntryData(reader, &entry);
    if (result != kArchiveOk) return result;
  }
}

int JoinEntryPath(const char *folder, const char *name, char *out, int size) {
  size_t folder_length = strlen(folder);
  size_t name_length = strlen(name);
  size_t total = folder_length + 1 + name_length;
  if (total + 1 > (size_t)kPathSize || total + 1 > (size_t)size) return -1;
  memcpy(out, folder, folder_length);
  out[folder_length] = '\\';
  memcpy(out + folder_length + 1, name, name_length + 1);
  return 0;
}

bool IsPreviewFile(const char *name) {
  if (NameHasFolder(name)) return false;
  return NameContains(name, "insttscr.rct") || NameContains(name, "install.env") ||
         NameContains(name, ".txt");
}

namespace {

// The walk of ExtractEntries and ExtractTopLevelFiles: every entry when wanted is null;
// otherwise only the top-level files that wanted accepts, up to the first nested folder.
ArchiveResult WalkEntries(PackageReader *reader, const char *folder, bool (*wanted)(const char *),
                          const ExtractObserver *observer) {
  // Joined paths on the installer are at most 259 characters; fernpack's host paths may be
  // longer, so the buffer is sized for them and the joiner enforces the limit it needs.
  char path[4096];
  EntryHeader entry;
  reader->consumed = 0;
  for (;;) {
    ArchiveResult result = wanted != nullptr ? NextWantedTopLevelFile(reader, wanted, &entry)
                                             : ReadEntryHeader(reader, &entry);
    if (result == kArchiveEnd) return kArchiveOk;
    if (result != kArchiveOk) return result;
    int joined = (observer != nullptr && observer->make_path != nullptr)
                     ? observer->make_path(observer->context, folder, entry.name, path,
                                           (int)sizeof path)
                     : JoinEntryPath(folder, entry.name, path, (int)sizeof path);
    if (joined != 0) return Fail(reader, kArchiveDamaged, "output path too long");
    if (entry.is_folder) {
      // A folder that cannot be made is told as such, with the system's reason: the files
      // inside would fail only for want of it, and an empty folder would be lost unseen.
      if (MakeFolder(path) != 0) return WriteFailed(reader, path, "cannot create the folder");
      continue;
    }
    result = ExtractFile(reader, &entry, path, observer);
    if (result != kArchiveOk) return result;
  }
}

// The walk, with the observer's writer (when it has one) begun before and finished after.
ArchiveResult WalkThroughWriter(PackageReader *reader, const char *folder,
                                bool (*wanted)(const char *), const ExtractObserver *observer) {
  const FileWriter *writer = observer != nullptr ? observer->writer : nullptr;
  if (writer == nullptr) return WalkEntries(reader, folder, wanted, observer);
  ExtractObserver direct = *observer;
  direct.writer = nullptr;
  if (writer->begin(writer->context) != 0) return WalkEntries(reader, folder, wanted, &direct);
  ArchiveResult result = WalkEntries(reader, folder, wanted, observer);
  // The files handed over are all written before the walk's result is told. A failed
  // write came before anything the walk met later, so it is the one told; a Cancel stays
  // a Cancel, whose clean-up then finds every file closed.
  if (writer->finish(writer->context) != 0 && result != kArchiveCancelled) {
    return WriterFailed(reader, writer);
  }
  return result;
}

}  // namespace

ArchiveResult ExtractEntries(PackageReader *reader, const char *folder, ExtractMode mode,
                             const ExtractObserver *observer) {
  return WalkThroughWriter(reader, folder, mode == kPreviewMode ? IsPreviewFile : nullptr,
                           observer);
}

ArchiveResult ExtractTopLevelFiles(PackageReader *reader, const char *folder,
                                   bool (*wanted)(const char *name),
                                   const ExtractObserver *observer) {
  return WalkThroughWriter(reader, folder, wanted, observer);
}
