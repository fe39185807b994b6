// The per-user product values under Wine: a remembered folder is read whole or not at all.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "install/install_steps.h"
#include "support/sjis.h"
#include "support/wide_win32.h"

namespace {

const char kGlobal[] = "FernRegistryTest";
const char kLocal[] = "Game";

TEST(ProductValues, ARememberedFolderIsReadWholeOrNotAtAll) {
  struct Row {
    size_t length;
    bool read;
  } rows[] = {{kPathSize - 1, true}, {kPathSize, false}, {kPathSize + 40, false}};
  for (const Row &row : rows) {
    // A path of that many bytes whose last character is a double-byte one, so that a
    // value cut at the buffer's end would end inside it.
    std::string value = "C:\\" + std::string(row.length - 5, 'a') + "\x83\x5C";
    ASSERT_EQ(row.length, value.size());
    ASSERT_EQ(0, WriteProductString(kGlobal, kLocal, "InstTo", value.c_str()));
    char out[kPathSize];
    int result = ReadProductString(kGlobal, kLocal, "InstTo", "C:\\Default", out, sizeof out);
    EXPECT_EQ(row.read ? 0 : -1, result) << row.length;
    EXPECT_EQ(row.read ? value : std::string("C:\\Default"), std::string(out)) << row.length;
  }
  SjisRegDeleteKey(HKEY_CURRENT_USER, "Software\\FernRegistryTest\\Game");
  SjisRegDeleteKey(HKEY_CURRENT_USER, "Software\\FernRegistryTest");
}

}  // namespace
