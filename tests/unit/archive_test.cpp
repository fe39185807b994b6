// The package reader against hand-made and damaged archives, and the name rules.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "archive/created_entries.h"
#include "archive/entry_name.h"
#include "archive/package_reader.h"
#include "support/allocate.h"
#include "support/sjis.h"
#include "tests/unit/fernpack_fixture.h"
#include "uninstall/file_list.h"

namespace {

struct NameRow {
  const char *label;
  const char *name;
  bool is_folder;
  NameCheck expected;
};

const NameRow kNameRows[] = {
    {"plain file", "install.env", false, kNameOk},
    {"nested file", "data\\stage1\\map.dat", false, kNameOk},
    {"top folder", "data\\", true, kNameOk},
    {"nested folder", "data\\sub\\", true, kNameOk},
    {"folder without backslash", "data", true, kNameOk},
    {"slash separator", "data/a.txt", false, kNameOk},
    {"trail byte 0x5C is no separator", "\x83\x5C.txt", false, kNameOk},
    {"dots inside a name", "a..b.txt", false, kNameOk},
    {"empty", "", false, kNameEmpty},
    {"leading backslash", "\\windows\\x.dll", false, kNameAbsolute},
    {"leading slash", "/etc/x", false, kNameAbsolute},
    {"drive letter", "C:x.txt", false, kNameDrive},
    {"stream", "a.txt:stream", false, kNameDrive},
    {"parent", "..\\x.txt", false, kNameDotComponent},
    {"parent inside", "a\\..\\..\\x.txt", false, kNameDotComponent},
    {"parent through slash", "a/../../x.txt", false, kNameDotComponent},
    {"dot", ".\\x.txt", false, kNameDotComponent},
    {"three dots", "...\\x", false, kNameDotComponent},
    {"dots and space", ". .\\x", false, kNameDotComponent},
    {"double separator", "a\\\\b", false, kNameEmpty},
    {"file ending in separator", "a\\", false, kNameEmpty},
    {"folder ending in two", "a\\\\", true, kNameEmpty},
    {"folder ending in slash", "a/", true, kNameEmpty},
    {"device", "CON", false, kNameDevice},
    {"device with extension", "data\\nul.txt", false, kNameDevice},
    {"com port", "com1.log", false, kNameDevice},
    {"device before blanks", "data\\CON .txt", false, kNameDevice},
    {"not a device", "console.txt", false, kNameOk},
    {"wildcard", "a*.txt", false, kNameBadCharacter},
    {"pipe", "a|b", false, kNameBadCharacter},
    {"control byte", "a\x01" "b", false, kNameBadCharacter},
    {"pipe as trail byte", "\x81\x7C", false, kNameOk},
    {"lone lead byte", "abc\x83", false, kNameBadEncoding},
    {"lead byte before a slash", "\x83/a", false, kNameBadEncoding},
    {"lead byte before a control byte", "\x83\x1f", false, kNameBadEncoding},
    {"lead byte before 0x7F", "\x83\x7f", false, kNameBadEncoding},
    {"lead byte before 0xFD", "\xe0\xfd", false, kNameBadEncoding},
    {"lowest and highest trail bytes", "\x81\x40\xfc\xfc", false, kNameOk},
};

TEST(EntryName, Checks) {
  for (const NameRow &row : kNameRows) {
    EXPECT_EQ(row.expected, CheckEntryName(row.name, row.is_folder)) << row.label;
  }
  std::string longest(255, 'a');
  EXPECT_EQ(kNameOk, CheckEntryName(longest.c_str(), false));
  longest += 'a';
  EXPECT_EQ(kNameTooLong, CheckEntryName(longest.c_str(), false));
}

TEST(EntryName, ContainsAndPreviewChoice) {
  EXPECT_TRUE(NameContains("README.TXT", ".txt"));
  EXPECT_TRUE(NameContains("a.txt.bak", ".txt"));
  EXPECT_TRUE(NameContains("instTSCR.rct", "insttscr.rct"));
  EXPECT_FALSE(NameContains("a.tx", ".txt"));
  // "abc" appears from the trail byte 0x61 of a double-byte character: not a match.
  EXPECT_FALSE(NameContains("\x81" "abc", "abc"));
  EXPECT_TRUE(NameContains("\x81\x61" "abc", "abc"));

  EXPECT_TRUE(IsPreviewFile("install.env"));
  EXPECT_TRUE(IsPreviewFile("readme.txt"));
  EXPECT_FALSE(IsPreviewFile("manual\\help.txt"));
  EXPECT_FALSE(IsPreviewFile("game.exe"));
}

TEST(EntryName, JoinKeepsThePathLimit) {
  char out[4096];  // as large as the walk's: the limit is the path's, not the buffer's
  std::string folder(200, 'f');
  std::string name(58, 'n');  // 200 + 1 + 58 = 259 characters: fits
  EXPECT_EQ(0, JoinEntryPath(folder.c_str(), name.c_str(), out, sizeof out));
  EXPECT_EQ(259u, strlen(out));
  name += 'n';
  EXPECT_EQ(-1, JoinEntryPath(folder.c_str(), name.c_str(), out, sizeof out));
}

// Builds archives in memory, entry by entry.
struct ArchiveBuilder {
  std::vector<unsigned char> bytes;

  void U16(unsigned v) {
    bytes.push_back((unsigned char)v);
    bytes.push_back((unsigned char)(v >> 8));
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; i++) bytes.push_back((unsigned char)(v >> (8 * i)));
  }
  void Name(const std::string &name) {
    U16((unsigned)name.size() + 1);
    bytes.insert(bytes.end(), name.begin(), name.end());
    bytes.push_back(0);
  }
  void Folder(const std::string &name) {
    Name(name);
    U32(kFolderMarker);
    U32(0);
  }
  void File(const std::string &name, const std::string &data, uint64_t time = 0,
            size_t extra = 0) {
    std::vector<unsigned char> stream(compressBound(data.size()) + extra);
    uLongf size = stream.size();
    compress2(stream.data(), &size, (const Bytef *)data.data(), data.size(), 9);
    stream.resize(size);
    stream.insert(stream.end(), extra, 0);
    Name(name);
    U32((uint32_t)data.size());
    U32((uint32_t)stream.size());
    U32((uint32_t)time);
    U32((uint32_t)(time >> 32));
    bytes.insert(bytes.end(), stream.begin(), stream.end());
  }
  // Writes stub + archive + end marker + padding + trailer to path.
  void Write(const std::string &path, size_t stub_size = 16) {
    FILE *f = fopen(path.c_str(), "wb");
    std::vector<unsigned char> stub(stub_size, 'S');
    fwrite(stub.data(), 1, stub.size(), f);
    fwrite(bytes.data(), 1, bytes.size(), f);
    unsigned char tail[8] = {0, 0, 0, 0};
    WriteLe32(tail + 4, (uint32_t)stub_size);
    fwrite(tail, 1, sizeof tail, f);
    fclose(f);
  }
};

class ArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/fern-archive-XXXXXX";
    dir_ = mkdtemp(pattern);
    package_ = dir_ + "/setup.exe";
    out_ = dir_ + "/out";
    mkdir(out_.c_str(), 0755);
  }
  void TearDown() override { system(("rm -rf " + dir_).c_str()); }

  ArchiveResult Walk(ExtractMode mode) {
    PackageReader reader;
    ArchiveResult r = OpenPackage(package_.c_str(), &reader);
    if (r == kArchiveOk) {
      ExtractObserver observer = {nullptr, SlashPath, nullptr, nullptr, nullptr};
      r = ExtractEntries(&reader, out_.c_str(), mode, &observer);
    }
    consumed_ = reader.consumed;
    ClosePackage(&reader);
    return r;
  }

  static int SlashPath(void *, const char *folder, const char *name, char *out, int size) {
    std::string path = std::string(folder) + "/" + name;
    for (char &c : path) {
      if (c == '\\') c = '/';
    }
    if ((int)path.size() + 1 > size) return -1;
    memcpy(out, path.c_str(), path.size() + 1);
    return 0;
  }

  bool Exists(const std::string &relative) {
    struct stat st;
    return stat((out_ + "/" + relative).c_str(), &st) == 0;
  }

  std::string dir_, package_, out_;
  int64_t consumed_ = 0;
};

TEST_F(ArchiveTest, FullModeRestoresFilesFoldersAndTimes) {
  ArchiveBuilder b;
  const uint64_t kTime = 0x01C80052614FD800ull;  // 2007-09-26 15:32:00 UTC
  b.File("install.env", "TITLEBAR x\r\n", kTime);
  b.Folder("data\\");
  b.File("data\\big.bin", std::string(300000, 'q'), kTime);
  b.Folder("data\\sub\\");
  b.File("data\\sub\\empty.txt", "", kTime);
  b.Write(package_);
  ASSERT_EQ(kArchiveOk, Walk(kFullMode));
  struct stat st;
  ASSERT_EQ(0, stat((out_ + "/data/big.bin").c_str(), &st));
  EXPECT_EQ(300000, st.st_size);
  EXPECT_EQ(1190820720, st.st_mtime);
  ASSERT_EQ(0, stat((out_ + "/data/sub/empty.txt").c_str(), &st));
  EXPECT_EQ(0, st.st_size);
  // Every byte of the archive but the end marker and its padding was consumed.
  EXPECT_EQ((int64_t)b.bytes.size(), consumed_);
}

// A writer that keeps what it is handed and fails where a row says: at a numbered call,
// or only when the walk finishes (a write on another thread failing late).
struct RecordingWriter {
  std::string log;
  int calls = 0;
  int fail_at = -1;        // the call (0 = the first open) that fails
  bool fail_late = false;  // finish() reports a failure
  bool refuse_begin = false;
  bool failed = false;
  static RecordingWriter *Of(void *c) { return (RecordingWriter *)c; }
  static int Step(void *c) {
    RecordingWriter *w = Of(c);
    if (w->failed || w->calls++ == w->fail_at) w->failed = true;
    return w->failed ? -1 : 0;
  }
  static int Begin(void *c) { return Of(c)->refuse_begin ? -1 : 0; }
  static int Open(void *c, const char *path, uint64_t time) {
    Of(c)->log += std::string("open ") + strrchr(path, '/') + " " + std::to_string(time) + "\n";
    return Step(c);
  }
  static int Write(void *c, const unsigned char *, uint32_t size) {
    Of(c)->log += "write " + std::to_string(size) + "\n";
    return Step(c);
  }
  static int Close(void *c) {
    Of(c)->log += "close\n";
    return Step(c);
  }
  static int Finish(void *c) {
    Of(c)->log += "finish\n";
    if (Of(c)->fail_late) Of(c)->failed = true;
    return Of(c)->failed ? -1 : 0;
  }
  static void Failure(void *, int *error, char *path, int size) {
    *error = EACCES;
    CopyText(path, "the writer's file", (size_t)size);
  }
};

int CancelAtOnce(void *, uint64_t, int64_t) { return 1; }

// The walk hands every file to the observer's writer, in order, and tells the writer's
// failure as its own whenever it surfaces; a Cancel stays a Cancel; a writer that cannot
// begin leaves the walk to write the files itself.
TEST_F(ArchiveTest, WriterTakesEveryFileAndItsFailureIsTold) {
  ArchiveBuilder b;
  b.File("a.txt", "aa", 7);
  b.Folder("data\\");
  b.File("data\\big.bin", std::string(kOutputBlockSize + 5, 'q'), 9);
  b.File("data\\empty.txt", "", 11);
  b.Write(package_);
  const std::string whole = "open /a.txt 7\nwrite 2\nclose\n"
                            "open /big.bin 9\nwrite 524288\nwrite 5\nclose\n"
                            "open /empty.txt 11\nclose\nfinish\n";
  struct Row {
    const char *what;
    int fail_at;
    bool fail_late, refuse_begin, cancel;
    ArchiveResult result;
    std::string log;
  } rows[] = {
      {"all written", -1, false, false, false, kArchiveOk, whole},
      {"the second open fails", 3, false, false, false, kArchiveWriteFailed,
       "open /a.txt 7\nwrite 2\nclose\nopen /big.bin 9\nfinish\n"},
      {"a write fails", 5, false, false, false, kArchiveWriteFailed,
       "open /a.txt 7\nwrite 2\nclose\nopen /big.bin 9\nwrite 524288\nwrite 5\nfinish\n"},
      {"the failure comes at the end", -1, true, false, false, kArchiveWriteFailed, whole},
      {"a Cancel with a late failure", -1, true, false, true, kArchiveCancelled,
       "open /a.txt 7\nwrite 2\nfinish\n"},
      {"no writer thread", -1, false, true, false, kArchiveOk, ""},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(0, system(("rm -rf " + out_ + " && mkdir " + out_).c_str()));
    RecordingWriter recorder;
    recorder.fail_at = row.fail_at;
    recorder.fail_late = row.fail_late;
    recorder.refuse_begin = row.refuse_begin;
    FileWriter writer = {&recorder,
                         RecordingWriter::Begin,
                         RecordingWriter::Open,
                         RecordingWriter::Write,
                         RecordingWriter::Close,
                         RecordingWriter::Finish,
                         RecordingWriter::Failure};
    ExtractObserver observer = {nullptr, SlashPath, nullptr,
                                row.cancel ? CancelAtOnce : nullptr, &writer};
    PackageReader reader;
    ASSERT_EQ(kArchiveOk, OpenPackage(package_.c_str(), &reader));
    EXPECT_EQ(row.result, ExtractEntries(&reader, out_.c_str(), kFullMode, &observer));
    EXPECT_EQ(row.log, recorder.log);
    if (row.result == kArchiveWriteFailed) {
      EXPECT_EQ(EACCES, reader.write_error);
      EXPECT_STREQ("the writer's file", reader.failed_path);
    }
    ClosePackage(&reader);
    EXPECT_EQ(!row.cancel, Exists("data")) << "folders are made by the walk itself";
    EXPECT_EQ(row.refuse_begin, Exists("data/big.bin"));
  }
}

TEST_F(ArchiveTest, PreviewTakesTopLevelFilesAndStopsAtNestedFolder) {
  ArchiveBuilder b;
  b.File("UnInst.exe", "MZ uninstaller");
  b.Folder("saves\\");  // a top-level folder is passed over
  b.File("install.env", "TITLEBAR x");
  b.File("instTSCR.rct", "picture");
  b.File("README.TXT", "readme");
  b.File("game.exe", "MZ");
  b.Folder("manual\\");
  b.File("manual\\help.txt", "help");  // inside a folder: the preview creates none
  b.File("manual\\UnInst.lst", "not the list");
  b.Folder("manual\\deep\\");
  b.File("late.txt", "never seen");
  b.File("uninst.LST", "never seen");
  b.Write(package_);
  ASSERT_EQ(kArchiveOk, Walk(kPreviewMode));
  EXPECT_TRUE(Exists("install.env"));
  EXPECT_TRUE(Exists("instTSCR.rct"));
  EXPECT_TRUE(Exists("README.TXT"));
  EXPECT_FALSE(Exists("game.exe"));
  EXPECT_FALSE(Exists("UnInst.exe"));
  EXPECT_FALSE(Exists("manual"));
  EXPECT_FALSE(Exists("late.txt"));

  // The installer takes the uninstaller's own files by the same walk, by name alone.
  ASSERT_EQ(0, system(("rm -rf " + out_ + " && mkdir " + out_).c_str()));
  PackageReader reader;
  ASSERT_EQ(kArchiveOk, OpenPackage(package_.c_str(), &reader));
  ExtractObserver observer = {nullptr, SlashPath, nullptr, nullptr, nullptr};
  EXPECT_EQ(kArchiveOk,
            ExtractTopLevelFiles(&reader, out_.c_str(), IsUninstallerOwnFile, &observer));
  ClosePackage(&reader);
  EXPECT_EQ("MZ uninstaller", ReadTestFile(out_ + "/UnInst.exe"));
  EXPECT_EQ("TITLEBAR x", ReadTestFile(out_ + "/install.env"));
  EXPECT_FALSE(Exists("README.TXT"));
  EXPECT_FALSE(Exists("manual"));
  EXPECT_FALSE(Exists("uninst.LST")) << "past the first nested folder";

  // The free-space check reads the list the same way, into memory, and not past it.
  bool (*is_list)(const char *) = IsFileListName;
  char *data = nullptr;
  uint32_t size = 0;
  ASSERT_EQ(kArchiveOk, OpenPackage(package_.c_str(), &reader));
  EXPECT_EQ(kArchiveEnd, ReadTopLevelFile(&reader, is_list, 1 << 20, &data, &size))
      << "the only UnInst.lst lies past the first nested folder";
  ClosePackage(&reader);
  bool (*is_env)(const char *) = [](const char *name) { return strcmp(name, "install.env") == 0; };
  ASSERT_EQ(kArchiveOk, OpenPackage(package_.c_str(), &reader));
  ASSERT_EQ(kArchiveOk, ReadTopLevelFile(&reader, is_env, 10, &data, &size));
  EXPECT_EQ("TITLEBAR x", std::string(data, size));
  EXPECT_EQ('\0', data[size]);
  ReleaseBlock(data);
  ClosePackage(&reader);
  ASSERT_EQ(kArchiveOk, OpenPackage(package_.c_str(), &reader));
  EXPECT_EQ(kArchiveEnd, ReadTopLevelFile(&reader, is_env, 9, &data, &size)) << "over the limit";
  ClosePackage(&reader);
  // A stream that makes more than its header's size is damage, not a longer file.
  ArchiveBuilder longer;
  longer.File("install.env", "TITLEBAR x");
  WriteLe32(&longer.bytes[2 + sizeof "install.env"], 5);
  longer.Write(package_);
  ASSERT_EQ(kArchiveOk, OpenPackage(package_.c_str(), &reader));
  EXPECT_EQ(kArchiveDamaged, ReadTopLevelFile(&reader, is_env, 10, &data, &size));
  ClosePackage(&reader);
}

TEST_F(ArchiveTest, DamageIsRefused) {
  struct Row {
    const char *label;
    void (*build)(ArchiveBuilder *);
  };
  const Row rows[] = {
      {"packed size 0",
       [](ArchiveBuilder *b) {
         b->Name("a.txt");
         b->U32(5);
         b->U32(0);
         b->U32(0);
         b->U32(0);
       }},
      {"stream ends before its packed size",
       [](ArchiveBuilder *b) { b->File("install.env", "TITLEBAR x", 0, 12); }},
      {"name longer than 256 bytes",
       [](ArchiveBuilder *b) { b->File(std::string(256, 'n'), "x"); }},
      {"name without its NUL",
       [](ArchiveBuilder *b) {
         b->U16(3);
         b->bytes.insert(b->bytes.end(), {'a', 'b', 'c'});
         b->U32(kFolderMarker);
         b->U32(0);
       }},
      {"unsafe name", [](ArchiveBuilder *b) { b->File("..\\x.txt", "x"); }},
      {"no end marker", [](ArchiveBuilder *b) { b->File("a.txt", "x"); }},
  };
  for (const Row &row : rows) {
    ArchiveBuilder b;
    row.build(&b);
    if (strcmp(row.label, "no end marker") == 0) {
      // The end marker is part of the archive; without it the reader runs into the
      // padding and the trailer.
      FILE *f = fopen(package_.c_str(), "wb");
      fwrite("STUBSTUBSTUBSTUB", 1, 16, f);
      fwrite(b.bytes.data(), 1, b.bytes.size(), f);
      unsigned char trailer[4];
      WriteLe32(trailer, 16);
      fwrite(trailer, 1, 4, f);
      fclose(f);
    } else {
      b.Write(package_);
    }
    EXPECT_NE(kArchiveOk, Walk(kFullMode)) << row.label;
  }
}

TEST_F(ArchiveTest, ArchiveStartMustLieInsideTheFile) {
  for (uint32_t start : {0xFFFFFFF0u, 100u, 17u, 15u}) {  // 15: no room for the end marker
    FILE *f = fopen(package_.c_str(), "wb");
    unsigned char bytes[20] = {0};
    WriteLe32(bytes + 16, start);
    fwrite(bytes, 1, sizeof bytes, f);
    fclose(f);
    PackageReader reader;
    EXPECT_EQ(kArchiveDamaged, OpenPackage(package_.c_str(), &reader)) << start;
    ClosePackage(&reader);
  }
}

// Every truncation and every single-byte change of a small package is either read or
// refused, never read outside what is there (the sanitizers watch).
TEST_F(ArchiveTest, TruncatedAndCorruptedPackagesAreHandled) {
  ArchiveBuilder b;
  b.File("install.env", "TITLEBAR x\r\nINSTTO y\r\n");
  b.Folder("d\\");
  b.File("d\\f.bin", std::string(1000, 'z'));
  b.Write(package_);
  FILE *f = fopen(package_.c_str(), "rb");
  std::vector<unsigned char> whole(b.bytes.size() + 16 + 8);
  ASSERT_EQ(whole.size(), fread(whole.data(), 1, whole.size(), f));
  fclose(f);
  for (size_t cut = 0; cut < whole.size(); cut++) {
    f = fopen(package_.c_str(), "wb");
    fwrite(whole.data(), 1, cut, f);
    fclose(f);
    Walk(kFullMode);
  }
  for (size_t at = 16; at < whole.size(); at++) {
    std::vector<unsigned char> changed = whole;
    changed[at] ^= 0x5A;
    f = fopen(package_.c_str(), "wb");
    fwrite(changed.data(), 1, changed.size(), f);
    fclose(f);
    Walk(kFullMode);
    Walk(kPreviewMode);
  }
}

// Offsets past 2 GiB: an archive that starts 3 GiB into a sparse file, with an entry
// whose packed data is 2.5 GiB that the preview seeks over without reading.
TEST_F(ArchiveTest, OffsetsBeyondTwoGigabytes) {
  const int64_t kStart = 3ll << 30;
  const uint32_t kSkipped = 0xA0000000u;
  FILE *f = fopen(package_.c_str(), "wb");
  ASSERT_EQ(0, fseeko(f, kStart, SEEK_SET));
  ArchiveBuilder b;
  b.File("install.env", "TITLEBAR x");
  b.Name("huge.bin");
  b.U32(kSkipped);
  b.U32(kSkipped);
  fwrite(b.bytes.data(), 1, b.bytes.size(), f);
  ASSERT_EQ(0, fseeko(f, 8 + (int64_t)kSkipped, SEEK_CUR));  // time stamp + data: a hole
  unsigned char tail[8] = {0};
  WriteLe32(tail + 4, (uint32_t)kStart);
  fwrite(tail, 1, sizeof tail, f);
  fclose(f);
  ASSERT_EQ(kArchiveOk, Walk(kPreviewMode));
  EXPECT_TRUE(Exists("install.env"));
  PackageReader reader;
  ASSERT_EQ(kArchiveOk, OpenPackage(package_.c_str(), &reader));
  EXPECT_EQ(kStart, reader.archive_start);
  EXPECT_EQ((int64_t)b.bytes.size() + 8 + kSkipped + 4, reader.archive_length);
  ClosePackage(&reader);
}

TEST_F(ArchiveTest, MemoryShortageEndsTheFileWithoutUsingTheBlock) {
  ArchiveBuilder b;
  b.File("install.env", "TITLEBAR x");
  b.Write(package_);
  SimulateAllocationFailures(1);
  EXPECT_EQ(kArchiveNoMemory, Walk(kFullMode));
  SimulateAllocationFailures(0);
  EXPECT_EQ(kArchiveOk, Walk(kFullMode));
}

}  // namespace

// What a cancelled installation takes back: every name, last first, across the list's
// growth; a name that could not be recorded (memory short) ends the recording.
TEST(CreatedEntries, LastFirstAcrossGrowthAndAfterAShortage) {
  CreatedEntries list;
  StartCreatedEntries(&list);
  EXPECT_EQ(nullptr, LastCreatedEntry(&list));
  std::vector<std::string> names;
  for (int i = 0; i < 3000; i++) {
    names.push_back(i % 100 == 0 ? "data" + std::to_string(i) + "\\" : "data\\file" + std::to_string(i));
    ASSERT_TRUE(RecordCreatedEntry(&list, names.back().c_str()));
  }
  size_t at = names.size();
  for (const char *name = LastCreatedEntry(&list); name != nullptr;
       name = CreatedEntryBefore(&list, name)) {
    ASSERT_GT(at, 0u);
    EXPECT_EQ(names[--at], name);
  }
  EXPECT_EQ(0u, at);
  EXPECT_EQ(3000, list.count);

  // The next growth fails: the list keeps what it had and says it is incomplete.
  SimulateAllocationFailures(1);
  std::string big(list.capacity, 'x');
  EXPECT_FALSE(RecordCreatedEntry(&list, big.c_str()));
  SimulateAllocationFailures(0);
  EXPECT_FALSE(list.complete);
  EXPECT_FALSE(RecordCreatedEntry(&list, "later"));
  EXPECT_EQ(names.back(), LastCreatedEntry(&list));
  ReleaseCreatedEntries(&list);
  EXPECT_EQ(nullptr, LastCreatedEntry(&list));
}
