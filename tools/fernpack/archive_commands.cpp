// fernpack list, extract and verify: the installer's own reader, run on the host.
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <string>

#include "archive/package_reader.h"
#include "support/file_io.h"
#include "tools/fernpack/commands.h"
#include "tools/fernpack/sjis_names.h"

namespace {

std::string FormatFileTime(uint64_t file_time) {
  int64_t ticks = (int64_t)(file_time - kFileTimeUnixEpoch);
  int64_t seconds = ticks / 10000000;
  if (ticks % 10000000 < 0) seconds -= 1;
  time_t t = (time_t)seconds;
  struct tm tm;
  char text[64];
  if (gmtime_r(&t, &tm) == nullptr || strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm) == 0) {
    return "?";
  }
  return text;
}

std::string DisplayName(const char *name) {
  std::string utf8;
  if (EntryNameToHostPath(name, &utf8)) return utf8;
  return std::string(name) + " (not valid Shift-JIS)";
}

int Damaged(const char *command, const char *path, PackageReader &reader,
            const EntryHeader *entry) {
  ClosePackage(&reader);
  fprintf(stderr, "fernpack %s: %s: %s", command, path,
          reader.failure ? reader.failure : "damaged archive");
  if (entry != nullptr && entry->name[0] != '\0') {
    fprintf(stderr, " (entry %s)", DisplayName(entry->name).c_str());
  }
  fprintf(stderr, " at offset %lld\n", (long long)reader.position);
  return 1;
}

int CountingSink(void *context, const unsigned char *, uint32_t, uint64_t total_written) {
  *(uint64_t *)context = total_written;
  return 0;
}


}  // namespace

int RunList(int argc, char **argv) {
  if (argc != 1) {
    fprintf(stderr, "usage: fernpack list <setup.exe>\n");
    return 2;
  }
  PackageReader reader;
  EntryHeader entry;
  entry.name[0] = '\0';
  if (OpenPackage(argv[0], &reader) != kArchiveOk) return Damaged("list", argv[0], reader, nullptr);
  for (;;) {
    ArchiveResult r = ReadEntryHeader(&reader, &entry);
    if (r == kArchiveEnd) break;
    if (r != kArchiveOk) {
      return Damaged("list", argv[0], reader, &entry);
    }
    if (entry.is_folder) {
      printf("%s\tfolder\t-\t-\t-\n", DisplayName(entry.name).c_str());
      continue;
    }
    uint64_t file_time = 0;
    if (ReadEntryTime(&reader, &file_time) != kArchiveOk ||
        SkipPackedData(&reader, &entry) != kArchiveOk) {
      return Damaged("list", argv[0], reader, &entry);
    }
    printf("%s\tfile\t%u\t%u\t%s\n", DisplayName(entry.name).c_str(), entry.unpacked_size,
           entry.packed_size, FormatFileTime(file_time).c_str());
  }
  ClosePackage(&reader);
  return 0;
}

int RunExtract(int argc, char **argv) {
  bool preview = argc == 3 && strcmp(argv[0], "--preview") == 0;
  if (preview) {
    argc--;
    argv++;
  }
  if (argc != 2) {
    fprintf(stderr, "usage: fernpack extract [--preview] <setup.exe> <dir>\n");
    return 2;
  }
  if (MakeFolder(argv[1]) != 0) {
    fprintf(stderr, "fernpack extract: cannot create folder %s\n", argv[1]);
    return 1;
  }
  PackageReader reader;
  if (OpenPackage(argv[0], &reader) != kArchiveOk) {
    return Damaged("extract", argv[0], reader, nullptr);
  }
  ExtractObserver observer = {nullptr, JoinHostEntryPath, nullptr, nullptr};
  ArchiveResult r =
      ExtractEntries(&reader, argv[1], preview ? kPreviewMode : kFullMode, &observer);
  if (r != kArchiveOk) return Damaged("extract", argv[0], reader, nullptr);
  ClosePackage(&reader);
  return 0;
}

int RunVerify(int argc, char **argv) {
  if (argc != 1) {
    fprintf(stderr, "usage: fernpack verify <setup.exe>\n");
    return 2;
  }
  PackageReader reader;
  EntryHeader entry;
  entry.name[0] = '\0';
  if (OpenPackage(argv[0], &reader) != kArchiveOk) {
    return Damaged("verify", argv[0], reader, nullptr);
  }
  size_t files = 0, folders = 0;
  for (;;) {
    ArchiveResult r = ReadEntryHeader(&reader, &entry);
    if (r == kArchiveEnd) break;
    uint64_t file_time = 0, written = 0;
    if (r == kArchiveOk && !entry.is_folder) {
      r = ReadEntryTime(&reader, &file_time);
      if (r == kArchiveOk) r = InflateEntryData(&reader, &entry, CountingSink, &written);
      if (r == kArchiveOk && written != entry.unpacked_size) {
        reader.failure = "inflates to a size other than the stored one";
        r = kArchiveDamaged;
      }
    }
    if (r != kArchiveOk) {
      return Damaged("verify", argv[0], reader, &entry);
    }
    (entry.is_folder ? folders : files)++;
  }
  // After the end marker only the two padding bytes may stand before the trailer.
  if (reader.end - reader.position != kEndPaddingSize) {
    reader.failure = "unexpected bytes between the end marker and the archive start";
    return Damaged("verify", argv[0], reader, nullptr);
  }
  ClosePackage(&reader);
  printf("%s: sound package, %zu files, %zu folders\n", argv[0], files, folders);
  return 0;
}
