// Every case of fernpack's safety review, run as a publisher runs it; the table of their
// commands, exit codes and messages in docs/fernpack-cases.md is written from these rows
// and this test fails when the file differs. Regenerate it with
//   FERN_UPDATE_CASES=1 build/host/unit_tests --gtest_filter='FernpackCases.*'
#include <gtest/gtest.h>

#include <png.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/unit/fernpack_fixture.h"

namespace {

struct Case {
  const char *topic;
  const char *label;
  const char *setup;    // shell commands run first in the case's folder ("" for none)
  const char *command;  // the command shown and run
  int status;           // the exit code it must end with
  const char *after;    // a shell test that must hold afterwards ("" for none)
};

#define PACK "fernpack pack game -o out.exe --stub stub.exe --quiet"

const Case kCases[] = {
    {"Crash", "a file over the in-memory limit (256 MiB + 1 byte, sparse)",
     "truncate -s 268435457 game/big.bin", PACK " && fernpack verify out.exe", 0, ""},

    {"Inputs", "output is a file of the game folder", "", "fernpack pack game -o game/install.env --stub stub.exe",
     1, "grep -q TITLEBAR game/install.env"},
    {"Inputs", "output inside the game folder", "", "fernpack pack game -o game/setup.exe --stub stub.exe",
     1, "test ! -e game/setup.exe"},
    {"Inputs", "output is a FIFO", "mkfifo fifo", "fernpack pack game -o fifo --stub stub.exe", 1,
     "test -p fifo"},
    {"Inputs", "output is a link to /dev/null", "ln -s /dev/null null",
     "fernpack pack game -o null --stub stub.exe", 1, "test -L null"},
    {"Inputs", "output is the stub", "", "fernpack pack game -o stub.exe --stub stub.exe", 1, ""},
    {"Inputs", "output is a folder", "mkdir dist", "fernpack pack game -o dist --stub stub.exe", 1, ""},
    {"Inputs", "lint of a FIFO", "mkfifo fifo.env", "fernpack lint fifo.env", 1, ""},
    {"Inputs", "rct encode from a FIFO", "mkfifo fifo.png", "fernpack rct encode fifo.png f.rct",
     1, "test ! -e f.rct"},
    {"Inputs", "lint of a file of 16 MiB + 1 byte (sparse)", "truncate -s 16777217 big.env",
     "fernpack lint big.env", 1, ""},
    {"Inputs", "rct encode onto its input", "", "fernpack rct encode gray16.png gray16.png", 1,
     "cmp -s gray16.png gray16.keep"},

    {"Names", u8"'¥' becomes the separator byte 0x5C", u8"touch game/a¥b.txt", PACK, 1, ""},
    {"Names", "names equal after conversion", u8"touch game/〜.txt game/～.txt", PACK, 1, ""},
    {"Names", "names equal without letter case", "touch game/README.TXT", PACK, 1, ""},
    {"Names", "decomposed (NFD) name", u8"touch \"game/$(printf 'か\\343\\202\\231.txt')\"",
     PACK u8" && fernpack list out.exe | grep -c 'が.txt'", 0, ""},
    {"Names", "trailing dot", "touch game/notes.", PACK, 1, ""},
    {"Names", "trailing space", "touch 'game/notes '", PACK, 1, ""},
    {"Names", "symbolic link out of the game folder", "ln -s /etc/hostname game/host.txt", PACK,
     1, ""},
    {"Names", "symbolic link loop", "mkdir game/data && ln -s .. game/data/up", PACK, 1, ""},
    {"Names", "symbolic link inside the game folder", "ln -s readme.txt game/liesmich.txt",
     PACK " && fernpack verify out.exe", 0, ""},
    {"Names", "name not in UTF-8", "touch \"game/$(printf '\\351t\\351')\"", PACK, 1, ""},

    {"Switches", "--no-review is gone", "", PACK " --no-review", 2, ""},
    {"Switches", "no install.env", "rm game/install.env", PACK, 1, "test ! -e out.exe"},

    {"Checks", "supplied insttscr.rct that does not decode", "printf 'junk' > game/insttscr.rct",
     PACK, 1, ""},
    {"Checks", "16-bit PNG", "", "fernpack rct encode gray16.png g.rct", 0, ""},
    {"Checks", "PNG with transparent pixels", "", "fernpack rct encode alpha.png a.rct", 1,
     "test ! -e a.rct"},
    {"Checks", "lint: empty file", ": > e.env", "fernpack lint e.env", 1, ""},
    {"Checks", "lint: TITLEBAR, INSTTO, EXENAME missing", "printf 'INSTFOL\\tFern\\r\\n' > m.env",
     "fernpack lint m.env", 1, ""},
    {"Checks", "lint: indented key line",
     "{ cat game/install.env; printf '  INSTFOL\\tFern\\r\\n'; } > i.env", "fernpack lint i.env",
     1, ""},
    {"Checks", "lint: CR-only line ends",
     "printf 'TITLEBAR\\tFern\\rINSTTO\\tFern\\rEXENAME\\tfern.exe\\r' > c.env",
     "fernpack lint c.env", 1, ""},
    {"Checks", "lint: value longer than its buffer",
     "{ cat game/install.env; printf 'INSTFOL\\t%0130d\\r\\n' 0; } > l.env", "fernpack lint l.env",
     1, ""},
    {"Checks", "lint: backslash in TITLEBAR",
     "printf 'TITLEBAR\\tFern\\\\Quest\\r\\nINSTTO\\tFern\\r\\nEXENAME\\tfern.exe\\r\\n' > b.env",
     "fernpack lint b.env", 1, ""},

    {"Memory", "23-byte .rct claiming 30000 x 20000 pixels", "", "fernpack rct decode huge.rct h.png",
     1, ""},
    {"Memory", "68-byte .png claiming 20000 x 20000 pixels", "", "fernpack rct encode huge.png h.rct",
     1, ""},

    {"Messages", "bare stub", "", "fernpack list stub.exe", 1, ""},
    {"Messages", "damaged trailer",
     PACK " && printf 'X' | dd of=out.exe bs=1 seek=$(($(stat -c %s out.exe) - 1)) conv=notrunc "
          "2>/dev/null",
     "fernpack verify out.exe", 1, ""},
    {"Messages", "truncated package", PACK " && truncate -s 150 out.exe", "fernpack verify out.exe",
     1, ""},
    {"Messages", "damaged archive start in the header",
     PACK " && printf 'X' | dd of=out.exe bs=1 seek=44 conv=notrunc 2>/dev/null",
     "fernpack verify out.exe", 1, ""},
    {"Messages", "byte order mark before Shift-JIS text",
     "{ printf '\\357\\273\\277// \\203\\121\\201\\133\\203\\200\\r\\n'; cat game/install.env; } "
     "> bom.env",
     "fernpack lint bom.env", 1, ""},
    {"Messages", "cannot open", "", "fernpack verify missing.exe", 1, ""},
    {"Messages", "extract from a missing package", "", "fernpack extract missing.exe dest", 1,
     "test ! -e dest"},
    {"Inputs", "extract into a folder that holds files",
     PACK " && mkdir dest && echo mine > dest/readme.txt", "fernpack extract out.exe dest", 1,
     "grep -qx mine dest/readme.txt"},
    {"Inputs", "extract onto a file", PACK, "fernpack extract out.exe game/readme.txt", 1,
     "grep -q readme game/readme.txt"},
    {"Inputs", "extract into an empty folder", PACK " && mkdir dest",
     "fernpack extract out.exe dest && cmp game/readme.txt dest/readme.txt", 0, ""},
    {"Messages", "extract of a damaged entry",
     "seq 1 200000 > game/zz.txt && " PACK
     " && printf 'XXXX' | dd of=out.exe bs=1 seek=$(($(stat -c %s out.exe) - 400)) "
     "conv=notrunc 2>/dev/null",
     "fernpack extract out.exe x", 1, "test -e x/readme.txt && test ! -e x/zz.txt"},
    {"Messages", "SIGTERM during pack", "truncate -s 3000000000 game/big.bin",
     "fernpack pack game -o out.exe --stub stub.exe & "
     "until ls out.exe.partial-* >/dev/null 2>&1 || ! kill -0 $! 2>/dev/null; do sleep 0.01; done; "
     "kill -TERM $!; wait $! 2>/dev/null",
     143, "! ls out.exe* 2>/dev/null"},

    {"Conventions", "help for a command", "", "fernpack help verify", 0, ""},
    {"Conventions", "--help on a command", "", "fernpack pack --help", 0, ""},
    {"Conventions", "--help on list", "", "fernpack list --help", 0, ""},
    {"Conventions", "version", "", "fernpack --version", 0, ""},
    {"Conventions", "usage error", "", "fernpack pack game", 2, ""},
    {"Conventions", "unknown command", "", "fernpack frobnicate", 2, ""},
    {"Conventions", "lint of a clean file", "", "fernpack lint game/install.env", 0, ""},
    {"Conventions", "verify of a sound package", PACK, "fernpack verify out.exe", 0, ""},
};

void WriteFile(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The fixtures every case starts from: a stub, a sound game folder and a few pictures.
void Prepare(const std::string &dir) {
  WriteFile(dir + "/stub.exe", MinimalStub());
  mkdir((dir + "/game").c_str(), 0755);
  WriteFile(dir + "/game/install.env", "TITLEBAR\tFern\r\nINSTTO\tFern\r\nEXENAME\tfern.exe\r\n");
  WriteFile(dir + "/game/insttscr.rct", OnePixelPicture());
  WriteFile(dir + "/game/readme.txt", "readme\r\n");

  // 2 x 2 grey at half intensity, 16 bits per sample, as a drawing program saves it.
  png_image image;
  memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = 2;
  image.height = 2;
  image.format = PNG_FORMAT_LINEAR_Y;
  const uint16_t grey[4] = {0x8080, 0x8080, 0x8080, 0x8080};
  png_image_write_to_file(&image, (dir + "/gray16.png").c_str(), 0, grey, 0, nullptr);
  std::filesystem::copy_file(dir + "/gray16.png", dir + "/gray16.keep");
  memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = 2;
  image.height = 1;
  image.format = PNG_FORMAT_BGRA;
  const unsigned char half[8] = {0, 0, 255, 255, 0, 0, 255, 128};
  png_image_write_to_file(&image, (dir + "/alpha.png").c_str(), 0, half, 0, nullptr);

  // Headers that claim pictures of gigabytes.
  std::string rct("\x98\x5A\x92\x9A" "TC00" "\x30\x75\0\0" "\x20\x4E\0\0" "\x03\0\0\0" "abc", 23);
  WriteFile(dir + "/huge.rct", rct);
  std::string png("\x89PNG\r\n\x1A\n" "\0\0\0\x0DIHDR" "\0\0\x4E\x20" "\0\0\x4E\x20"
                  "\x08\x06\0\0\0" "CRC!" "\0\0\0\x0BIDAT" "\x78\x9C\x63\0\0\0\x01\0\x01\0\0"
                  "CRC!" "\0\0\0\0IEND" "\xAE\x42\x60\x82", 68);
  WriteFile(dir + "/huge.png", png);
}

std::string Cell(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '|') {
      out += "\\|";
    } else if (c == '\n') {
      out += "<br>";
    } else if (c == '\r') {
      continue;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Trim(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

std::string Code(const std::string &text) {
  return text.empty() ? "" : "`" + Cell(text) + "`";
}

TEST(FernpackCases, EveryCaseAndTheTable) {
  std::string bin = std::filesystem::path(FERNPACK_PATH).parent_path().string();
  std::ostringstream table;
  table << "# fernpack: the cases of the safety review\n\n"
           "Written by `tests/unit/fernpack_cases_test.cpp` from its rows; do not edit by "
           "hand. Regenerate with\n`FERN_UPDATE_CASES=1 build/host/unit_tests "
           "--gtest_filter='FernpackCases.*'`.\n\n"
           "Each case runs in a fresh folder holding `stub.exe` (a stand-in installer "
           "program), `game/` (install.env with TITLEBAR, INSTTO and EXENAME, a 1 x 1 "
           "insttscr.rct, readme.txt), `gray16.png` (2 x 2, 16-bit grey), `alpha.png` (one "
           "opaque and one half-transparent pixel), and `huge.rct` and `huge.png` (headers "
           "claiming pictures of gigabytes). The message is everything the command "
           "printed.\n\n"
           "| Topic | Case | Set-up | Command | Exit | Message |\n"
           "|---|---|---|---|---|---|\n";
  for (const Case &c : kCases) {
    char pattern[] = "/tmp/fern-case-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    std::string dir = pattern;
    Prepare(dir);
    std::string env = "cd " + dir + " && export PATH=" + bin + ":$PATH LC_ALL=C.UTF-8 && ";
    std::string output;
    if (c.setup[0] != '\0') {
      ASSERT_EQ(0, RunShell(env + "(" + c.setup + ")", &output)) << c.label << ": " << output;
    }
    int status = RunShell(env + "(" + c.command + ")", &output);
    EXPECT_EQ(c.status, status) << c.label << ": " << output;
    if (c.after[0] != '\0') {
      std::string after;
      EXPECT_EQ(0, RunShell(env + "(" + c.after + ")", &after)) << c.label << ": " << c.after;
    }
    std::filesystem::remove_all(dir);
    table << "| " << c.topic << " | " << Cell(c.label) << " | " << Code(c.setup) << " | "
          << Code(c.command) << " | " << status << " | " << Cell(Trim(output)) << " |\n";
  }
  std::string path = std::string(FERN_SOURCE_DIR) + "/docs/fernpack-cases.md";
  const char *update = getenv("FERN_UPDATE_CASES");
  if (update != nullptr && strcmp(update, "1") == 0) {
    WriteFile(path, table.str());
    return;
  }
  std::ifstream in(path, std::ios::binary);
  std::stringstream current;
  current << in.rdbuf();
  EXPECT_EQ(table.str(), current.str())
      << "docs/fernpack-cases.md is stale; regenerate it with FERN_UPDATE_CASES=1 "
         "build/host/unit_tests --gtest_filter='FernpackCases.*'";
}

}  // namespace
