// The extraction benchmark's measurements, shared by the native program
// (extract_bench.cpp) and its Windows build (win32/extract_bench_win32.cpp); each of those
// supplies only the observer and the path joiner of its platform.
//
// Three timed loops over the same package, made side by side and repeated, the best run of
// each kept:
//   core     ExtractEntries in FullMode: reads the package, inflates, creates folders and
//            files, writes them and restores their times; the code the installer runs.
//   inflate  the same packed streams read from the same file in 131072-byte blocks and
//            inflated with the same zlib into one memory block; nothing written.
//   write    the already-inflated bytes written to the same files in 131072-byte blocks
//            (folders created as they come); nothing inflated.
// The core's overhead is core / (inflate + write) - 1: what block handling, progress,
// names and time stamps cost beyond the two operations it cannot avoid.
#ifndef FERN_BENCH_EXTRACT_BENCH_LOOPS_H
#define FERN_BENCH_EXTRACT_BENCH_LOOPS_H

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/package_reader.h"
#include "support/file_io.h"

namespace bench {

typedef std::chrono::steady_clock Clock;

inline double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// One entry of the package, found before anything is timed.
struct Entry {
  std::string path;              // output path on this platform
  bool is_folder = false;
  int64_t data_offset = 0;       // file offset of the packed data
  uint32_t packed_size = 0;
  std::vector<unsigned char> content;  // the inflated file, for the write loop
};

struct Corpus {
  std::vector<Entry> entries;
  uint64_t unpacked_bytes = 0;
  uint64_t packed_bytes = 0;
  size_t files = 0;
};

typedef int (*PathJoiner)(void *context, const char *folder, const char *name, char *out,
                          int size);

inline int CollectSink(void *context, const unsigned char *data, uint32_t size, uint64_t) {
  std::vector<unsigned char> *content = (std::vector<unsigned char> *)context;
  content->insert(content->end(), data, data + size);
  return 0;
}

// Walks the package once with the reader, noting where each stream lies and keeping its
// inflated bytes. False with a message on damage.
inline bool LoadCorpus(const char *package, const char *folder, PathJoiner join,
                       Corpus *corpus) {
  PackageReader reader;
  if (OpenPackage(package, &reader) != kArchiveOk) {
    fprintf(stderr, "extract_bench: %s: %s\n", package, reader.failure);
    return false;
  }
  EntryHeader header;
  char path[4096];
  for (;;) {
    ArchiveResult result = ReadEntryHeader(&reader, &header);
    if (result == kArchiveEnd) break;
    uint64_t file_time;
    Entry entry;
    if (result == kArchiveOk && join(nullptr, folder, header.name, path, (int)sizeof path) != 0) {
      reader.failure = "path too long";
      result = kArchiveDamaged;
    }
    if (result == kArchiveOk) {
      entry.path = path;
      entry.is_folder = header.is_folder;
      if (!header.is_folder) {
        result = ReadEntryTime(&reader, &file_time);
        entry.data_offset = reader.position;
        entry.packed_size = header.packed_size;
        entry.content.reserve(header.unpacked_size);
        if (result == kArchiveOk) {
          result = InflateEntryData(&reader, &header, CollectSink, &entry.content);
        }
      }
    }
    if (result != kArchiveOk) {
      fprintf(stderr, "extract_bench: %s: %s\n", package, reader.failure);
      ClosePackage(&reader);
      return false;
    }
    if (!entry.is_folder) {
      corpus->files++;
      corpus->unpacked_bytes += entry.content.size();
      corpus->packed_bytes += entry.packed_size;
    }
    corpus->entries.push_back(std::move(entry));
  }
  ClosePackage(&reader);
  return true;
}

inline void ClearFolder(const std::string &folder) {
  std::error_code error;
  std::filesystem::remove_all(std::filesystem::u8path(folder), error);
  MakeFolder(folder.c_str());
}

// The core: what the installer's FullMode runs, with this platform's observer.
inline double TimeCore(const char *package, const char *folder, const ExtractObserver *observer) {
  Clock::time_point start = Clock::now();
  PackageReader reader;
  ArchiveResult result = OpenPackage(package, &reader);
  if (result == kArchiveOk) result = ExtractEntries(&reader, folder, kFullMode, observer);
  ClosePackage(&reader);
  double t = Seconds(start);
  if (result != kArchiveOk) {
    fprintf(stderr, "extract_bench: extraction failed: %s\n", reader.failure);
    exit(1);
  }
  return t;
}

// Inflates one entry's stream from the package, bare, handing each output block to
// on_block(data, size); returns zlib's last status.
template <typename OnBlock>
inline int InflateBare(FILE *file, const Entry &e, std::vector<unsigned char> &input,
                       std::vector<unsigned char> &output, OnBlock on_block) {
  FileSeek(file, e.data_offset, SEEK_SET);
  z_stream z;
  memset(&z, 0, sizeof z);
  inflateInit(&z);
  uint32_t remaining = e.packed_size;
  int status = Z_OK;
  while (status == Z_OK) {
    if (z.avail_in == 0 && remaining > 0) {
      uint32_t n = remaining < (uint32_t)kArchiveBlockSize ? remaining : (uint32_t)kArchiveBlockSize;
      if (fread(input.data(), 1, n, file) != n) exit(1);
      z.next_in = input.data();
      z.avail_in = n;
      remaining -= n;
    }
    z.next_out = output.data();
    z.avail_out = kArchiveBlockSize;
    status = inflate(&z, Z_NO_FLUSH);
    on_block(output.data(), (size_t)(kArchiveBlockSize - z.avail_out));
  }
  inflateEnd(&z);
  return status;
}

// Inflate only: the same streams, the same block size, the same zlib, into memory.
inline double TimeInflate(const char *package, const Corpus &corpus) {
  std::vector<unsigned char> input(kArchiveBlockSize), output(kArchiveBlockSize);
  Clock::time_point start = Clock::now();
  FILE *file = fopen(package, "rb");
  if (file == nullptr) exit(1);
  uint64_t produced = 0;
  for (const Entry &e : corpus.entries) {
    if (e.is_folder) continue;
    int status = InflateBare(file, e, input, output,
                             [&](const unsigned char *, size_t n) { produced += n; });
    if (status != Z_STREAM_END) exit(1);
  }
  fclose(file);
  double t = Seconds(start);
  if (produced != corpus.unpacked_bytes) exit(1);
  return t;
}

// Inflate and write fused, bare: each stream inflated straight into its file with none of
// the core's names, checks, progress or times. Not part of the ratio; it shows how much of
// the gap between the core and inflate + write comes from doing both in one pass.
inline double TimeFused(const char *package, const Corpus &corpus) {
  std::vector<unsigned char> input(kArchiveBlockSize), output(kArchiveBlockSize);
  Clock::time_point start = Clock::now();
  FILE *file = fopen(package, "rb");
  if (file == nullptr) exit(1);
  for (const Entry &e : corpus.entries) {
    if (e.is_folder) {
      MakeFolder(e.path.c_str());
      continue;
    }
    FILE *out = fopen(e.path.c_str(), "wb");
    if (out == nullptr) exit(1);
    int status = InflateBare(file, e, input, output, [&](const unsigned char *data, size_t n) {
      if (n > 0 && fwrite(data, 1, n, out) != n) exit(1);
    });
    fclose(out);
    if (status != Z_STREAM_END) exit(1);
  }
  fclose(file);
  return Seconds(start);
}

// Write only: the inflated bytes to the same files, block by block.
inline double TimeWrite(const Corpus &corpus) {
  Clock::time_point start = Clock::now();
  for (const Entry &e : corpus.entries) {
    if (e.is_folder) {
      MakeFolder(e.path.c_str());
      continue;
    }
    FILE *out = fopen(e.path.c_str(), "wb");
    if (out == nullptr) {
      fprintf(stderr, "extract_bench: cannot write %s\n", e.path.c_str());
      exit(1);
    }
    size_t done = 0;
    while (done < e.content.size()) {
      size_t n = e.content.size() - done;
      if (n > (size_t)kArchiveBlockSize) n = kArchiveBlockSize;
      if (fwrite(e.content.data() + done, 1, n, out) != n) exit(1);
      done += n;
    }
    fclose(out);
  }
  return Seconds(start);
}

// Runs the three loops side by side `rounds` times and prints the best of each and the
// ratio, then one line for scripts: "RESULT label core inflate write ratio MB fused files". With
// only ("core", "inflate", "write" or "fused") it runs that loop alone, for a profiler.
inline int Run(const char *label, const char *package, const char *folder, int rounds,
               const char *only, PathJoiner join, const ExtractObserver *observer) {
  Corpus corpus;
  if (only != nullptr && strcmp(only, "core") == 0) {
    for (int round = 0; round < rounds; round++) {
      ClearFolder(folder);
      printf("core %.3f s\n", TimeCore(package, folder, observer));
    }
    return 0;
  }
  if (!LoadCorpus(package, folder, join, &corpus)) return 1;
  if (only != nullptr) {
    for (int round = 0; round < rounds; round++) {
      ClearFolder(folder);
      double t = strcmp(only, "inflate") == 0 ? TimeInflate(package, corpus)
                 : strcmp(only, "fused") == 0 ? TimeFused(package, corpus)
                                              : TimeWrite(corpus);
      printf("%s %.3f s\n", only, t);
    }
    return 0;
  }
  double core = 1e9, inflate_only = 1e9, write_only = 1e9, fused = 1e9;
  for (int round = 0; round < rounds; round++) {
    ClearFolder(folder);
    double t = TimeCore(package, folder, observer);
    if (t < core) core = t;
    t = TimeInflate(package, corpus);
    if (t < inflate_only) inflate_only = t;
    ClearFolder(folder);
    t = TimeWrite(corpus);
    if (t < write_only) write_only = t;
    ClearFolder(folder);
    t = TimeFused(package, corpus);
    if (t < fused) fused = t;
  }
  ClearFolder(folder);
  double mb = (double)corpus.unpacked_bytes / 1e6;
  printf("%s: %zu files, %.1f MB unpacked, %.1f MB packed, best of %d\n", label, corpus.files, mb,
         (double)corpus.packed_bytes / 1e6, rounds);
  printf("  core     %8.3f s %8.1f MB/s\n", core, mb / core);
  printf("  inflate  %8.3f s %8.1f MB/s\n", inflate_only, mb / inflate_only);
  printf("  write    %8.3f s %8.1f MB/s\n", write_only, mb / write_only);
  printf("  fused    %8.3f s %8.1f MB/s (bare inflate into files, for comparison)\n", fused,
         mb / fused);
  printf("  core / (inflate + write) = %.3f, core / fused = %.3f\n",
         core / (inflate_only + write_only), core / fused);
  printf("RESULT %s %.4f %.4f %.4f %.4f %.1f %.4f %zu\n", label, core, inflate_only,
         write_only, core / (inflate_only + write_only), mb, fused, corpus.files);
  return 0;
}

}  // namespace bench

#endif
