// The extraction core on Windows: Shift-JIS names through the ANSI file API, folders,
// stored last-write times, and the resource-file helpers.
#include <gtest/gtest.h>

#include <windows.h>

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "archive/file_writer.h"
#include "archive/package_reader.h"
#include "support/messages.h"

namespace {

const uint64_t kStamp = 0x01C80052614FD800ull;  // 2007-09-26 15:32:00 UTC

void AddEntry(std::vector<unsigned char> *a, const char *name, const std::string *data) {
  size_t length = strlen(name) + 1;
  unsigned char field[8];
  WriteLe16(field, (uint16_t)length);
  a->insert(a->end(), field, field + 2);
  a->insert(a->end(), name, name + length);
  if (data == nullptr) {
    WriteLe32(field, kFolderMarker);
    WriteLe32(field + 4, 0);
    a->insert(a->end(), field, field + 8);
    return;
  }
  std::vector<unsigned char> stream(compressBound(data->size()));
  uLongf size = stream.size();
  compress2(stream.data(), &size, (const Bytef *)data->data(), data->size(), 9);
  WriteLe32(field, (uint32_t)data->size());
  WriteLe32(field + 4, (uint32_t)size);
  a->insert(a->end(), field, field + 8);
  WriteLe64(field, kStamp);
  a->insert(a->end(), field, field + 8);
  a->insert(a->end(), stream.begin(), stream.begin() + size);
}

void WriteBytes(const std::string &path, const std::vector<unsigned char> &bytes) {
  FILE *f = fopen(path.c_str(), "wb");
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

std::string TempPath(const char *leaf) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  return std::string(temp) + leaf;
}

TEST(ExtractWin32, FullModeWritesShiftJisNamesFoldersAndTimes) {
  EXPECT_EQ(932u, GetACP()) << "the tests run with the Japanese ANSI code page";
  std::string folder = TempPath("fern_extract_test");
  CreateDirectoryA(folder.c_str(), nullptr);
  std::vector<unsigned char> archive(8, 'S');  // a stub of 8 bytes
  std::string big(300000, 'b'), small = "ソフト";
  AddEntry(&archive, "install.env", &small);
  AddEntry(&archive, "データ\\", nullptr);
  AddEntry(&archive, "データ\\表.txt", &big);
  // Past the writer's ring and its slots: a file longer than the ring, whose blocks must
  // land in order, and more files than slots.
  std::string patterned(kWriterRingSize + 3 * kOutputBlockSize + 17, '\0');
  for (size_t i = 0; i < patterned.size(); i++) patterned[i] = (char)(i * 7 / 4096);
  AddEntry(&archive, "long.bin", &patterned);
  AddEntry(&archive, "many\\", nullptr);
  // A name whose trailing dot a full path drops: the writer must create what the walk
  // would, not a name the system's own calls cannot reach.
  AddEntry(&archive, "many\\dot.", &small);
  AddEntry(&archive, "many\\space ", &small);
  const int kMany = kWriterSlots + 40;
  for (int i = 0; i < kMany; i++) {
    std::string name = "many\\" + std::to_string(i) + ".txt", text = std::to_string(i * i);
    AddEntry(&archive, name.c_str(), &text);
  }
  archive.insert(archive.end(), {0, 0, 0, 0});
  unsigned char trailer[4];
  WriteLe32(trailer, 8);
  archive.insert(archive.end(), trailer, trailer + 4);
  std::string package = TempPath("fern_extract_test.exe");
  WriteBytes(package, archive);

  // The installer's way: the files written on the writer's thread.
  PackageReader reader;
  ExtractObserver threaded = {nullptr, nullptr, nullptr, nullptr, ThreadedFileWriter()};
  ASSERT_EQ(kArchiveOk, OpenPackage(package.c_str(), &reader));
  ASSERT_EQ(kArchiveOk, ExtractEntries(&reader, folder.c_str(), kFullMode, &threaded));
  ClosePackage(&reader);
  std::string read_back;
  FILE *f = fopen((folder + "\\long.bin").c_str(), "rb");
  ASSERT_NE(nullptr, f);
  read_back.resize(patterned.size() + 1);
  read_back.resize(fread(&read_back[0], 1, read_back.size(), f));
  fclose(f);
  EXPECT_TRUE(read_back == patterned) << "the long file differs";
  for (int i = 0; i < kMany; i += kMany - 1) {
    std::string path = folder + "\\many\\" + std::to_string(i) + ".txt";
    char text[32] = "";
    f = fopen(path.c_str(), "rb");
    ASSERT_NE(nullptr, f) << path;
    text[fread(text, 1, sizeof text - 1, f)] = '\0';
    fclose(f);
    EXPECT_EQ(std::to_string(i * i), text);
  }

  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\many\\dot*").c_str(), &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  EXPECT_STREQ("dot", found.cFileName);
  FindClose(search);
  search = FindFirstFileA((folder + "\\many\\space*").c_str(), &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  EXPECT_STREQ("space", found.cFileName);
  FindClose(search);

  // The same file seen through the Unicode API: the Shift-JIS name became the right
  // characters.
  wchar_t wide_folder[MAX_PATH];
  MultiByteToWideChar(932, 0, folder.c_str(), -1, wide_folder, MAX_PATH);
  std::wstring wide = std::wstring(wide_folder) + L"\\\x30C7\x30FC\x30BF\\\x8868.txt";
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  FILETIME written;
  GetFileTime(h, nullptr, nullptr, &written);
  EXPECT_EQ(kStamp, ((uint64_t)written.dwHighDateTime << 32) | written.dwLowDateTime);
  EXPECT_EQ(300000u, GetFileSize(h, nullptr));
  CloseHandle(h);

  // Extracting again over the files replaces them and sets the time again.
  ASSERT_EQ(kArchiveOk, OpenPackage(package.c_str(), &reader));
  EXPECT_EQ(kArchiveOk, ExtractEntries(&reader, folder.c_str(), kFullMode, nullptr));
  ClosePackage(&reader);

  // A file the writer's thread cannot create (a file holds its folder's name) is told with
  // the C library's reason and its path, and nothing after it is written.
  std::vector<unsigned char> refused(8, 'S');
  AddEntry(&refused, "install.env\\x.txt", &small);
  AddEntry(&refused, "after.txt", &small);
  refused.insert(refused.end(), {0, 0, 0, 0});
  refused.insert(refused.end(), trailer, trailer + 4);
  WriteBytes(package, refused);
  ASSERT_EQ(kArchiveOk, OpenPackage(package.c_str(), &reader));
  EXPECT_EQ(kArchiveWriteFailed, ExtractEntries(&reader, folder.c_str(), kFullMode, &threaded));
  EXPECT_EQ(ENOENT, reader.write_error);
  EXPECT_EQ(folder + "\\install.env\\x.txt", std::string(reader.failed_path));
  ClosePackage(&reader);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((folder + "\\after.txt").c_str()));

  // A folder whose name a file holds fails there, with the C library's reason.
  std::vector<unsigned char> blocked(8, 'S');
  AddEntry(&blocked, "install.env\\", nullptr);
  blocked.insert(blocked.end(), {0, 0, 0, 0});
  blocked.insert(blocked.end(), trailer, trailer + 4);
  WriteBytes(package, blocked);
  ASSERT_EQ(kArchiveOk, OpenPackage(package.c_str(), &reader));
  EXPECT_EQ(kArchiveWriteFailed, ExtractEntries(&reader, folder.c_str(), kFullMode, nullptr));
  EXPECT_EQ(EEXIST, reader.write_error);
  EXPECT_EQ(folder + "\\install.env\\", std::string(reader.failed_path));
  ClosePackage(&reader);

  DeleteFileW(wide.c_str());
  RemoveDirectoryW((std::wstring(wide_folder) + L"\\\x30C7\x30FC\x30BF").c_str());
  DeleteFileA((folder + "\\install.env").c_str());
  DeleteFileA((folder + "\\long.bin").c_str());
  for (int i = 0; i < kMany; i++) {
    DeleteFileA((folder + "\\many\\" + std::to_string(i) + ".txt").c_str());
  }
  DeleteFileA((folder + "\\many\\dot").c_str());
  DeleteFileA((folder + "\\many\\space").c_str());
  RemoveDirectoryA((folder + "\\many").c_str());
  RemoveDirectoryA(folder.c_str());
  DeleteFileA(package.c_str());
}

TEST(ResourceFiles, ExistsOpensAndReportsAbsenceSilently) {
  std::string path = TempPath("fern_resource.env");
  DeleteFileA(path.c_str());
  EXPECT_EQ(0, ResourceExists(path.c_str()));
  FILE *f = fopen(path.c_str(), "wb");
  fclose(f);
  EXPECT_EQ(1, ResourceExists(path.c_str()));  // present but empty
  FILE *opened = OpenResourceFile(path.c_str(), "rb");
  ASSERT_NE(nullptr, opened);
  fclose(opened);
  DeleteFileA(path.c_str());
}

TEST(Messages, LongTextsAreCutAtACharacterBoundary) {
  std::string inserted(2000, 'a');
  inserted[1021] = '\x83';  // a double-byte character across the cut
  inserted[1022] = '\x5C';
  char text[kMessageSize];
  va_list none;
  auto format = [&](const char *fmt, ...) {
    va_start(none, fmt);
    FormatMessageText(text, sizeof text, fmt, none);
    va_end(none);
  };
  format("x%s", inserted.c_str());
  // "x" + 1021 letters fit; the lead byte that would be left alone is dropped.
  EXPECT_EQ(1022u, strlen(text));
}

}  // namespace
