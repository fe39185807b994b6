#include "tools/fernpack/pack.h"

#include <dirent.h>
#include <errno.h>
#include <libdeflate.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "archive/entry_name.h"
#include "archive/package_format.h"
#include "support/file_io.h"
#include "tools/fernpack/sjis_names.h"

namespace {

// Files up to this size are compressed in memory with libdeflate; larger ones are
// streamed through zlib into a spill file, so memory stays bounded.
const uint64_t kInMemoryLimit = 256ull << 20;

// At most this many compressed entries wait for the writer at once.
const size_t kMaxPendingEntries = 64;
const uint64_t kMaxPendingBytes = 768ull << 20;

std::string Describe(const std::string &what, const std::string &path) {
  return what + ": " + path + (errno != 0 ? std::string(" (") + strerror(errno) + ")" : "");
}

bool CollectLevel(const std::string &host_dir, const std::string &relative_dir,
                  std::vector<PackItem> *items, std::string *error) {
  DIR *dir = opendir(host_dir.c_str());
  if (dir == nullptr) {
    *error = Describe("cannot read folder", host_dir);
    return false;
  }
  std::vector<std::string> names;
  while (struct dirent *d = readdir(dir)) {
    if (strcmp(d->d_name, ".") == 0 || strcmp(d->d_name, "..") == 0) continue;
    names.push_back(d->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());

  std::vector<PackItem> files;
  std::vector<PackItem> folders;
  for (const std::string &base : names) {
    PackItem item;
    item.source = host_dir + "/" + base;
    item.relative = relative_dir.empty() ? base : relative_dir + "/" + base;
    struct stat st;
    errno = 0;
    if (stat(item.source.c_str(), &st) != 0) {
      *error = Describe("cannot read", item.source);
      return false;
    }
    item.is_folder = S_ISDIR(st.st_mode);
    if (!item.is_folder && !S_ISREG(st.st_mode)) {
      errno = 0;
      *error = Describe("not a regular file or folder", item.source);
      return false;
    }
    errno = 0;
    if (!HostPathToEntryName(item.relative, &item.name)) {
      *error = Describe("name cannot be written in Shift-JIS", item.relative);
      return false;
    }
    if (item.is_folder) item.name += '\\';
    NameCheck check = CheckEntryName(item.name.c_str(), item.is_folder);
    if (check != kNameOk) {
      *error = Describe(std::string("name refused: ") + DescribeNameCheck(check), item.relative);
      return false;
    }
    if (!item.is_folder) {
      item.size = (uint64_t)st.st_size;
      if (item.size >= kMaxFileSize) {
        *error = Describe("file of 4 GiB or more cannot be stored", item.source);
        return false;
      }
      item.file_time = UnixToFileTime((int64_t)st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
      FILE *probe = fopen(item.source.c_str(), "rb");
      if (probe == nullptr) {
        *error = Describe("cannot read", item.source);
        return false;
      }
      fclose(probe);
      files.push_back(std::move(item));
    } else {
      folders.push_back(std::move(item));
    }
  }
  for (PackItem &f : files) items->push_back(std::move(f));
  for (PackItem &f : folders) {
    std::string host = f.source;
    std::string relative = f.relative;
    items->push_back(std::move(f));
    if (!CollectLevel(host, relative, items, error)) return false;
  }
  return true;
}

// A compressed entry on its way from a worker to the writer.
struct Packed {
  bool done = false;
  std::string error;
  std::vector<unsigned char> data;  // in-memory stream
  FILE *spill = nullptr;            // or a spill file holding the stream
  uint64_t packed_size = 0;
};

// A worker's buffers, kept from file to file: growing them only when a file is larger
// than any before spares the page faults and zero-filling of fresh buffers per file.
struct Scratch {
  std::vector<unsigned char> input;
  std::vector<unsigned char> output;
  struct libdeflate_compressor *compressor = nullptr;  // at the chosen level
  struct libdeflate_compressor *fast = nullptr;        // level 1, for sampling
  struct libdeflate_compressor *store = nullptr;       // level 0: stored blocks
};

void Reserve(std::vector<unsigned char> *buffer, size_t size) {
  if (buffer->size() < size) buffer->resize(size);
}

// Reads the file into scratch->input; its size is item.size (or the generated data's).
bool ReadWholeFile(const PackItem &item, Scratch *scratch, std::string *error) {
  if (item.generated) {
    Reserve(&scratch->input, item.data.size());
    if (!item.data.empty()) memcpy(scratch->input.data(), item.data.data(), item.data.size());
    return true;
  }
  FILE *f = fopen(item.source.c_str(), "rb");
  if (f == nullptr) {
    *error = Describe("cannot read", item.source);
    return false;
  }
  Reserve(&scratch->input, item.size);
  size_t got = item.size ? fread(scratch->input.data(), 1, item.size, f) : 0;
  bool changed = got != item.size || fgetc(f) != EOF;
  fclose(f);
  if (changed) {
    errno = 0;
    *error = Describe("file changed while packing", item.source);
    return false;
  }
  return true;
}

// Inflates the stream with zlib, as the installer will, and compares it with the input.
bool VerifyStream(const unsigned char *input, size_t input_size, const unsigned char *stream,
                  size_t stream_size) {
  z_stream z;
  memset(&z, 0, sizeof z);
  if (inflateInit(&z) != Z_OK) return false;
  unsigned char out[65536];
  z.next_in = const_cast<unsigned char *>(stream);
  z.avail_in = (uInt)stream_size;
  size_t offset = 0;
  int status;
  do {
    z.next_out = out;
    z.avail_out = sizeof out;
    status = inflate(&z, Z_NO_FLUSH);
    size_t n = sizeof out - z.avail_out;
    if (offset + n > input_size || (n > 0 && memcmp(out, input + offset, n) != 0)) {
      status = Z_DATA_ERROR;
      break;
    }
    offset += n;
  } while (status == Z_OK);
  inflateEnd(&z);
  return status == Z_STREAM_END && z.avail_in == 0 && offset == input_size;
}

// Files of at least this size are sampled before they are compressed.
const size_t kSampledFileSize = 256 << 10;
const int kSamples = 8;
const size_t kSampleSize = 8 << 10;

// Already-packed media (compressed sound, video and pictures) does not shrink: searching it
// for matches costs time and gains nothing, and stored blocks are the smallest stream for
// it. True when samples spread over the file do not shrink by even half a percent at the
// fastest level; such a file is stored. The samples are few and small, so a compressible
// file pays well under a millisecond for the test.
bool LooksIncompressible(const unsigned char *input, size_t size,
                         struct libdeflate_compressor *fast) {
  if (size < kSampledFileSize) return false;
  unsigned char packed[kSampleSize + 1024];
  size_t packed_total = 0;
  size_t stride = (size - kSampleSize) / (kSamples - 1);
  for (int i = 0; i < kSamples; i++) {
    size_t n = libdeflate_deflate_compress(fast, input + stride * i, kSampleSize, packed,
                                           sizeof packed);
    packed_total += n == 0 ? kSampleSize : n;
  }
  return packed_total * 1000 >= (size_t)kSamples * kSampleSize * 995;
}

bool CompressInMemory(const PackItem &item, int level, Scratch *scratch, Packed *out) {
  if (!ReadWholeFile(item, scratch, &out->error)) return false;
  size_t size = item.generated ? item.data.size() : (size_t)item.size;
  const unsigned char *input = scratch->input.data();
  struct libdeflate_compressor *compressor = scratch->compressor;
  if (level > 0 && LooksIncompressible(input, size, scratch->fast)) compressor = scratch->store;
  size_t bound = libdeflate_zlib_compress_bound(compressor, size);
  Reserve(&scratch->output, bound);
  size_t n = libdeflate_zlib_compress(compressor, input, size, scratch->output.data(), bound);
  if (n == 0) {
    out->error = "compression failed: " + item.relative;
    return false;
  }
  out->data.assign(scratch->output.data(), scratch->output.data() + n);
  out->packed_size = n;
  if (!VerifyStream(input, size, out->data.data(), n)) {
    out->error = "compressed stream does not inflate to the file (level " +
                 std::to_string(level) + "): " + item.relative;
    return false;
  }
  return true;
}

bool CompressToSpill(const PackItem &item, int level, Packed *out) {
  FILE *in = fopen(item.source.c_str(), "rb");
  if (in == nullptr) {
    out->error = Describe("cannot read", item.source);
    return false;
  }
  out->spill = tmpfile();
  if (out->spill == nullptr) {
    fclose(in);
    out->error = Describe("cannot create a temporary file for", item.source);
    return false;
  }
  z_stream z;
  memset(&z, 0, sizeof z);
  deflateInit(&z, level > 9 ? 9 : level);
  std::vector<unsigned char> inbuf(1 << 20), outbuf(1 << 20);
  uint64_t total_in = 0;
  bool ok = true;
  int flush = Z_NO_FLUSH;
  do {
    size_t got = fread(inbuf.data(), 1, inbuf.size(), in);
    total_in += got;
    flush = feof(in) || ferror(in) ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = inbuf.data();
    z.avail_in = (uInt)got;
    do {
      z.next_out = outbuf.data();
      z.avail_out = (uInt)outbuf.size();
      deflate(&z, flush);
      size_t n = outbuf.size() - z.avail_out;
      if (fwrite(outbuf.data(), 1, n, out->spill) != n) ok = false;
      out->packed_size += n;
    } while (z.avail_out == 0);
  } while (flush != Z_FINISH && ok);
  deflateEnd(&z);
  fclose(in);
  if (!ok || total_in != item.size) {
    out->error = Describe("cannot pack", item.source);
    return false;
  }
  if (out->packed_size > 0xFFFFFFFFull) {
    out->error = "compressed file too large: " + item.relative;
    return false;
  }
  rewind(out->spill);
  return true;
}

// Shared by the workers and the writer; guarded by mutex.
struct Pipeline {
  const std::vector<PackItem> *items;
  int level;
  std::vector<Packed> results;
  size_t next_to_take = 0;
  size_t next_to_write = 0;
  uint64_t pending_bytes = 0;
  bool abort = false;
  std::mutex mutex;
  std::condition_variable changed;
};

void Worker(Pipeline *pipe) {
  Scratch scratch;
  scratch.compressor = libdeflate_alloc_compressor(pipe->level);
  scratch.fast = libdeflate_alloc_compressor(1);
  scratch.store = libdeflate_alloc_compressor(0);
  for (;;) {
    size_t index;
    {
      std::unique_lock<std::mutex> lock(pipe->mutex);
      pipe->changed.wait(lock, [&] {
        return pipe->abort || pipe->next_to_take >= pipe->items->size() ||
               (pipe->next_to_take < pipe->next_to_write + kMaxPendingEntries &&
                (pipe->pending_bytes < kMaxPendingBytes ||
                 pipe->next_to_take == pipe->next_to_write));
      });
      if (pipe->abort || pipe->next_to_take >= pipe->items->size()) break;
      index = pipe->next_to_take++;
    }
    const PackItem &item = (*pipe->items)[index];
    Packed packed;
    bool ok = true;
    if (!item.is_folder) {
      ok = scratch.compressor == nullptr || scratch.fast == nullptr || scratch.store == nullptr
               ? (packed.error = "cannot set up compression", false)
           : (item.generated || item.size <= kInMemoryLimit)
               ? CompressInMemory(item, pipe->level, &scratch, &packed)
               : CompressToSpill(item, pipe->level, &packed);
    }
    (void)ok;
    {
      std::lock_guard<std::mutex> lock(pipe->mutex);
      packed.done = true;
      pipe->pending_bytes += packed.data.size();
      pipe->results[index] = std::move(packed);
    }
    pipe->changed.notify_all();
  }
  libdeflate_free_compressor(scratch.compressor);
  libdeflate_free_compressor(scratch.fast);
  libdeflate_free_compressor(scratch.store);
}

bool WriteBytes(FILE *out, const void *data, size_t size) {
  return size == 0 || fwrite(data, 1, size, out) == size;
}

bool CopyStream(FILE *from, FILE *to, uint64_t size) {
  std::vector<unsigned char> buffer(1 << 20);
  while (size > 0) {
    size_t n = size < buffer.size() ? (size_t)size : buffer.size();
    if (fread(buffer.data(), 1, n, from) != n || fwrite(buffer.data(), 1, n, to) != n) {
      return false;
    }
    size -= n;
  }
  return true;
}

std::string FindStub(const std::string &requested) {
  if (!requested.empty()) return requested;
  const char *env = getenv("FERNSTALL_STUB");
  if (env != nullptr && *env) return env;
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    self[n] = '\0';
    std::string dir(self);
    dir = dir.substr(0, dir.rfind('/'));
    for (const char *candidate : {"/fernstall.exe", "/../win32/fernstall.exe"}) {
      std::string path = dir + candidate;
      if (access(path.c_str(), R_OK) == 0) return path;
    }
  }
  return "";
}

bool WriteArchive(FILE *out, uint64_t archive_start, const PackOptions &options,
                  const std::vector<PackItem> &items, std::string *error) {
  Pipeline pipe;
  pipe.items = &items;
  pipe.level = options.level;
  pipe.results.resize(items.size());
  int jobs = options.jobs > 0 ? options.jobs : (int)std::thread::hardware_concurrency();
  if (jobs < 1) jobs = 1;
  std::vector<std::thread> workers;
  for (int i = 0; i < jobs; i++) workers.emplace_back(Worker, &pipe);

  bool ok = true;
  for (size_t i = 0; i < items.size() && ok; i++) {
    Packed packed;
    {
      std::unique_lock<std::mutex> lock(pipe.mutex);
      pipe.changed.wait(lock, [&] { return pipe.results[i].done; });
      packed = std::move(pipe.results[i]);
      pipe.pending_bytes -= packed.data.size();
      pipe.next_to_write = i + 1;
    }
    pipe.changed.notify_all();
    const PackItem &item = items[i];
    if (!packed.error.empty()) {
      *error = packed.error;
      ok = false;
      break;
    }
    unsigned char header[kEntryHeaderSize + kFileTimeSize];
    uint16_t name_length = (uint16_t)(item.name.size() + 1);
    WriteLe16(header, name_length);
    ok = WriteBytes(out, header, 2) && WriteBytes(out, item.name.c_str(), name_length);
    WriteLe32(header, item.is_folder ? kFolderMarker : (uint32_t)item.size);
    WriteLe32(header + 4, item.is_folder ? 0 : (uint32_t)packed.packed_size);
    WriteLe64(header + 8, item.file_time);
    ok = ok && WriteBytes(out, header, item.is_folder ? 8 : 16);
    if (!item.is_folder) {
      ok = ok && (packed.spill ? CopyStream(packed.spill, out, packed.packed_size)
                               : WriteBytes(out, packed.data.data(), packed.data.size()));
    }
    if (packed.spill) fclose(packed.spill);
    if (!ok && error->empty()) *error = "cannot write " + options.output;
  }
  {
    std::lock_guard<std::mutex> lock(pipe.mutex);
    pipe.abort = true;
  }
  pipe.changed.notify_all();
  for (std::thread &t : workers) t.join();
  for (Packed &p : pipe.results) {
    if (p.spill) fclose(p.spill);
  }
  if (!ok) return false;

  unsigned char tail[2 + kEndPaddingSize + kTrailerSize] = {0};
  WriteLe32(tail + 2 + kEndPaddingSize, (uint32_t)archive_start);
  if (!WriteBytes(out, tail, sizeof tail)) {
    *error = "cannot write " + options.output;
    return false;
  }
  return true;
}

}  // namespace

uint64_t UnixToFileTime(int64_t seconds, long nanoseconds) {
  return (uint64_t)(seconds * 10000000 + nanoseconds / 100) + kFileTimeUnixEpoch;
}

bool CollectGameFolder(const std::string &folder, std::vector<PackItem> *items,
                       std::string *error) {
  struct stat st;
  errno = 0;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = Describe("not a folder", folder);
    return false;
  }
  items->clear();
  return CollectLevel(folder, "", items, error);
}

bool WritePackage(const PackOptions &options, const std::vector<PackItem> &items,
                  std::string *error) {
  std::string stub_path = FindStub(options.stub);
  if (stub_path.empty()) {
    *error = "no installer stub found: give --stub <fernstall.exe>";
    return false;
  }
  FILE *stub = fopen(stub_path.c_str(), "rb");
  errno = errno;
  if (stub == nullptr) {
    *error = Describe("cannot read the stub", stub_path);
    return false;
  }
  std::string temp = options.output + ".partial-XXXXXX";
  int fd = mkstemp(&temp[0]);
  if (fd < 0) {
    fclose(stub);
    *error = Describe("cannot create the output file", options.output);
    return false;
  }
  FILE *out = fdopen(fd, "wb");
  fseeko(stub, 0, SEEK_END);
  uint64_t stub_size = (uint64_t)ftello(stub);
  rewind(stub);
  bool ok = stub_size < 0xFFFFFFFFull && CopyStream(stub, out, stub_size);
  fclose(stub);
  if (!ok) *error = "cannot copy the stub " + stub_path;
  ok = ok && WriteArchive(out, stub_size, options, items, error);
  if (fflush(out) != 0 || fsync(fileno(out)) != 0) ok = false;
  if (fclose(out) != 0) ok = false;
  if (ok) {
    chmod(temp.c_str(), 0755);
    if (rename(temp.c_str(), options.output.c_str()) != 0) ok = false;
  }
  if (!ok) {
    if (error->empty()) *error = Describe("cannot write", options.output);
    unlink(temp.c_str());
  }
  return ok;
}
