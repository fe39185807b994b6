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

#include <limits.h>
#include <time.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "archive/entry_name.h"
#include "archive/package_format.h"
#include "support/file_io.h"
#include "tools/fernpack/progress_line.h"
#include "tools/fernpack/sjis_names.h"
#include "tools/fernpack/stub_image.h"

namespace {

// At most this many compressed entries wait for the writer at once.
const size_t kMaxPendingEntries = 64;
const uint64_t kMaxPendingBytes = 768ull << 20;

std::string Describe(const std::string &what, const std::string &path) {
  return what + ": " + path + (errno != 0 ? std::string(" (") + strerror(errno) + ")" : "");
}

// What the walk over the game folder keeps from level to level.
struct CollectState {
  std::string root_real;                        // real path of the game folder
  std::vector<FileIdentity> open_folders;       // the folders being walked, outermost first
  std::vector<std::string> open_relatives;      // their relative paths ("" for the root)
  std::map<std::string, std::string> by_key;    // WindowsNameKey -> relative path
};

bool Inside(const std::string &real, const std::string &root) {
  return real == root || real.compare(0, root.size() + 1, root + "/") == 0;
}

// Follows a symbolic link: refused when it dangles or leads outside the game folder.
bool CheckLink(const CollectState &state, const PackItem &item, std::string *error) {
  char target[PATH_MAX];
  ssize_t n = readlink(item.source.c_str(), target, sizeof target - 1);
  std::string shown = n > 0 ? std::string(target, (size_t)n) : "?";
  char real[PATH_MAX];
  errno = 0;
  if (realpath(item.source.c_str(), real) == nullptr) {
    *error = Describe("symbolic link " + item.relative + " -> " + shown +
                          " leads nowhere; fix the link or remove it",
                      item.source);
    return false;
  }
  if (!Inside(real, state.root_real)) {
    *error = "symbolic link " + item.relative + " -> " + shown +
             " leads outside the game folder: copy what it points to into the game "
             "folder, or remove the link";
    return false;
  }
  return true;
}

bool CollectLevel(CollectState *state, const std::string &host_dir,
                  const std::string &relative_dir, const std::string &name_dir,
                  std::vector<PackItem> *items, std::string *error) {
  errno = 0;
  DIR *dir = opendir(host_dir.c_str());
  if (dir == nullptr) {
    *error = Describe("cannot read the folder " + (relative_dir.empty() ? "." : relative_dir) +
                          "; give fernpack read access to it",
                      host_dir);
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
    if (lstat(item.source.c_str(), &st) != 0) {
      *error = Describe("cannot read " + item.relative, item.source);
      return false;
    }
    if (S_ISLNK(st.st_mode) && !CheckLink(*state, item, error)) return false;
    errno = 0;
    if (stat(item.source.c_str(), &st) != 0) {
      *error = Describe("cannot read " + item.relative, item.source);
      return false;
    }
    item.is_folder = S_ISDIR(st.st_mode);
    item.identity.device = st.st_dev;
    item.identity.inode = st.st_ino;
    if (!item.is_folder && !S_ISREG(st.st_mode)) {
      *error = item.relative + " is a device, FIFO or socket, not a file: a package holds "
               "only files and folders; remove it from the game folder";
      return false;
    }
    std::string component, why;
    if (!ConvertNameComponent(base, &component, &why)) {
      *error = "name refused: " + item.relative + ": " + why;
      return false;
    }
    item.name = name_dir + component + (item.is_folder ? "\\" : "");
    NameCheck check = CheckEntryName(item.name.c_str(), item.is_folder);
    if (check != kNameOk) {
      *error = "name refused: " + item.relative + ": " + DescribeNameCheck(check) +
               (check == kNameTooLong ? ": shorten the name or its folders"
                                      : ": Windows cannot create it; rename it");
      return false;
    }
    std::string key;
    std::string bare = item.is_folder ? item.name.substr(0, item.name.size() - 1) : item.name;
    if (!WindowsNameKey(bare, &key)) {
      *error = "name refused: " + item.relative + ": its Shift-JIS form does not read back";
      return false;
    }
    auto taken = state->by_key.find(key);
    if (taken != state->by_key.end()) {
      *error = "names collide: " + taken->second + " and " + item.relative +
               " are the same name on Windows (after conversion to Shift-JIS, without "
               "regard to letter case): rename one of them";
      return false;
    }
    state->by_key[key] = item.relative;
    if (!item.is_folder) {
      item.size = (uint64_t)st.st_size;
      if (item.size >= kMaxFileSize) {
        *error = item.relative + " holds 4 GiB or more; the package stores sizes in 32 "
                 "bits: split the file";
        return false;
      }
      item.file_time = UnixToFileTime((int64_t)st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
      errno = 0;
      FILE *probe = fopen(item.source.c_str(), "rb");
      if (probe == nullptr) {
        *error = Describe("cannot read " + item.relative + "; give fernpack read access to it",
                          item.source);
        return false;
      }
      fclose(probe);
      files.push_back(std::move(item));
    } else {
      for (size_t i = 0; i < state->open_folders.size(); i++) {
        if (SameFile(state->open_folders[i], item.identity)) {
          const std::string &ancestor = state->open_relatives[i];
          *error = "symbolic link loop: " + item.relative + " leads back to " +
                   (ancestor.empty() ? "the game folder itself" : ancestor) +
                   ": remove the link";
          return false;
        }
      }
      folders.push_back(std::move(item));
    }
  }
  for (PackItem &f : files) items->push_back(std::move(f));
  for (PackItem &f : folders) {
    std::string host = f.source, relative = f.relative, name = f.name;
    FileIdentity identity = f.identity;
    items->push_back(std::move(f));
    state->open_folders.push_back(identity);
    state->open_relatives.push_back(relative);
    bool ok = CollectLevel(state, host, relative, name, items, error);
    state->open_folders.pop_back();
    state->open_relatives.pop_back();
    if (!ok) return false;
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
  errno = 0;
  FILE *f = fopen(item.source.c_str(), "rb");
  if (f == nullptr) {
    *error = Describe("cannot read " + item.relative, item.source);
    return false;
  }
  Reserve(&scratch->input, item.size);
  size_t got = item.size ? fread(scratch->input.data(), 1, item.size, f) : 0;
  bool changed = got != item.size || fgetc(f) != EOF;
  fclose(f);
  if (changed) {
    *error = item.relative + " changed while it was packed; pack again when nothing writes "
             "to the game folder";
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
    out->error = "cannot compress " + item.relative;
    return false;
  }
  out->data.assign(scratch->output.data(), scratch->output.data() + n);
  out->packed_size = n;
  if (!VerifyStream(input, size, out->data.data(), n)) {
    out->error = "the compressed stream of " + item.relative + " (level " +
                 std::to_string(level) + ") does not inflate back to the file: nothing was packed";
    return false;
  }
  return true;
}

// Inflates the spill file's stream and checks that it gives back size bytes with the
// input's CRC-32. The spill is left rewound.
bool VerifySpill(FILE *spill, uint64_t size, uLong crc) {
  rewind(spill);
  z_stream z;
  memset(&z, 0, sizeof z);
  if (inflateInit(&z) != Z_OK) return false;
  std::vector<unsigned char> in(1 << 20), out(1 << 20);
  uint64_t total = 0;
  uLong check = crc32(0, Z_NULL, 0);
  int status = Z_OK;
  while (status == Z_OK) {
    if (z.avail_in == 0) {
      size_t got = fread(in.data(), 1, in.size(), spill);
      if (got == 0) break;
      z.next_in = in.data();
      z.avail_in = (uInt)got;
    }
    z.next_out = out.data();
    z.avail_out = (uInt)out.size();
    status = inflate(&z, Z_NO_FLUSH);
    size_t n = out.size() - z.avail_out;
    check = crc32(check, out.data(), (uInt)n);
    total += n;
  }
  bool ok = status == Z_STREAM_END && z.avail_in == 0 && fgetc(spill) == EOF && total == size &&
            check == crc;
  inflateEnd(&z);
  rewind(spill);
  return ok;
}

// Large files: streamed through zlib into a temporary spill file, so memory stays
// bounded, then checked by inflating the spill.
bool CompressToSpill(const PackItem &item, int level, Packed *out) {
  errno = 0;
  FILE *in = fopen(item.source.c_str(), "rb");
  if (in == nullptr) {
    out->error = Describe("cannot read " + item.relative, item.source);
    return false;
  }
  out->spill = tmpfile();
  if (out->spill == nullptr) {
    fclose(in);
    out->error = Describe("cannot create a temporary file (check the space in $TMPDIR) for",
                          item.source);
    return false;
  }
  z_stream z;
  memset(&z, 0, sizeof z);
  if (deflateInit(&z, level > 9 ? 9 : level) != Z_OK) {
    fclose(in);
    out->error = "cannot set up compression for " + item.relative;
    return false;
  }
  std::vector<unsigned char> inbuf(1 << 20), outbuf(1 << 20);
  uint64_t total_in = 0;
  uLong crc = crc32(0, Z_NULL, 0);
  bool ok = true;
  int flush = Z_NO_FLUSH;
  do {
    size_t got = fread(inbuf.data(), 1, inbuf.size(), in);
    total_in += got;
    crc = crc32(crc, inbuf.data(), (uInt)got);
    if (ferror(in)) ok = false;
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
  if (!ok) {
    out->error = Describe("cannot pack " + item.relative +
                              " (reading it or writing the temporary file failed)",
                          item.source);
    return false;
  }
  if (total_in != item.size) {
    out->error = item.relative + " changed while it was packed; pack again when nothing "
                 "writes to the game folder";
    return false;
  }
  if (out->packed_size > 0xFFFFFFFFull) {
    out->error = item.relative + " compresses to 4 GiB or more, which the package cannot "
                 "store: split the file";
    return false;
  }
  if (fflush(out->spill) != 0 || !VerifySpill(out->spill, item.size, crc)) {
    out->error = "the compressed stream of " + item.relative +
                 " does not inflate back to the file: nothing was packed";
    return false;
  }
  return true;
}

// Shared by the workers and the writer; guarded by mutex.
struct Pipeline {
  const std::vector<PackItem> *items;
  int level;
  uint64_t in_memory_limit;
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
           : (item.generated || item.size <= pipe->in_memory_limit)
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
  return FindCompanionProgram(requested, "FERNSTALL_STUB", "fernstall.exe");
}

// The progress of a long pack.
struct Progress {
  ProgressLine line;
  size_t files_total = 0;
  uint64_t bytes_total = 0;
  size_t files_done = 0;
  uint64_t bytes_done = 0;
};

void ShowProgress(Progress *p, bool final) {
  char files[64];
  snprintf(files, sizeof files, "%zu/%zu files", p->files_done, p->files_total);
  ShowProgressLine(&p->line, files, p->bytes_done, p->bytes_total, final);
}

bool WriteArchive(FILE *out, uint64_t archive_start, const PackOptions &options,
                  const std::vector<PackItem> &items, std::string *error) {
  Pipeline pipe;
  pipe.items = &items;
  pipe.level = options.level;
  pipe.in_memory_limit = options.in_memory_limit;
  pipe.results.resize(items.size());
  Progress progress;
  StartProgressLine(&progress.line, "packing", options.progress);
  for (const PackItem &item : items) {
    if (item.is_folder) continue;
    progress.files_total++;
    progress.bytes_total += item.size;
  }
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
      // The spill now belongs to this loop alone; the clean-up below must not close it
      // a second time.
      pipe.results[i].spill = nullptr;
      pipe.pending_bytes -= packed.data.size();
      pipe.next_to_write = i + 1;
    }
    pipe.changed.notify_all();
    const PackItem &item = items[i];
    if (!packed.error.empty()) {
      *error = packed.error;
      ok = false;
    } else {
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
      if (!ok) *error = SystemMessage("cannot write", options.output);
    }
    if (packed.spill) fclose(packed.spill);
    packed.spill = nullptr;
    if (!item.is_folder) {
      progress.files_done++;
      progress.bytes_done += item.size;
      ShowProgress(&progress, false);
    }
  }
  {
    std::lock_guard<std::mutex> lock(pipe.mutex);
    pipe.abort = true;
  }
  pipe.changed.notify_all();
  for (std::thread &t : workers) t.join();
  for (Packed &p : pipe.results) {
    if (p.spill) fclose(p.spill);
    p.spill = nullptr;
  }
  if (ok) ShowProgress(&progress, true);
  if (!ok) {
    BreakProgressLine(&progress.line);
    return false;
  }

  // The end marker, the padding and the trailer; the padding grows by up to seven bytes
  // so that the package is a multiple of 8 bytes long. A signature then starts right after
  // the trailer, where installer and fernpack look for it (archive/signed_package.h).
  unsigned char tail[2 + kEndPaddingSize + kSignAlignment - 1 + kTrailerSize] = {0};
  int64_t here = FileTell(out);
  size_t padding = kEndPaddingSize;
  if (here >= 0) {
    while ((uint64_t)(here + 2 + padding + kTrailerSize) % kSignAlignment != 0) padding++;
  }
  size_t tail_size = 2 + padding + kTrailerSize;
  WriteLe32(tail + 2 + padding, (uint32_t)archive_start);
  if (here < 0 || !WriteBytes(out, tail, tail_size)) {
    *error = SystemMessage("cannot write", options.output);
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
  if (stat(folder.c_str(), &st) != 0) {
    *error = Describe("cannot read the game folder", folder);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *error = "the game folder " + folder + " is not a folder: give the folder that holds "
             "install.env";
    return false;
  }
  char real[PATH_MAX];
  if (realpath(folder.c_str(), real) == nullptr) {
    *error = Describe("cannot read the game folder", folder);
    return false;
  }
  CollectState state;
  state.root_real = real;
  state.open_folders.push_back({st.st_dev, st.st_ino});
  state.open_relatives.push_back("");
  items->clear();
  return CollectLevel(&state, folder, "", "", items, error);
}

bool WritePackage(const PackOptions &options, const std::vector<PackItem> &items,
                  std::string *error) {
  std::string stub_path = FindStub(options.stub);
  if (stub_path.empty()) {
    *error = "no installer stub found: give --stub <fernstall.exe> or set FERNSTALL_STUB";
    return false;
  }
  errno = 0;
  FILE *stub = fopen(stub_path.c_str(), "rb");
  if (stub == nullptr) {
    *error = SystemMessage("cannot read the stub", stub_path);
    return false;
  }
  fseeko(stub, 0, SEEK_END);
  uint64_t stub_size = (uint64_t)ftello(stub);
  uint64_t image_end = 0;
  int image = FindImageEnd(stub, stub_size, &image_end);
  if (image != kImageOk || image_end != stub_size) {
    fclose(stub);
    *error = "the stub " + stub_path +
             (image == kImageNotProgram ? " is not a Windows program"
              : image == kImageTruncated ? " is cut short (its headers claim more bytes)"
                                         : " carries data after its program image (is it a "
                                           "package already?)") +
             ": give the fernstall.exe that the build made";
    return false;
  }
  if (stub_size >= 0xFFFFFFFFull) {
    fclose(stub);
    *error = "the stub " + stub_path + " is 4 GiB or more";
    return false;
  }

  OutputRules rules;
  rules.forbidden_folder = options.folder;
  FileIdentity stub_identity;
  if (IdentifyFile(stub_path, &stub_identity)) {
    rules.inputs.push_back(stub_identity);
    rules.input_paths.push_back(stub_path + " (the stub)");
  }
  for (const PackItem &item : items) {
    if (item.is_folder || item.generated) continue;
    rules.inputs.push_back(item.identity);
    rules.input_paths.push_back(item.source);
  }
  OutputFile out;
  if (!CheckOutputPath(options.output, rules, error) || !OpenOutput(options.output, &out, error)) {
    fclose(stub);
    return false;
  }
  rewind(stub);
  bool ok = CopyStream(stub, out.file, stub_size);
  fclose(stub);
  // The archive start, where the installer reads it with its first bytes.
  unsigned char hint[kStartHintSize];
  memcpy(hint, kStartHintMark, sizeof kStartHintMark);
  WriteLe32(hint + sizeof kStartHintMark, (uint32_t)stub_size);
  ok = ok && FileSeek(out.file, kStartHintOffset, SEEK_SET) == 0 &&
       WriteBytes(out.file, hint, sizeof hint) && FileSeek(out.file, 0, SEEK_END) == 0;
  if (!ok) *error = SystemMessage("cannot copy the stub " + stub_path + " into", options.output);
  ok = ok && WriteArchive(out.file, stub_size, options, items, error);
  if (!ok) {
    AbandonOutput(&out);
    return false;
  }
  return CommitOutput(&out, 0755, error);
}

std::string FindCompanionProgram(const std::string &requested, const char *env_name,
                                 const char *file_name) {
  if (!requested.empty()) return requested;
  const char *env = getenv(env_name);
  if (env != nullptr && *env) return env;
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "";
  self[n] = '\0';
  std::string dir(self);
  dir = dir.substr(0, dir.rfind('/'));
  // Beside fernpack (a build tree), in ../win32/ (the host build beside the Windows
  // build), or in ../lib/fernstall/ (an installed fernpack).
  for (const char *folder : {"/", "/../win32/", "/../lib/fernstall/"}) {
    std::string path = dir + folder + file_name;
    if (access(path.c_str(), R_OK) == 0) return path;
  }
  return "";
}
