// Shared by the fernpack tests: a stand-in installer stub and a picture that decode and
// parse like the real ones, and running fernpack as a publisher does.
#ifndef FERN_TESTS_UNIT_FERNPACK_FIXTURE_H
#define FERN_TESTS_UNIT_FERNPACK_FIXTURE_H

#include <stdio.h>
#include <string.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

// The smallest Windows program header fernpack accepts as a stub: "MZ", "PE\0\0", a COFF
// header with one section of 16 bytes at offset 128, no optional header. 144 bytes.
inline std::string MinimalStub() {
  std::string b(144, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  b[0x3C] = 64;
  memcpy(&b[64], "PE\0\0", 4);
  b[68] = 0x4C;  // i386
  b[69] = 0x01;
  b[70] = 1;     // one section
  b[88 + 16] = 16;           // its raw size
  b[88 + 20] = (char)128;    // its raw offset
  memcpy(&b[128], "stand-in program", 16);
  return b;
}

// Every fernpack that the tests run packs this stand-in as UnInst.exe (through
// $FERNSTALL_UNINSTALLER), so that packages do not depend on the Windows build and their
// bytes stay the same when the uninstaller changes.
inline const bool kStandInUninstaller = [] {
  static char path[64];
  snprintf(path, sizeof path, "/tmp/fern-uninst-standin-%d.exe", (int)getpid());
  FILE *f = fopen(path, "wb");
  if (f == nullptr) return false;
  std::string bytes = MinimalStub();
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  setenv("FERNSTALL_UNINSTALLER", path, 1);
  // Only the process that wrote it removes it: a forked child that exits must not take it
  // away from the tests still to run.
  static pid_t owner = getpid();
  atexit([] {
    if (getpid() == owner) remove(path);
  });
  return true;
}();

// A 1 x 1 menu picture: header, then one literal pixel.
inline std::string OnePixelPicture() {
  return std::string("\x98\x5A\x92\x9A" "TC00" "\x01\0\0\0" "\x01\0\0\0" "\x03\0\0\0"
                     "\x10\x20\x30", 23);
}

// Whole files, for setting up and reading back test folders.
inline void WriteTestFile(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
inline std::string ReadTestFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs a shell command; its exit status, with stdout and stderr together in *output.
inline int RunShell(const std::string &command, std::string *output) {
  FILE *p = popen((command + " 2>&1").c_str(), "r");
  output->clear();
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) output->append(buffer, n);
  int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif
