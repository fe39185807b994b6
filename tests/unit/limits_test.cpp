// Readers at each of their limits and one past it, and the signed-package trailer.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "archive/entry_name.h"
#include "archive/package_reader.h"
#include "archive/signed_package.h"
#include "install/free_space.h"
#include "picture/rct_decode.h"
#include "settings/section_lists.h"
#include "tests/unit/fernpack_fixture.h"

namespace {

typedef std::vector<unsigned char> Bytes;

void Put16(Bytes *b, unsigned v) {
  b->push_back((unsigned char)v);
  b->push_back((unsigned char)(v >> 8));
}
void Put32(Bytes *b, uint32_t v) {
  for (int i = 0; i < 4; i++) b->push_back((unsigned char)(v >> (8 * i)));
}

// A zlib stream of data at the given level.
Bytes Deflate(const std::string &data, int level) {
  Bytes out(compressBound(data.size()));
  uLongf size = out.size();
  compress2(out.data(), &size, (const Bytef *)data.data(), data.size(), level);
  out.resize(size);
  return out;
}

// One file entry: name, sizes, time, then the stream and `extra` bytes that the packed
// size counts but the stream does not use.
void AddFile(Bytes *archive, const std::string &name, const std::string &data,
             const Bytes &stream, size_t extra = 0) {
  Put16(archive, (unsigned)name.size() + 1);
  archive->insert(archive->end(), name.begin(), name.end());
  archive->push_back(0);
  Put32(archive, (uint32_t)data.size());
  Put32(archive, (uint32_t)(stream.size() + extra));
  Put32(archive, 0);
  Put32(archive, 0);
  archive->insert(archive->end(), stream.begin(), stream.end());
  archive->insert(archive->end(), extra, 0);
}

// A stub of 1024 bytes with 16 data directories: a PE32 optional header, as the shipped
// 32-bit installer has, or a PE32+ one, as the x86-64 build has.
const size_t kOptional = 64 + kPeSignatureSize + kPeCoffHeaderSize;
Bytes PeStub(bool pe32 = false) {
  Bytes b(1024, 0);
  b[0] = 'M';
  b[1] = 'Z';
  b[kPeOffsetField] = 64;
  memcpy(&b[64], "PE\0\0", 4);
  b[64 + 4 + kPeOptionalSizeField] = pe32 ? 224 : 240;
  b[kOptional] = 0x0B;
  b[kOptional + 1] = pe32 ? 0x01 : 0x02;
  b[kOptional + (pe32 ? kPe32DirectoryCountField : kPe32PlusDirectoryCountField)] = 16;
  return b;
}

size_t SecurityEntry(bool pe32) {
  return kOptional + (pe32 ? kPe32DirectoryStart : kPe32PlusDirectoryStart) +
         kPeDirectorySize * kPeSecurityDirectory;
}

class LimitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/fern-limits-XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  void TearDown() override { system(("rm -rf " + dir_).c_str()); }

  // stub + archive + end marker, padding, trailer; then an optional certificate table
  // recorded in the stub's security directory. hint: the start written into the stub's
  // header (none when negative; the true start when 0); a trailer that is not kept points
  // nowhere.
  std::string WritePackage(const Bytes &archive, size_t certificate = 0, size_t after = 0,
                           int64_t hint = -1, bool keep_trailer = true) {
    Bytes file = PeStub();
    uint32_t start = (uint32_t)file.size();
    if (hint >= 0) {
      memcpy(&file[kStartHintOffset], kStartHintMark, sizeof kStartHintMark);
      WriteLe32(&file[kStartHintOffset + sizeof kStartHintMark], hint ? (uint32_t)hint : start);
    }
    file.insert(file.end(), archive.begin(), archive.end());
    file.insert(file.end(), {0, 0, 0, 0});
    Put32(&file, keep_trailer ? start : 0xFFFFFF00u);
    while (file.size() % 8 != 0) file.insert(file.end() - 6, 0);  // pad before the trailer
    if (certificate != 0) {
      size_t entry = 64 + kPeSignatureSize + kPeCoffHeaderSize + kPe32PlusDirectoryStart +
                     kPeDirectorySize * kPeSecurityDirectory;
      WriteLe32(&file[entry], (uint32_t)file.size());
      WriteLe32(&file[entry + 4], (uint32_t)certificate);
      file.insert(file.end(), certificate, 0xCE);
    }
    file.insert(file.end(), after, 0xAF);
    std::string path = dir_ + "/setup.exe";
    FILE *f = fopen(path.c_str(), "wb");
    fwrite(file.data(), 1, file.size(), f);
    fclose(f);
    return path;
  }

  // Walks the package in FullMode into dir_/out with host paths (no 259-byte limit).
  ArchiveResult Walk(const std::string &path, std::string *failure = nullptr) {
    system(("rm -rf " + dir_ + "/out && mkdir " + dir_ + "/out").c_str());
    PackageReader reader;
    ArchiveResult r = OpenPackage(path.c_str(), &reader);
    if (r == kArchiveOk) {
      ExtractObserver observer = {nullptr, HostPath, nullptr, nullptr, nullptr};
      r = ExtractEntries(&reader, (dir_ + "/out").c_str(), kFullMode, &observer);
    }
    if (failure != nullptr) *failure = reader.failure ? reader.failure : "";
    ClosePackage(&reader);
    return r;
  }

  static int HostPath(void *, const char *folder, const char *name, char *out, int size) {
    std::string path = std::string(folder) + "/" + name;
    if ((int)path.size() + 1 > size) return -1;
    memcpy(out, path.c_str(), path.size() + 1);
    return 0;
  }

  std::string dir_;
};

// The trailer of a signed package stands before a certificate table that ends the file;
// anything else is read as an unsigned file is.
TEST_F(LimitsTest, SignedPackageTrailer) {
  Bytes archive;
  AddFile(&archive, "install.env", "TITLEBAR T\r\n", Deflate("TITLEBAR T\r\n", 9));
  struct Row {
    const char *label;
    size_t certificate, after;
    int64_t hint;
    bool keep_trailer;
    ArchiveResult expected;
  } rows[] = {
      {"unsigned", 0, 0, -1, true, kArchiveOk},
      {"signed", 1464, 0, -1, true, kArchiveOk},
      {"signed, smallest table", 8, 0, -1, true, kArchiveOk},
      // Bytes after the table: the table does not end the file, so the last four bytes
      // are taken as the trailer, and they point nowhere.
      {"bytes after the certificate table", 1464, 4, -1, true, kArchiveDamaged},
      // The start in the stub's header spares the trailer, which is then never read.
      {"the header's start, no trailer", 0, 0, 0, false, kArchiveOk},
      {"the header's start, signed, no trailer", 1464, 0, 0, false, kArchiveOk},
      // A header start that cannot be one: the trailer decides.
      {"a header start inside the DOS header", 0, 0, kDosHeaderSize - 1, true, kArchiveOk},
      {"a header start past the data", 0, 0, 0xFFFFFF00, true, kArchiveOk},
      {"a header start past the data, no trailer", 0, 0, 0xFFFFFF00, false, kArchiveDamaged},
  };
  for (const Row &row : rows) {
    std::string path =
        WritePackage(archive, row.certificate, row.after, row.hint, row.keep_trailer);
    EXPECT_EQ(row.expected, Walk(path)) << row.label;
    if (row.expected == kArchiveOk) {
      EXPECT_EQ(0, access((dir_ + "/out/install.env").c_str(), F_OK)) << row.label;
    }
  }
  // A security directory that points past the end of the file is no signature.
  std::string path = WritePackage(archive, 16);
  FILE *f = fopen(path.c_str(), "r+b");
  fseek(f, 0, SEEK_END);
  long size = ftell(f);
  EXPECT_EQ((uint64_t)size - 16, PackageDataEnd(f, (uint64_t)size));
  EXPECT_EQ((uint64_t)size - 4, PackageDataEnd(f, (uint64_t)size - 4));  // table cut: none
  fclose(f);
}

// The certificate table is found only through well-formed headers of either form, and
// moves the trailer only when it leaves four bytes for it in front.
TEST(SignedPackageHeaders, TableOnlyThroughWellFormedHeaders) {
  struct Row {
    const char *label;
    bool pe32;
    size_t at;       // a byte of the stub to change, 0 for none
    unsigned value;  // its new value
    uint32_t table_offset;  // the table runs from here to the end of the file
    bool found;
    uint64_t data_end;  // PackageDataEnd
  } rows[] = {
      {"PE32+", false, 0, 0, 1016, true, 1016},
      {"PE32", true, 0, 0, 1016, true, 1016},
      {"not MZ", true, 1, 'X', 1016, false, 1024},
      {"not PE\\0\\0", true, 67, 1, 1016, false, 1024},
      {"unknown optional header", true, kOptional + 1, 3, 1016, false, 1024},
      {"5 directories", true, kOptional + kPe32DirectoryCountField, 5, 1016, true, 1016},
      {"4 directories: no security entry", true, kOptional + kPe32DirectoryCountField, 4, 1016,
       false, 1024},
      {"optional header holds the entry", true, 64 + 4 + kPeOptionalSizeField, 136, 1016, true,
       1016},
      {"optional header ends inside it", true, 64 + 4 + kPeOptionalSizeField, 135, 1016, false,
       1024},
      {"table at 4: room for the trailer", false, 0, 0, 4, true, 4},
      {"table at 3: no room", false, 0, 0, 3, true, 1024},
  };
  for (const Row &row : rows) {
    Bytes stub = PeStub(row.pe32);
    if (row.at != 0) stub[row.at] = (unsigned char)row.value;
    WriteLe32(&stub[SecurityEntry(row.pe32)], row.table_offset);
    WriteLe32(&stub[SecurityEntry(row.pe32) + 4], 1024 - row.table_offset);
    FILE *f = tmpfile();
    ASSERT_EQ(stub.size(), fwrite(stub.data(), 1, stub.size(), f));
    CertificateTable table = FindCertificateTable(f, stub.size());
    EXPECT_EQ(row.found ? row.table_offset : 0, table.offset) << row.label;
    EXPECT_EQ(row.data_end, PackageDataEnd(f, stub.size())) << row.label;
    fclose(f);
  }
}

// A zlib stream whose end falls exactly on a read-block edge (the package's unit and the
// reader's block), with a packed size that is exact, and one that claims one byte more;
// the file comes out whole, also across the output block's edge.
TEST_F(LimitsTest, StreamEndOnTheBlockEdge) {
  for (size_t edge : {(size_t)kArchiveBlockSize, (size_t)kReadBlockSize}) {
    std::string data;
    Bytes stream;
    srand(7);
    for (size_t n = edge - 64; stream.size() != edge; n++) {
      data.resize(n);
      for (char &c : data) c = (char)(rand() & 0xFF);
      stream = Deflate(data, 0);  // stored blocks: the size follows n exactly
      ASSERT_LE(stream.size(), edge + 64);
    }
    for (size_t extra : {(size_t)0, (size_t)1}) {
      Bytes archive;
      AddFile(&archive, "edge.bin", data, stream, extra);
      std::string failure;
      EXPECT_EQ(extra == 0 ? kArchiveOk : kArchiveDamaged, Walk(WritePackage(archive), &failure))
          << "packed size " << stream.size() + extra << ": " << failure;
      if (extra == 0) {
        EXPECT_TRUE(ReadTestFile(dir_ + "/out/edge.bin") == data) << edge;
      }
    }
  }
  // Unpacked sizes on the output block's edge, from a stream far shorter.
  for (size_t size : {(size_t)kOutputBlockSize, (size_t)kOutputBlockSize + 1}) {
    std::string data(size, 'z');
    data[size - 1] = 'e';
    Bytes archive;
    AddFile(&archive, "out.bin", data, Deflate(data, 9));
    EXPECT_EQ(kArchiveOk, Walk(WritePackage(archive))) << size;
    EXPECT_TRUE(ReadTestFile(dir_ + "/out/out.bin") == data) << size;
  }
}

// Names of 255 bytes (256 with the NUL, the buffer's size) go through the whole walk; one
// byte more is damage.
TEST_F(LimitsTest, LongestNameThroughTheWalk) {
  for (size_t length : {(size_t)kMaxNameSize - 1, (size_t)kMaxNameSize}) {
    std::string name = std::string(length - 4, 'n') + ".txt";
    Bytes archive;
    AddFile(&archive, name, "x", Deflate("x", 9));
    bool fits = length + 1 <= kMaxNameSize;
    EXPECT_EQ(fits ? kArchiveOk : kArchiveDamaged, Walk(WritePackage(archive))) << length;
    EXPECT_EQ(fits, access((dir_ + "/out/" + name).c_str(), F_OK) == 0) << length;
  }
}

// The space a package needs, by a walk over its headers: each file rounded up to the
// cluster estimate, at and one past a cluster's edge; folders cost nothing.
TEST_F(LimitsTest, SpaceNeededByTheHeaders) {
  Bytes archive;
  for (size_t size : {(size_t)0, (size_t)kClusterEstimate, (size_t)kClusterEstimate + 1}) {
    std::string data(size, 'z');
    AddFile(&archive, "f" + std::to_string(size), data, Deflate(data, 9));
  }
  Put16(&archive, 3);
  archive.insert(archive.end(), {'d', '\\', 0});
  Put32(&archive, kFolderMarker);
  Put32(&archive, 0);
  PackageReader reader;
  ASSERT_EQ(kArchiveOk, OpenPackage(WritePackage(archive).c_str(), &reader));
  uint64_t total = 0;
  EXPECT_EQ(kArchiveOk, SumUnpackedSizes(&reader, &total, nullptr, nullptr));
  EXPECT_EQ(3u * kClusterEstimate, total);
  ClosePackage(&reader);

  // A reinstallation: a file already in place frees what it takes, so only growth counts.
  ASSERT_EQ(kArchiveOk, OpenPackage(WritePackage(archive).c_str(), &reader));
  ExistingSize one_cluster_each = [](void *, const char *) -> uint64_t { return 1; };
  EXPECT_EQ(kArchiveOk, SumUnpackedSizes(&reader, &total, one_cluster_each, nullptr));
  EXPECT_EQ(1u * kClusterEstimate, total) << "only the file of two clusters grows";
  ClosePackage(&reader);
  struct Row {
    uint64_t unpacked, existing, growth;
  } rows[] = {
      {0, 0, 0},
      {1, 0, kClusterEstimate},
      {kClusterEstimate, kClusterEstimate - 1, 0},
      {kClusterEstimate + 1, kClusterEstimate, kClusterEstimate},
      {kClusterEstimate, 5ull << 30, 0},
      {5ull << 30, 0, 5ull << 30},
  };
  for (const Row &row : rows) {
    EXPECT_EQ(row.growth, SpaceGrowth(row.unpacked, row.existing)) << row.unpacked << " over " << row.existing;
  }
}

// The shortage message rounds the need up and the free space down, so that a need one
// byte over the free space never reads as equal.
TEST(SpaceLimits, ShortageMessage) {
  struct Row {
    uint64_t needed, available;
    const char *need_text, *free_text;
  } rows[] = {
      {1048576, 1048575, "必要な空き容量: 1 MB", "現在の空き容量: 0 MB"},
      {1048577, 1048576, "必要な空き容量: 2 MB", "現在の空き容量: 1 MB"},
      {5ull << 30, 3ull << 30, "必要な空き容量: 5120 MB", "現在の空き容量: 3072 MB"},
  };
  for (const Row &row : rows) {
    char text[1024];
    ASSERT_EQ(0, FormatSpaceShortage(text, sizeof text, row.needed, row.available));
    EXPECT_NE(nullptr, strstr(text, row.need_text)) << text;
    EXPECT_NE(nullptr, strstr(text, row.free_text)) << text;
  }
  char small[16];
  EXPECT_EQ(-1, FormatSpaceShortage(small, sizeof small, 1, 0));
  EXPECT_EQ('\0', small[sizeof small - 1]);
  // The message with its terminator fits exactly; one byte less does not.
  char text[1024];
  ASSERT_EQ(0, FormatSpaceShortage(text, sizeof text, 1, 0));
  size_t whole = strlen(text) + 1;
  EXPECT_EQ(0, FormatSpaceShortage(text, whole, 1, 0));
  EXPECT_EQ(-1, FormatSpaceShortage(text, whole - 1, 1, 0));
}

// A file that cannot be written is not damage: the result, the system's reason and the
// path are kept for the message.
TEST_F(LimitsTest, WriteFailureKeepsReasonAndPath) {
  Bytes archive;
  AddFile(&archive, "missing\\a.txt", "x", Deflate("x", 9));
  std::string failure;
  PackageReader reader;
  ASSERT_EQ(kArchiveOk, OpenPackage(WritePackage(archive).c_str(), &reader));
  ExtractObserver observer = {nullptr, HostPath, nullptr, nullptr, nullptr};
  std::string folder = dir_ + "/absent";  // no such folder: the file cannot be created
  EXPECT_EQ(kArchiveWriteFailed, ExtractEntries(&reader, folder.c_str(), kFullMode, &observer));
  EXPECT_EQ(ENOENT, reader.write_error);
  EXPECT_EQ(folder + "/missing\\a.txt", std::string(reader.failed_path));
  ClosePackage(&reader);

  // A folder entry that cannot be made (a file holds its name) fails at the folder, with
  // the system's reason, before any file inside is tried.
  Bytes nested;
  std::string name = "sub";
  Put16(&nested, (unsigned)name.size() + 1);
  nested.insert(nested.end(), name.begin(), name.end());
  nested.push_back(0);
  Put32(&nested, kFolderMarker);
  Put32(&nested, 0);
  AddFile(&nested, "sub\\a.txt", "x", Deflate("x", 9));
  ASSERT_EQ(kArchiveOk, OpenPackage(WritePackage(nested).c_str(), &reader));
  std::string blocked = dir_ + "/blocked";
  ASSERT_EQ(0, mkdir(blocked.c_str(), 0755));
  FILE *in_the_way = fopen((blocked + "/sub").c_str(), "wb");
  ASSERT_NE(nullptr, in_the_way);
  fclose(in_the_way);
  EXPECT_EQ(kArchiveWriteFailed, ExtractEntries(&reader, blocked.c_str(), kFullMode, &observer));
  EXPECT_EQ(EEXIST, reader.write_error);
  EXPECT_EQ(blocked + "/sub", std::string(reader.failed_path));
  ClosePackage(&reader);
}

// Every byte that the name check refuses as a character of its own.
TEST(NameLimits, EveryRefusedCharacterClass) {
  std::string refused;
  for (int c = 1; c < 0x20; c++) refused += (char)c;
  refused += "<>\"|?*";
  for (char c : refused) {
    std::string name = std::string("a") + c + "b.txt";
    EXPECT_EQ(kNameBadCharacter, CheckEntryName(name.c_str(), false)) << (int)(unsigned char)c;
  }
  EXPECT_EQ(kNameDrive, CheckEntryName("a:b", false));
  EXPECT_EQ(kNameOk, CheckEntryName(std::string(255, 'a').c_str(), false));
  EXPECT_EQ(kNameTooLong, CheckEntryName(std::string(256, 'a').c_str(), false));
}

// The largest picture that a stream can make (the first pixel and one long copy of 65539
// pixels from 6 bytes) is decoded; one pixel more is refused before any allocation.
TEST(PictureLimits, ReachOfTheStream) {
  const unsigned char stream[] = {1, 2, 3, 0x83, 0xFF, 0xFF};
  EXPECT_EQ(1u + 65539u, RctPixelReach(sizeof stream));
  for (int32_t width : {1 + 65539, 2 + 65539}) {
    Bytes file = {0x98, 0x5A, 0x92, 0x9A, 'T', 'C', '0', '0'};
    Put32(&file, (uint32_t)width);
    Put32(&file, 1);
    Put32(&file, sizeof stream);
    file.insert(file.end(), stream, stream + sizeof stream);
    RctHeader header;
    size_t offset = 0, size = 0;
    EXPECT_EQ(width == 1 + 65539 ? kRctOk : kRctTruncated,
              RctLocateStream(file.data(), file.size(), &header, &offset, &size))
        << width;
  }
}

// The padding after each row holds zeros once decoded, whatever the memory held before.
TEST(PictureLimits, RowPaddingIsCleared) {
  // 2 x 3 pixels, one pixel repeated: a stride of 8 leaves 2 padding bytes per row.
  const unsigned char stream[] = {9, 8, 7, 0x80, 0x83, 0, 0};
  unsigned char out[8 * 2 + 6];
  memset(out, 0xAA, sizeof out);
  ASSERT_EQ(kRctOk, RctDecode(stream, sizeof stream, 2, 3, out, sizeof out, 8));
  for (int row = 0; row < 2; row++) {
    EXPECT_EQ(0, out[row * 8 + 6]) << row;
    EXPECT_EQ(0, out[row * 8 + 7]) << row;
  }
  EXPECT_EQ(9, out[16]);
}

// 100,000 [ini] lines, all kept in order: the list's tail is kept, not searched for.
TEST(SectionLimits, HundredThousandLines) {
  std::string text = "[ini]\n";
  for (int i = 0; i < 100000; i++) text += "k" + std::to_string(i) + "=v\n";
  text += "-\n[ini]\nfirst=1\n-\n[reg]\n\"a\"=\"b\"\n-\n";
  FILE *stream = fmemopen((void *)text.data(), text.size(), "r");
  LineReader reader;
  StartLineReader(&reader, stream);
  SectionLists lists = {};
  int open_section = -1;
  ASSERT_EQ(kSectionReadOk, ReadSectionStream(&reader, &lists, &open_section, nullptr, nullptr));
  fclose(stream);
  // The second [ini] replaced the first; its tail starts again from the new head.
  ASSERT_NE(nullptr, lists.ini);
  EXPECT_STREQ("first=1", lists.ini->text);
  EXPECT_EQ(nullptr, lists.ini->next);
  FreeSectionLists(&lists);

  text = "[ini]\n";
  for (int i = 0; i < 100000; i++) text += "k" + std::to_string(i) + "=v\n";
  text += "-\n";
  stream = fmemopen((void *)text.data(), text.size(), "r");
  StartLineReader(&reader, stream);
  ASSERT_EQ(kSectionReadOk, ReadSectionStream(&reader, &lists, &open_section, nullptr, nullptr));
  fclose(stream);
  int count = 0;
  const SectionLine *last = nullptr;
  for (const SectionLine *line = lists.ini; line != nullptr; line = line->next, count++) {
    last = line;
  }
  EXPECT_EQ(100000, count);
  EXPECT_STREQ("k99999=v", last->text);
  FreeSectionLists(&lists);
}

}  // namespace
