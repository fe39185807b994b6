// The Shift-JIS <-> UTF-16 conversions at the Windows boundary. The same cases run natively
// (iconv's tables) and under Wine in the Windows tests (Windows' own tables), so the two
// agree on every limit: a text that exactly fills its buffer, one unit or byte more,
// broken double-byte characters, and characters that Shift-JIS cannot write.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "support/wide_text.h"

namespace {

std::u16string Units(const WideChar *wide) {
  std::u16string units;
  for (; *wide; wide++) units.push_back((char16_t)*wide);
  return units;
}

std::basic_string<WideChar> Wide(const char16_t *units) {
  std::basic_string<WideChar> wide;
  for (; *units; units++) wide.push_back((WideChar)*units);
  return wide;
}

struct DecodeRow {
  const char *label;
  const char *text;  // Shift-JIS bytes
  size_t count;      // units of room, terminator included
  int result;
  const char16_t *wide;  // expected on success
};

// "ソ" 83 5C and "表" 95 5C end in a backslash byte; "～" 81 60 and "＼" 81 5F are where
// code page 932 differs from plain Shift-JIS; "①" 87 40 is an NEC extension.
const DecodeRow kDecodeRows[] = {
    {"path with 0x5C trail bytes", "C:\\ソフト\\表", 64, 0, u"C:\\ソフト\\表"},
    {"code page 932 forms", "～＼①", 64, 0, u"\uFF5E\uFF3C\u2460"},
    {"half-width katakana", "ｷｬﾝｾﾙ", 64, 0, u"ｷｬﾝｾﾙ"},
    {"empty", "", 1, 0, u""},
    {"exactly fills", "ソフト", 4, 0, u"ソフト"},
    {"one unit short", "ソフト", 3, -1, nullptr},
    {"lead byte at the end", "A\x83", 64, -1, nullptr},
    {"lead byte, bad trail", "\x81\x20" "A", 64, -1, nullptr},
    {"lead byte, 0x7F trail", "\x81\x7F", 64, -1, nullptr},
    {"unassigned single 0x80", "\x80", 64, -1, nullptr},
    {"unassigned single 0xA0", "\xA0", 64, -1, nullptr},
    {"unassigned single 0xFD", "\xFD", 64, -1, nullptr},
    {"well-formed, no character", "\x85\x40", 64, -1, nullptr},
};

TEST(WideText, DecodesShiftJisExactlyOrRefuses) {
  for (const DecodeRow &row : kDecodeRows) {
    WideChar wide[64];
    wide[0] = 'x';
    EXPECT_EQ(row.result, SjisToWide(row.text, wide, row.count)) << row.label;
    EXPECT_EQ(row.result == 0 ? std::u16string(row.wide) : std::u16string(), Units(wide))
        << row.label;
  }
}

struct ShownRow {
  const char *label;
  const char *text;
  size_t count;
  const char16_t *wide;
};

const ShownRow kShownRows[] = {
    {"decodes", "インストール", 64, u"インストール"},
    {"bad trail: the lead byte stands in, the trail is read again", "\x81\x20" "A", 64,
     u"\u30FB A"},
    {"lead byte at the end", "AB\x83", 64, u"AB\u30FB"},
    {"unassigned byte", "A\xFF" "B", 64, u"A\u30FBB"},
    {"cut before a character that does not fit", "ソフト", 3, u"ソフ"},
    {"cut with a bad byte", "\xFF" "ソフト", 3, u"\u30FBソ"},
    {"one unit: empty", "ソ", 1, u""},
};

TEST(WideText, ShownTextsAlwaysEndAndMarkWhatDoesNotDecode) {
  for (const ShownRow &row : kShownRows) {
    WideChar wide[64];
    SjisToWideShown(row.text, wide, row.count);
    EXPECT_EQ(std::u16string(row.wide), Units(wide)) << row.label;
  }
}

struct EncodeRow {
  const char *label;
  const char16_t *wide;
  size_t size;  // bytes of room, terminator included
  int result;
  const char *text;
};

const EncodeRow kEncodeRows[] = {
    {"path with 0x5C trail bytes", u"C:\\ソフト\\表", 64, 0, "C:\\ソフト\\表"},
    {"code page 932 forms", u"\uFF5E\uFF3C\u2460", 64, 0, "～＼①"},
    {"a question mark is a character", u"a?b", 64, 0, "a?b"},
    {"exactly fills", u"ソフ", 5, 0, "ソフ"},
    {"one byte short", u"ソフ", 4, -1, ""},
    {"no Shift-JIS form", u"Jos\u00E9", 64, kWideNoSjisForm, ""},
    {"no best-fit look-alike", u"\u0101", 64, kWideNoSjisForm, ""},
    {"outside the BMP", u"\U0001F600", 64, kWideNoSjisForm, ""},
    {"lone surrogate", u"a\xD800" "b", 64, kWideNoSjisForm, ""},
};

TEST(WideText, EncodesShiftJisExactlyOrRefuses) {
  for (const EncodeRow &row : kEncodeRows) {
    std::basic_string<WideChar> wide = Wide(row.wide);
    char text[64];
    strcpy(text, "x");
    EXPECT_EQ(row.result, WideToSjis(wide.c_str(), text, row.size)) << row.label;
    EXPECT_STREQ(row.text, text) << row.label;
  }
}

TEST(WideText, AWholePathBufferAlwaysFitsItsWideBuffer) {
  char path[kPathSize];
  for (size_t i = 0; i + 2 < sizeof path; i += 2) memcpy(path + i, "表", 2);
  path[sizeof path - 2] = 'A';
  path[sizeof path - 1] = '\0';
  WideChar wide[kWidePathSize];
  ASSERT_EQ(0, SjisToWide(path, wide, kWidePathSize));
  char back[kPathSize];
  ASSERT_EQ(0, WideToSjis(wide, back, sizeof back));
  EXPECT_STREQ(path, back);
}

}  // namespace
