// fernpack list, extract and verify: the installer's own reader, run on the host.
#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "archive/entry_name.h"
#include "archive/package_reader.h"
#include "support/file_io.h"
#include "support/sjis.h"
#include "tools/fernpack/commands.h"
#include "tools/fernpack/progress_line.h"
#include "tools/fernpack/lint.h"
#include "tools/fernpack/output_file.h"
#include "tools/fernpack/rct_encode.h"
#include "tools/fernpack/sjis_names.h"
#include "archive/signed_package.h"
#include "tools/fernpack/stub_image.h"

namespace {

// What an archive needs after the program at the least: the end marker, the two padding
// bytes and the archive start.
const uint64_t kSmallestArchive = 2 + kEndPaddingSize + kTrailerSize;

// verify reads install.env and the menu picture into memory to check them; larger ones
// are reported instead (the installer reads 400 lines of install.env at most, and a
// menu picture is a few hundred KiB).
const uint64_t kMaxCheckedSettings = 1u << 20;
const uint64_t kMaxCheckedPicture = 256u << 20;

const char kSettingsName[] = "install.env";
const char kPictureName[] = "insttscr.rct";

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
  fprintf(stderr, " at offset %lld: the package is damaged or truncated; build it again\n",
          (long long)reader.position);
  return 1;
}

// Opens a package for the reader, after checking what the shared reader cannot tell
// apart: a file that cannot be opened (with the system's reason), one that is no
// installer, a bare stub without a package, and a trailer that does not point where the
// program ends. Prints the message and returns false on any of them.
bool OpenChecked(const char *command, const char *path, PackageReader *reader) {
  memset(reader, 0, sizeof *reader);
  struct stat st;
  errno = 0;
  FILE *file = nullptr;
  if (stat(path, &st) != 0 || (S_ISREG(st.st_mode) && (file = fopen(path, "rb")) == nullptr)) {
    fprintf(stderr, "fernpack %s: cannot open %s: %s\n", command, path, strerror(errno));
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    fprintf(stderr, "fernpack %s: %s is not a file: give the installer package\n", command,
            path);
    return false;
  }
  uint64_t size = (uint64_t)st.st_size;
  uint64_t image_end = 0;
  int image = FindImageEnd(file, size, &image_end);
  // A signed package: the trailer stands before the certificate table, not at the end.
  uint64_t data_end = PackageDataEnd(file, size);
  unsigned char trailer[kTrailerSize] = {0};
  bool have_trailer = data_end >= kTrailerSize &&
                      FileSeek(file, (int64_t)(data_end - kTrailerSize), SEEK_SET) == 0 &&
                      fread(trailer, 1, sizeof trailer, file) == sizeof trailer;
  unsigned char hint[kStartHintSize] = {0};
  bool have_hint = FileSeek(file, kStartHintOffset, SEEK_SET) == 0 &&
                   fread(hint, 1, sizeof hint, file) == sizeof hint &&
                   memcmp(hint, kStartHintMark, sizeof kStartHintMark) == 0;
  fclose(file);
  std::string why;
  if (image == kImageNotProgram) {
    why = "not an installer: it does not begin with a Windows program";
  } else if (image == kImageTruncated) {
    why = "truncated: the file ends inside the installer program";
  } else if (image_end == size) {
    why = "no package appended: this is a bare installer stub; build a package with "
          "fernpack pack --stub " + std::string(path);
  } else if (data_end < image_end || data_end - image_end < kSmallestArchive || !have_trailer) {
    why = "truncated: only " + std::to_string(data_end > image_end ? data_end - image_end : 0) +
          " bytes follow the installer program, too few for an archive";
  } else if (ReadLe32(trailer) != image_end) {
    why = "damaged trailer: the archive start in the last four bytes is " +
          std::to_string(ReadLe32(trailer)) + ", but the installer program ends at " +
          std::to_string(image_end) + " (the file was cut short, or bytes were added)";
  } else if (have_hint && ReadLe32(hint + sizeof kStartHintMark) != image_end) {
    why = "damaged header: the archive start in the installer's header is " +
          std::to_string(ReadLe32(hint + sizeof kStartHintMark)) +
          ", but the installer program ends at " + std::to_string(image_end);
  }
  if (!why.empty()) {
    fprintf(stderr, "fernpack %s: %s: %s\n", command, path, why.c_str());
    return false;
  }
  if (OpenPackage(path, reader) != kArchiveOk) {
    Damaged(command, path, *reader, nullptr);
    return false;
  }
  return true;
}

int CountingSink(void *context, const unsigned char *, uint32_t, uint64_t total_written) {
  *(uint64_t *)context = total_written;
  return 0;
}

// Keeps a file's data in memory up to a limit, for verify's settings and picture checks.
struct CaptureSink {
  std::string bytes;
  uint64_t total = 0;
  uint64_t limit = 0;
};

int CaptureBlock(void *context, const unsigned char *data, uint32_t size, uint64_t total) {
  CaptureSink *sink = (CaptureSink *)context;
  if (total <= sink->limit) sink->bytes.append((const char *)data, size);
  sink->total = total;
  return 0;
}

bool IsTopLevel(const char *name) { return FindSeparator(name, true) == nullptr; }

// The parent folder of an entry name ("a\\b\\c.txt" -> "a\\b"), without its backslash;
// "" at the top level. Separators are found character by character.
std::string ParentOf(const std::string &name, bool is_folder) {
  std::string bare = is_folder && EndsWithBackslash(name.c_str())
                         ? name.substr(0, name.size() - 1) : name;
  size_t last = std::string::npos;
  for (size_t i = 0; i < bare.size(); i += SjisCharLength(bare.c_str() + i)) {
    if (bare[i] == '\\' || bare[i] == '/') last = i;
  }
  return last == std::string::npos ? "" : bare.substr(0, last);
}

// Components that Windows would create under another name: a trailing dot or space.
bool HasTrailingDotOrSpace(const std::string &name) {
  char last = '\0';  // the component's last character; 'x' after a double-byte one
  for (const char *p = name.c_str();; ) {
    size_t n = SjisCharLength(p);
    char c = *p;
    if (c == '\0' || (n == 1 && (c == '\\' || c == '/'))) {
      if (last == '.' || last == ' ') return true;
      if (c == '\0') return false;
      last = '\0';
    } else {
      last = n == 1 ? c : 'x';
    }
    p += n;
  }
}

// The progress of extract, and the file being written, removed when the walk fails
// inside it.
struct ExtractProgress {
  ProgressLine line;
  int64_t total = 0;  // archive bytes
  uint64_t files = 0;
  std::string current;
  uint32_t expected = 0;
  uint64_t written = 0;
};

void ShowExtractProgress(ExtractProgress *p, int64_t consumed, bool final) {
  char files[48];
  snprintf(files, sizeof files, "%llu files", (unsigned long long)p->files);
  ShowProgressLine(&p->line, files, (uint64_t)consumed, (uint64_t)p->total, final);
}

void OnFileStarted(void *context, const char *path, uint32_t unpacked_size) {
  ExtractProgress *p = (ExtractProgress *)context;
  p->current = path;
  p->expected = unpacked_size;
  p->written = 0;
  p->files++;
}

int OnProgress(void *context, uint64_t file_bytes, int64_t consumed) {
  ExtractProgress *p = (ExtractProgress *)context;
  p->written = file_bytes;
  ShowExtractProgress(p, consumed, false);
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
  if (!OpenChecked("list", argv[0], &reader)) return 1;
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

namespace {

// extract writes into a new or empty folder only: in a folder holding files (the game
// folder itself, a home folder) the package's files would replace those of the same name.
bool DestinationIsFree(const char *path, std::string *refusal) {
  struct stat st;
  if (lstat(path, &st) != 0) return true;  // created by the extraction
  if (!S_ISDIR(st.st_mode)) {
    *refusal = std::string(path) + " exists and is not a folder: give a new or empty folder";
    return false;
  }
  DIR *dir = opendir(path);
  if (dir == nullptr) {
    *refusal = SystemMessage("cannot read the folder", path);
    return false;
  }
  bool empty = true;
  while (struct dirent *d = readdir(dir)) {
    if (strcmp(d->d_name, ".") != 0 && strcmp(d->d_name, "..") != 0) {
      empty = false;
      break;
    }
  }
  closedir(dir);
  if (!empty) {
    *refusal = std::string("the folder ") + path + " already holds files, and the package's "
               "files would replace those of the same name: give a new or empty folder";
  }
  return empty;
}

}  // namespace

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
  // The package is opened first, so that a missing or damaged one leaves no folder.
  PackageReader reader;
  if (!OpenChecked("extract", argv[0], &reader)) return 1;
  std::string refusal;
  if (!DestinationIsFree(argv[1], &refusal)) {
    fprintf(stderr, "fernpack extract: %s\n", refusal.c_str());
    ClosePackage(&reader);
    return 1;
  }
  errno = 0;
  if (MakeFolder(argv[1]) != 0) {
    fprintf(stderr, "fernpack extract: cannot create the folder %s: %s\n", argv[1],
            strerror(errno));
    ClosePackage(&reader);
    return 1;
  }
  ExtractProgress progress;
  StartProgressLine(&progress.line, "extracting", isatty(fileno(stderr)) != 0);
  progress.total = reader.archive_length;
  ExtractObserver observer = {&progress, JoinHostEntryPath, OnFileStarted, OnProgress,
                              nullptr};
  ArchiveResult r =
      ExtractEntries(&reader, argv[1], preview ? kPreviewMode : kFullMode, &observer);
  if (r != kArchiveOk) {
    BreakProgressLine(&progress.line);
    // A file whose entry failed half way is not the publisher's file: it goes.
    if (!progress.current.empty() && progress.written != progress.expected) {
      unlink(progress.current.c_str());
    }
    return Damaged("extract", argv[0], reader, nullptr);
  }
  ShowExtractProgress(&progress, reader.consumed, true);
  ClosePackage(&reader);
  return 0;
}

namespace {

// verify's findings about one package.
struct VerifyState {
  const char *path;
  std::vector<std::string> problems;
  std::set<std::string> folders;    // WindowsNameKey of every folder entry so far
  std::set<std::string> names;      // WindowsNameKey of every entry so far
  std::vector<std::string> file_names;  // Shift-JIS names of the files
  bool nested_seen = false;         // a folder entry below the top level has been read
  bool settings_found = false;
  bool picture_found = false;
  CaptureSink settings;
  CaptureSink picture;

  void Problem(const std::string &text) { problems.push_back(text); }
};

void CheckEntryNames(VerifyState *state, const EntryHeader &entry) {
  std::string name = entry.name;
  std::string shown = DisplayName(entry.name);
  std::string key;
  std::string bare = entry.is_folder && EndsWithBackslash(entry.name)
                         ? name.substr(0, name.size() - 1) : name;
  if (!WindowsNameKey(bare, &key)) {
    state->Problem("entry " + shown + ": the name is not valid Shift-JIS");
    return;
  }
  if (entry.is_folder && !EndsWithBackslash(entry.name)) {
    state->Problem("folder entry " + shown + " does not end with a backslash");
  }
  if (HasTrailingDotOrSpace(bare)) {
    state->Problem("entry " + shown + ": a name ends with a dot or a space, which Windows "
                   "removes, so the file arrives under another name");
  }
  if (!state->names.insert(key).second) {
    state->Problem("entry " + shown + " has the same name on Windows as an entry before "
                   "it (letter case aside): the later one replaces the earlier");
  }
  std::string parent = ParentOf(name, entry.is_folder);
  std::string parent_key;
  if (!parent.empty() && WindowsNameKey(parent, &parent_key) &&
      state->folders.count(parent_key) == 0) {
    state->Problem("entry " + shown + " comes before (or without) the entry of its folder " +
                   DisplayName(parent.c_str()) + ": the installer cannot create it");
  }
  if (entry.is_folder) {
    state->folders.insert(key);
    if (!parent.empty()) state->nested_seen = true;
  }
}

// install.env and the picture, once the walk is over.
void CheckStartupFiles(VerifyState *state) {
  if (!state->settings_found) {
    state->Problem("no install.env at the top level: the installer cannot start");
  } else if (state->settings.total > kMaxCheckedSettings) {
    state->Problem("install.env holds more than 1 MiB: it cannot be a settings file");
  } else {
    std::vector<std::string> names = state->file_names;
    PackageFileTest has_file = [names](const std::string &wanted) {
      for (const std::string &n : names) {
        if (SameEntryName(n, wanted)) return true;
      }
      return false;
    };
    std::vector<LintFinding> findings;
    std::string error;
    if (!LintSettingsText(state->settings.bytes, has_file, &findings, &error)) {
      state->Problem("install.env: " + error);
    }
    for (const LintFinding &finding : findings) {
      if (finding.error) state->Problem(FormatLintFinding(kSettingsName, finding));
    }
  }
  if (!state->picture_found) {
    state->Problem("no insttscr.rct at the top level: the menu has no picture");
  } else if (state->picture.total > kMaxCheckedPicture) {
    state->Problem("insttscr.rct holds more than 256 MiB: too large to be a menu picture");
  } else {
    BgrImage image;
    std::string error;
    if (!DecodeRctFile((const unsigned char *)state->picture.bytes.data(),
                       state->picture.bytes.size(), &image, &error)) {
      state->Problem("insttscr.rct does not decode: " + error);
    }
  }
}

}  // namespace

int RunVerify(int argc, char **argv) {
  if (argc != 1) {
    fprintf(stderr, "usage: fernpack verify <setup.exe>\n");
    return 2;
  }
  PackageReader reader;
  EntryHeader entry;
  entry.name[0] = '\0';
  if (!OpenChecked("verify", argv[0], &reader)) return 1;
  VerifyState state;
  state.path = argv[0];
  state.settings.limit = kMaxCheckedSettings;
  state.picture.limit = kMaxCheckedPicture;
  size_t files = 0, folders = 0;
  for (;;) {
    ArchiveResult r = ReadEntryHeader(&reader, &entry);
    if (r == kArchiveEnd) break;
    if (r == kArchiveOk) CheckEntryNames(&state, entry);
    uint64_t file_time = 0, written = 0;
    if (r == kArchiveOk && !entry.is_folder) {
      r = ReadEntryTime(&reader, &file_time);
      // The start-up files are read before the first nested folder, as the installer's
      // preview reads them; later ones it never sees.
      bool top = IsTopLevel(entry.name) && !state.nested_seen;
      CaptureSink *capture = nullptr;
      if (top && SameEntryName(entry.name, kSettingsName)) {
        capture = &state.settings;
        state.settings_found = true;
      } else if (top && SameEntryName(entry.name, kPictureName)) {
        capture = &state.picture;
        state.picture_found = true;
      }
      if (r == kArchiveOk) {
        r = capture != nullptr ? InflateEntryData(&reader, &entry, CaptureBlock, capture)
                               : InflateEntryData(&reader, &entry, CountingSink, &written);
        if (capture != nullptr) written = capture->total;
      }
      if (r == kArchiveOk && written != entry.unpacked_size) {
        reader.failure = "inflates to a size other than the stored one";
        r = kArchiveDamaged;
      }
      state.file_names.push_back(entry.name);
    }
    if (r != kArchiveOk) {
      return Damaged("verify", argv[0], reader, &entry);
    }
    (entry.is_folder ? folders : files)++;
  }
  // After the end marker only the padding may stand before the trailer: two bytes, and up
  // to seven more that round the package up to a multiple of 8 bytes for signing.
  if (reader.end - reader.position < kEndPaddingSize ||
      reader.end - reader.position > kEndPaddingSize + kSignAlignment - 1) {
    reader.failure = "unexpected bytes between the end marker and the archive start";
    return Damaged("verify", argv[0], reader, nullptr);
  }
  ClosePackage(&reader);
  CheckStartupFiles(&state);
  for (const std::string &problem : state.problems) {
    fprintf(stderr, "fernpack verify: %s: %s\n", argv[0], problem.c_str());
  }
  if (!state.problems.empty()) {
    printf("%s: %zu problem%s: the installer would refuse or misread this package\n", argv[0],
           state.problems.size(), state.problems.size() == 1 ? "" : "s");
    return 1;
  }
  printf("%s: sound package, %zu files, %zu folders\n", argv[0], files, folders);
  return 0;
}
