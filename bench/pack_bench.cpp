// Packing: `fernpack pack` (default and --best) against single-threaded zlib level 9 of
// the same entries, in time and in total packed size. A benchmark, not a test.
//
//   pack_bench <fernpack> <stub> <game-folder> <work-folder> [rounds] [--levels]
//
// The zlib side compresses exactly what fernpack stores: the entries that fernpack's own
// collection and review produce (the menu picture converted), read from the folder and
// deflated one after the other. fernpack runs as a publisher runs it, as a process, and
// its sizes are the packed sizes read back from the package. Each time is the best of
// `rounds` runs made in turn; --best runs once. --levels adds libdeflate's levels on one
// core, for choosing the default.
#include <libdeflate.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <chrono>
#include <string>
#include <vector>

#include "archive/package_reader.h"
#include "tools/fernpack/pack.h"

namespace {

typedef std::chrono::steady_clock Clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

bool ReadItem(const PackItem &item, std::vector<unsigned char> *data) {
  if (item.generated) {
    *data = item.data;
    return true;
  }
  FILE *f = fopen(item.source.c_str(), "rb");
  if (f == nullptr) return false;
  data->resize(item.size);
  size_t got = item.size ? fread(data->data(), 1, item.size, f) : 0;
  fclose(f);
  return got == item.size;
}

// zlib level 9, one file after the other on one thread; the total of the stream sizes.
uint64_t PackWithZlib(const std::vector<PackItem> &items) {
  uint64_t total = 0;
  std::vector<unsigned char> input, output;
  for (const PackItem &item : items) {
    if (item.is_folder) continue;
    if (!ReadItem(item, &input)) {
      fprintf(stderr, "pack_bench: cannot read %s\n", item.relative.c_str());
      exit(1);
    }
    uLongf size = compressBound((uLong)input.size());
    output.resize(size);
    if (compress2(output.data(), &size, input.data(), (uLong)input.size(), 9) != Z_OK) exit(1);
    total += size;
  }
  return total;
}

// libdeflate at one level on one thread (no verification): time and total size.
uint64_t PackWithLibdeflate(const std::vector<PackItem> &items, int level) {
  uint64_t total = 0;
  std::vector<unsigned char> input, output;
  struct libdeflate_compressor *c = libdeflate_alloc_compressor(level);
  for (const PackItem &item : items) {
    if (item.is_folder || !ReadItem(item, &input)) continue;
    output.resize(libdeflate_zlib_compress_bound(c, input.size()));
    total += libdeflate_zlib_compress(c, input.data(), input.size(), output.data(), output.size());
  }
  libdeflate_free_compressor(c);
  return total;
}

// Total packed size of the file entries of a package, read back with the reader.
uint64_t PackedBytes(const std::string &package) {
  PackageReader reader;
  if (OpenPackage(package.c_str(), &reader) != kArchiveOk) {
    ClosePackage(&reader);
    return 0;
  }
  EntryHeader entry;
  uint64_t total = 0;
  while (ReadEntryHeader(&reader, &entry) == kArchiveOk) {
    if (entry.is_folder) continue;
    total += entry.packed_size;
    if (SkipEntryData(&reader, &entry) != kArchiveOk) break;
  }
  ClosePackage(&reader);
  return total;
}

double RunFernpack(const std::string &command) {
  Clock::time_point start = Clock::now();
  if (system(command.c_str()) != 0) {
    fprintf(stderr, "pack_bench: failed: %s\n", command.c_str());
    exit(1);
  }
  return Seconds(start);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: pack_bench <fernpack> <stub> <game-folder> <work-folder> [rounds] "
                    "[--levels]\n");
    return 2;
  }
  std::string fernpack = argv[1], stub = argv[2], folder = argv[3], work = argv[4];
  int rounds = argc > 5 ? atoi(argv[5]) : 3;
  if (rounds < 1) rounds = 1;
  bool levels = argc > 6 && strcmp(argv[6], "--levels") == 0;

  std::vector<PackItem> items;
  std::string error;
  PackOptions options;
  if (!CollectGameFolder(folder, &items, &error) || !ReviewGameFolder(options, &items, &error)) {
    fprintf(stderr, "pack_bench: %s\n", error.c_str());
    return 1;
  }
  uint64_t unpacked = 0;
  for (const PackItem &item : items) unpacked += item.generated ? item.data.size() : item.size;
  double mb = (double)unpacked / 1e6;

  std::string base = "'" + fernpack + "' pack '" + folder + "' --stub '" + stub + "' --quiet -o '" +
                     work + "/";
  double zlib_time = 1e9, default_time = 1e9;
  uint64_t zlib_size = 0;
  for (int round = 0; round < rounds; round++) {
    Clock::time_point start = Clock::now();
    zlib_size = PackWithZlib(items);
    double t = Seconds(start);
    if (t < zlib_time) zlib_time = t;
    t = RunFernpack(base + "default.exe'");
    if (t < default_time) default_time = t;
  }
  double best_time = RunFernpack(base + "best.exe' --best");
  uint64_t default_size = PackedBytes(work + "/default.exe");
  uint64_t best_size = PackedBytes(work + "/best.exe");
  if (default_size == 0 || best_size == 0) {
    fprintf(stderr, "pack_bench: cannot read the packages back\n");
    return 1;
  }

  printf("packing %.1f MB, best of %d (--best: one run)\n", mb, rounds);
  printf("  %-22s %8.2f s %7.1f MB/s %12llu bytes\n", "zlib 9, one thread", zlib_time,
         mb / zlib_time, (unsigned long long)zlib_size);
  printf("  %-22s %8.2f s %7.1f MB/s %12llu bytes  speed x%.2f size %.4f\n", "fernpack pack",
         default_time, mb / default_time, (unsigned long long)default_size,
         zlib_time / default_time, (double)default_size / zlib_size);
  printf("  %-22s %8.2f s %7.1f MB/s %12llu bytes  speed x%.2f size %.4f\n",
         "fernpack pack --best", best_time, mb / best_time, (unsigned long long)best_size,
         zlib_time / best_time, (double)best_size / zlib_size);
  printf("RESULT pack %.4f %.4f %.4f %llu %llu %llu %.1f\n", zlib_time, default_time, best_time,
         (unsigned long long)zlib_size, (unsigned long long)default_size,
         (unsigned long long)best_size, mb);

  if (levels) {
    printf("libdeflate on one thread, no verification:\n");
    for (int level = 1; level <= 12; level++) {
      Clock::time_point start = Clock::now();
      uint64_t size = PackWithLibdeflate(items, level);
      double t = Seconds(start);
      printf("  level %2d %8.2f s %7.1f MB/s %12llu bytes  size %.4f of zlib 9\n", level, t,
             mb / t, (unsigned long long)size, (double)size / zlib_size);
    }
  }
  return 0;
}
