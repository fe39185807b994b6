// fernpack lint: tells a publisher what in an install.env will silently misbehave (or stop
// the installer), one finding per line. It reads the file with the installer's own key
// and section readers (settings/settings_file.h, settings/section_lists.h), so what it
// reports is what the installer will do.
//
// Errors: a section left open (the installer stops with an error); a file that is not
// Shift-JIS text (saved as UTF-8, a byte order mark, invalid bytes: every Japanese text
// would be garbled); lines ended by CR alone (they run together); an empty file; a value
// longer than the installer's buffer for it (cut wherever the cut falls); a TITLEBAR with
// a backslash (the single-instance lock cannot be made, and the installer ends without a
// word). Everything else is a warning, among them a missing TITLEBAR, INSTTO or EXENAME
// and an indented key line. `fernpack pack` refuses a package exactly when lint finds an
// error.
#ifndef FERN_TOOLS_FERNPACK_LINT_H
#define FERN_TOOLS_FERNPACK_LINT_H

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

struct LintFinding {
  int line = 0;         // physical line (1-based); 0 for the file as a whole
  bool error = false;   // false: warning
  std::string message;  // English; file text in it is converted to UTF-8
};

// Answers whether the package will hold a file of this entry name (Shift-JIS, backslashes;
// letters A to Z compared without case, as the installer compares names).
typedef std::function<bool(const std::string &entry_name)> PackageFileTest;

// Checks the bytes of a settings file. has_file may be empty when the game folder is not
// known; the readme is then not checked. Findings come in line order. Returns false with
// *error only when the check itself could not run.
bool LintSettingsText(const std::string &bytes, const PackageFileTest &has_file,
                      std::vector<LintFinding> *findings, std::string *error);

// "<label>:<line>: warning: <message>" (no line part for line 0; "error" for errors).
std::string FormatLintFinding(const std::string &label, const LintFinding &finding);

// Entry names equal as the installer compares them: Shift-JIS character by character,
// single-byte letters A to Z without case.
bool SameEntryName(const std::string &a, const std::string &b);

// fernpack lint [--quiet] <install.env>: the game folder is the folder holding the file.
// Exit status 1 when there is an error (or the file cannot be read), else 0; --quiet
// prints errors only. The last line of the output sums up.
int RunLint(int argc, char **argv);

// A settings file holds at most a few hundred short lines; anything this large is not one.
const uint64_t kSettingsFileMaxSize = 16u << 20;

// Reads a whole settings file into bytes; false, with *error naming the path and the
// reason, when it cannot be read, is not a regular file or is over kSettingsFileMaxSize.
bool ReadFileBytes(const std::string &path, std::string *bytes, std::string *error);

#endif
