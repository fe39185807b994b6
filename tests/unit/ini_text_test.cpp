#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "install/ini_text.h"

namespace {

struct Row {
  const char *label;
  const char *text;
  const char *section;
  const char *key;
  const char *value;
  const char *expected;
};

// 表示 is 95 5C 8E A6, ソフト 83 5C 83 74 83 67, ソフエ 83 5C 83 74 83 47 (its last trail
// byte is "ト"'s with the case of an ASCII letter changed), ゾーン 83 5D 81 5B 83 93.
const Row kRows[] = {
    {"new file", "", "s", "k", "v", "[s]\r\nk=v\r\n"},
    {"new section", "[a]\r\nx=1\r\n", "b", "k", "v", "[a]\r\nx=1\r\n[b]\r\nk=v\r\n"},
    {"new section, no final eol", "[a]\r\nx=1", "b", "k", "v", "[a]\r\nx=1\r\n[b]\r\nk=v\r\n"},
    {"replace, case differs", "[Game]\r\nPATH=old\r\nz=1\r\n", "game", "path", "C:\\G",
     "[Game]\r\npath=C:\\G\r\nz=1\r\n"},
    {"replace, blanks", "[ Game ]\r\n  Path \t=  old  \r\n", " Game", "path", "new",
     "[ Game ]\r\npath=new\r\n"},
    {"replace last line, no eol", "[s]\r\nk=1", "s", "k", "v", "[s]\r\nk=v"},
    {"line without equals", "[s]\r\nk\r\n", "s", "k", "v", "[s]\r\nk=v\r\n"},
    {"add before blank lines", "[a]\r\nx=1\r\n\r\n \t\r\n[b]\r\ny=2\r\n", "A", "k", "v",
     "[a]\r\nx=1\r\nk=v\r\n\r\n \t\r\n[b]\r\ny=2\r\n"},
    {"add to header at end", "[a]", "a", "k", "v", "[a]\r\nk=v\r\n"},
    {"first section counts", "[s]\r\na=1\r\n[s]\r\nk=1\r\n", "s", "k", "v",
     "[s]\r\na=1\r\nk=v\r\n[s]\r\nk=1\r\n"},
    {"lines before first section", "; c\r\nk=top\r\n[s]\r\n", "s", "k", "v",
     "; c\r\nk=top\r\n[s]\r\nk=v\r\n"},
    {"lf only, replace", "[s]\nk=1\nj=2\n", "s", "k", "v", "[s]\nk=v\nj=2\n"},
    {"lf only, add", "[s]\nj=2\n\n[t]\n", "s", "k", "v", "[s]\nj=2\nk=v\r\n\n[t]\n"},
    {"sjis replace", "[表示]\r\nソフト=0\r\n", "表示", "ソフト", "1", "[表示]\r\nソフト=1\r\n"},
    {"sjis trail bytes not folded", "[表示]\r\nソフエ=0\r\n", "表示", "ソフト", "1",
     "[表示]\r\nソフエ=0\r\nソフト=1\r\n"},
    {"sjis trail brackets", "[ゾーン]\r\nk=1\r\n", "ゾーン", "k", "2", "[ゾーン]\r\nk=2\r\n"},
    {"trail ] closes no header", "[a]\r\n[ゾ\r\nk=1\r\n", "a", "k", "2", "[a]\r\n[ゾ\r\nk=2\r\n"},
    {"lead byte before lf", "[s]\nk=\x83\nj=1\n", "s", "j", "v", "[s]\nk=\x83\nj=v\n"},
    {"lead byte before =", "[s]\nj\x83=1\n", "s", "j\x83", "v", "[s]\nj\x83=v\n"},
};

// Every row also runs with out exactly the size of the result (fits) and one byte short
// (-1, the size needed reported, and the byte past out_size untouched).
TEST(IniText, Rows) {
  for (const Row &row : kRows) {
    size_t need = strlen(row.expected);
    // The input sits in a buffer of its exact length, with no terminator to lean on.
    std::vector<char> text(row.text, row.text + strlen(row.text));
    std::vector<char> out(need + 1, '#');
    size_t length = 0;
    ASSERT_EQ(0, UpdateIniText(text.data(), text.size(), row.section, row.key, row.value,
                               out.data(), need, &length))
        << row.label;
    EXPECT_EQ(std::string(row.expected), std::string(out.data(), length)) << row.label;
    EXPECT_EQ('#', out[need]) << row.label;
    std::fill(out.begin(), out.end(), '#');
    EXPECT_EQ(-1, UpdateIniText(text.data(), text.size(), row.section, row.key, row.value,
                                out.data(), need - 1, &length))
        << row.label;
    EXPECT_EQ(need, length) << row.label;
    EXPECT_EQ('#', out[need - 1]) << row.label;
  }
}

TEST(IniText, RefusesWhatWouldBreakTheFile) {
  struct Refusal {
    const char *section, *key, *value;
  } rows[] = {
      {nullptr, "k", "v"}, {" ", "k", "v"},   {"s", "\t", "v"},   {"s", "k", nullptr},
      {"s\n", "k", "v"},   {"s", "k\r", "v"}, {"s", "k", "a\nb"}, {"s", "a=b", "v"},
      {"s", " [k", "v]"},
  };
  for (const Refusal &r : rows) {
    char out[64];
    size_t length = 99;
    EXPECT_EQ(-1, UpdateIniText("[s]\r\n", 5, r.section, r.key, r.value, out, sizeof out, &length))
        << (r.key ? r.key : "(null)");
    EXPECT_EQ(0u, length);
  }
}

// NUL bytes are bytes: kept, and part of the names they sit in. The text ends where its
// length says, even inside a line or after a lone lead byte.
TEST(IniText, BytesAndLengthOnly) {
  struct Case {
    std::string text;
    const char *section, *key;
    std::string expected;
  } cases[] = {
      {std::string("a\0b\r\n[s]\r\nk\0=1\r\n", 16), "s", "k",
       std::string("a\0b\r\n[s]\r\nk\0=1\r\nk=v\r\n", 21)},
      {std::string("[s]\r\nk=1\r\n[t]\r\nj=1\r\n").substr(0, 8), "t", "j",
       "[s]\r\nk=1\r\n[t]\r\nj=v\r\n"},
      {"[s]\r\nk\x83", "s", "j", "[s]\r\nk\x83\r\nj=v\r\n"},
  };
  for (const Case &c : cases) {
    std::vector<char> text(c.text.begin(), c.text.end());
    char out[64];
    size_t length = 0;
    ASSERT_EQ(0, UpdateIniText(text.data(), text.size(), c.section, c.key, "v", out, sizeof out,
                               &length));
    EXPECT_EQ(c.expected, std::string(out, length));
  }
}

}  // namespace
