// The start-up preview over the packed sample game, on Windows: exactly the settings file,
// the menu picture and the readme are written, with their stored times, and nothing else
// is inflated.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/package_reader.h"

namespace {

struct Seen {
  std::vector<std::string> started;
};

void OnStarted(void *context, const char *path, uint32_t) {
  ((Seen *)context)->started.push_back(path);
}

// The stored entries, read with the reader itself: name -> last-write time.
struct Stored {
  std::string name;
  uint64_t time;
  int64_t bytes;  // what the entry occupies in the archive
};

std::vector<Stored> ReadCatalogue(const char *package) {
  std::vector<Stored> entries;
  PackageReader reader;
  EntryHeader entry;
  if (OpenPackage(package, &reader) != kArchiveOk) return entries;
  while (ReadEntryHeader(&reader, &entry) == kArchiveOk) {
    Stored s = {entry.name, 0, (int64_t)entry.name_length + 10};
    if (!entry.is_folder) {
      ReadEntryTime(&reader, &s.time);
      SkipPackedData(&reader, &entry);
      s.bytes += 8 + entry.packed_size;
    }
    entries.push_back(s);
  }
  ClosePackage(&reader);
  return entries;
}

TEST(PreviewWin32, SamplePackageYieldsTheThreePreviewFiles) {
  const char *fixture = getenv("FERN_SAMPLE_PACKAGE");
  if (fixture == nullptr) GTEST_SKIP() << "FERN_SAMPLE_PACKAGE not set";
  std::string package = std::string("Z:") + fixture;
  for (char &c : package) {
    if (c == '/') c = '\\';
  }
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string folder = std::string(temp) + "fern_preview_test";
  CreateDirectoryA(folder.c_str(), nullptr);

  PackageReader reader;
  ASSERT_EQ(kArchiveOk, OpenPackage(package.c_str(), &reader));
  Seen seen;
  ExtractObserver observer = {&seen, nullptr, OnStarted, nullptr, nullptr};
  ASSERT_EQ(kArchiveOk, ExtractEntries(&reader, folder.c_str(), kPreviewMode, &observer));
  int64_t consumed = reader.consumed;
  ClosePackage(&reader);

  // Exactly three files were written, and only those were inflated.
  ASSERT_EQ(3u, seen.started.size());
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  std::vector<std::string> present;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) present.push_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(present.begin(), present.end());
  EXPECT_EQ((std::vector<std::string>{"install.env", "insttscr.rct", "readme.txt"}), present);

  // Each carries its stored time; the walk consumed the headers of the skipped entries
  // and the whole of the three it unpacked, up to the first nested folder.
  int64_t expected = 0;
  for (const Stored &s : ReadCatalogue(package.c_str())) {
    bool nested_folder = s.name.find('\\') != std::string::npos && s.name.back() == '\\' &&
                         s.name.find('\\') != s.name.size() - 1;
    if (nested_folder) {
      expected += s.bytes;
      break;
    }
    bool preview = s.name == "install.env" || s.name == "insttscr.rct" || s.name == "readme.txt";
    expected += preview ? s.bytes : (int64_t)s.name.size() + 1 + 10;
    if (!preview) continue;
    HANDLE h = CreateFileA((folder + "\\" + s.name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << s.name;
    FILETIME written;
    GetFileTime(h, nullptr, nullptr, &written);
    CloseHandle(h);
    EXPECT_EQ(s.time, ((uint64_t)written.dwHighDateTime << 32) | written.dwLowDateTime) << s.name;
    DeleteFileA((folder + "\\" + s.name).c_str());
  }
  EXPECT_EQ(expected, consumed);
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
