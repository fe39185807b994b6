#include <gtest/gtest.h>

#include <windows.h>


#include <stdio.h>
#include <string.h>

#include "app/workfolder.h"

namespace {

bool Exists(const char *path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

void Touch(const char *path) {
  FILE *f = fopen(path, "wb");
  ASSERT_NE(nullptr, f) << path;
  fputs("x", f);
  fclose(f);
}

TEST(WorkFolder, CreatedInTempAndMadeCurrent) {
  char before[MAX_PATH];
  GetCurrentDirectoryA(sizeof before, before);
  CreateWorkFolder();
  const char *folder = WorkFolder();
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  EXPECT_EQ(0, strncmp(folder, temp, strlen(temp)));
  EXPECT_NE(nullptr, strstr(folder, "TempQVInstallFolder_"));
  char current[MAX_PATH];
  GetCurrentDirectoryA(sizeof current, current);
  EXPECT_STREQ(folder, current);
  EXPECT_STREQ(before, StartFolder());

  Touch("install.env");
  Touch("readme.txt");
  RemoveWorkFolder();
  EXPECT_FALSE(Exists(folder));
  GetCurrentDirectoryA(sizeof current, current);
  EXPECT_STREQ(before, current);
}

TEST(WorkFolder, SubFolderKeepsFolderButPlainFilesGo) {
  CreateWorkFolder();
  char folder[MAX_PATH];
  strcpy(folder, WorkFolder());
  Touch("a.txt");
  CreateDirectoryA("sub", nullptr);
  Touch("sub\\inner.txt");
  RemoveWorkFolder();
  char path[MAX_PATH];
  snprintf(path, sizeof path, "%s\\a.txt", folder);
  EXPECT_FALSE(Exists(path));
  snprintf(path, sizeof path, "%s\\sub\\inner.txt", folder);
  EXPECT_TRUE(Exists(path));
  DeleteFileA(path);
  snprintf(path, sizeof path, "%s\\sub", folder);
  RemoveDirectoryA(path);
  RemoveDirectoryA(folder);
}

TEST(WorkFolder, TwoRunsInOneTickGetTwoFolders) {
  // The second creation finds the first folder present and takes the next name.
  CreateWorkFolder();
  char first[MAX_PATH];
  strcpy(first, WorkFolder());
  CreateWorkFolder();
  EXPECT_STRNE(first, WorkFolder());
  RemoveWorkFolder();
  RemoveDirectoryA(first);
}

TEST(WorkFolder, EveryNameTakenLeavesItEmptyAndTheFoldersAlone) {
  // Every name that the next tick could give is taken by a folder of someone else's:
  // start-up must not adopt one of them (and later empty it). The folders are made for a
  // window of ticks that starts two seconds ahead, then the test waits for the clock to
  // reach it. (Making folders faster than the clock runs does not work everywhere: Wine
  // makes a folder in a large folder more slowly than one a millisecond.)
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const uint32_t kWindow = 64 + 400;  // the attempts start-up makes, and slack to wake up
  // Folders exist for ticks [first, made_to); they go however the test ends.
  struct TakenNames {
    const char *temp;
    uint32_t first, made_to;
    ~TakenNames() {
      char path[MAX_PATH];
      for (uint32_t tick = first; tick != made_to; tick++) {
        BuildWorkFolderPath(temp, tick, path, sizeof path);
        RemoveDirectoryA(path);
      }
    }
  } taken{temp, GetTickCount() + 2000, 0};
  const uint32_t first = taken.first;
  char path[MAX_PATH];
  for (taken.made_to = first; taken.made_to != first + kWindow; taken.made_to++) {
    ASSERT_EQ(0, BuildWorkFolderPath(temp, taken.made_to, path, sizeof path));
    CreateDirectoryA(path, nullptr);
  }
  ASSERT_LT((int32_t)(GetTickCount() - first), 0) << "making the folders took over 2 s";
  while ((int32_t)(GetTickCount() - first) < 0) Sleep(1);
  ASSERT_LT(GetTickCount() - first, kWindow - 64 - 50) << "the test woke too late";
  ASSERT_EQ(0, BuildWorkFolderPath(temp, GetTickCount() + 10, path, sizeof path));
  char precious[MAX_PATH];
  snprintf(precious, sizeof precious, "%s\\keep.txt", path);
  Touch(precious);
  char before[MAX_PATH];
  GetCurrentDirectoryA(sizeof before, before);
  CreateWorkFolder();
  EXPECT_STREQ("", WorkFolder());
  char current[MAX_PATH];
  GetCurrentDirectoryA(sizeof current, current);
  EXPECT_STREQ(before, current);
  RemoveWorkFolder();
  EXPECT_TRUE(Exists(precious));
  DeleteFileA(precious);
}

TEST(PlainFileSearch, ReturnsFilesWithFolderPartAndSkipsFolders) {
  char base[MAX_PATH];
  GetTempPathA(sizeof base, base);
  strcat(base, "fern_search_test");
  CreateDirectoryA(base, nullptr);
  char path[MAX_PATH];
  snprintf(path, sizeof path, "%s\\one.dat", base);
  Touch(path);
  snprintf(path, sizeof path, "%s\\folder", base);
  CreateDirectoryA(path, nullptr);
  char pattern[MAX_PATH];
  snprintf(pattern, sizeof pattern, "%s\\*.*", base);
  ASSERT_EQ(0, FirstPlainFile(pattern));
  int count = 0;
  while (const char *found = NextPlainFile()) {
    snprintf(path, sizeof path, "%s\\one.dat", base);
    EXPECT_STREQ(path, found);
    count++;
  }
  EXPECT_EQ(1, count);
  EXPECT_EQ(nullptr, NextPlainFile());
  snprintf(pattern, sizeof pattern, "%s\\*.none", base);
  EXPECT_EQ(1, FirstPlainFile(pattern));
  EXPECT_EQ(nullptr, NextPlainFile());

  DeleteFolderFiles(base, "*.*");
  snprintf(path, sizeof path, "%s\\one.dat", base);
  EXPECT_FALSE(Exists(path));
  snprintf(path, sizeof path, "%s\\folder", base);
  RemoveDirectoryA(path);
  RemoveDirectoryA(base);
}

TEST(PlainFileSearch, DeleteInMissingFolderDeletesNothingElsewhere) {
  // The current folder holds a file; asking to clear a folder that does not exist must
  // not fall back to clearing the current one.
  char base[MAX_PATH];
  GetTempPathA(sizeof base, base);
  strcat(base, "fern_keep_test");
  CreateDirectoryA(base, nullptr);
  char saved[MAX_PATH];
  GetCurrentDirectoryA(sizeof saved, saved);
  SetCurrentDirectoryA(base);
  Touch("keep.me");
  DeleteFolderFiles("C:\\no\\such\\folder", "*.*");
  EXPECT_TRUE(Exists("keep.me"));
  DeleteFileA("keep.me");
  SetCurrentDirectoryA(saved);
  RemoveDirectoryA(base);
}

}  // namespace
