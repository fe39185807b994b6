#include "tools/fernpack/lint.h"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <set>

#include "settings/section_lists.h"
#include "settings/settings_file.h"
#include "support/sjis.h"
#include "tools/fernpack/output_file.h"
#include "tools/fernpack/sjis_names.h"

namespace {

// Every key that the installer looks up.
const char *const kKnownKeys[] = {
    "REG_GLOBAL", "REG_LOCAL", "INI_FILE",     "INI_SECTION", "TITLEBAR",
    "INST_GROUP", "INSTFOL",   "INSTTO",       "EXENAME",     "INSTMAKEFOL",
    "INSTREADME", "INSTREADMEFL", "HELP_FILE",
};

const char kDefaultReadme[] = "readme.txt";

// The buffer the installer reads each key into (NUL included); a longer value is cut to
// one byte less, wherever the cut falls.
struct KeyBuffer {
  const char *key;
  size_t size;
};
const KeyBuffer kKeyBuffers[] = {
    {"REG_GLOBAL", kSettingTextSize}, {"REG_LOCAL", kSettingTextSize},
    {"INI_FILE", kSettingTextSize},   {"INI_SECTION", kSettingTextSize},
    {"TITLEBAR", kSettingTextSize},   {"INST_GROUP", kSettingTextSize},
    {"INSTFOL", kSettingTextSize},    {"INSTTO", kSettingTextSize},
    {"EXENAME", kSettingTextSize},    {"INSTREADME", kSettingTextSize},  // the menu's
    {"INSTREADMEFL", kSettingTextSize}, {"HELP_FILE", kPathSize},
};

// Keys whose default no publisher wants: the installer's own placeholders.
struct RequiredKey {
  const char *key;
  const char *consequence;
};
const RequiredKey kRequiredKeys[] = {
    {"TITLEBAR", "the menu, the shortcuts and the uninstall entry carry the installer's "
                 "placeholder title"},
    {"INSTTO", "the game is installed into a folder named HALDRO_APP"},
    {"EXENAME", "the game's shortcuts start haldro.exe"},
};
const size_t kShownLimit = 80;  // bytes of file text quoted in one message

bool IsKnownKey(const std::string &key) {
  for (const char *known : kKnownKeys) {
    if (key == known) return true;
  }
  return false;
}

char FoldLetter(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string FoldAscii(const std::string &text) {
  std::string folded = text;
  for (char &c : folded) c = FoldLetter(c);
  return folded;
}

// Edit distance with adjacent transpositions, for typos in keys.
size_t EditDistance(const std::string &a, const std::string &b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); i++) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); j++) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); i++) {
    for (size_t j = 1; j <= b.size(); j++) {
      size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

// The known key that this unknown key most likely means, or "" when none is close.
std::string NearestKey(const std::string &key) {
  std::string folded = FoldAscii(key);
  std::string best;
  size_t best_distance = 0;
  for (const char *known : kKnownKeys) {
    size_t distance = EditDistance(folded, known);
    size_t allowed = std::max<size_t>(1, std::min<size_t>(3, strlen(known) / 4));
    if (distance <= allowed && (best.empty() || distance < best_distance)) {
      best = known;
      best_distance = distance;
    }
  }
  return best;
}

// File text for a message: UTF-8 in quotes, with bytes that are not Shift-JIS escaped.
std::string Shown(const std::string &sjis) {
  std::string cut = sjis.substr(0, kShownLimit);
  // Never cut a double-byte character in half.
  size_t end = 0;
  while (end < cut.size()) {
    size_t n = IsSjisLeadByte(static_cast<unsigned char>(cut[end])) ? 2 : 1;
    if (end + n > cut.size()) break;
    end += n;
  }
  cut.resize(end);
  std::string utf8;
  if (!SjisToUtf8(cut, &utf8)) {
    utf8.clear();
    for (unsigned char c : cut) {
      if (c >= 0x20 && c < 0x7F) {
        utf8.push_back(static_cast<char>(c));
      } else {
        char hex[8];
        snprintf(hex, sizeof hex, "\\x%02X", c);
        utf8 += hex;
      }
    }
  }
  return "'" + utf8 + (cut.size() < sjis.size() ? "...'" : "'");
}

bool BeginsWith(const char *text, const char *marker) {
  return strncmp(text, marker, strlen(marker)) == 0;
}

bool IsCommentWord(const char *word) { return BeginsWith(word, "//") || word[0] == ';'; }

// Strict UTF-8 (no overlong forms, no surrogates); true when every byte fits.
bool IsValidUtf8(const std::string &bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    size_t n = 0;
    unsigned int code = 0;
    if (c < 0x80) {
      i++;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      n = 1;
      code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 2;
      code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 3;
      code = c & 0x07;
    } else {
      return false;
    }
    if (i + n >= bytes.size()) return false;
    for (size_t k = 1; k <= n; k++) {
      unsigned char t = static_cast<unsigned char>(bytes[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      code = (code << 6) | (t & 0x3F);
    }
    if ((n == 2 && code < 0x800) || (n == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += n + 1;
  }
  return true;
}

// Splits the bytes into physical lines (without their line feeds), for the encoding check.
std::vector<std::string> PhysicalLines(const std::string &bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    lines.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// A stream over the bytes, read by the installer's readers. fmemopen refuses a size of
// 0 on some C libraries, so an empty text is read from an empty temporary file instead.
FILE *OpenBytes(const std::string &bytes) {
  if (bytes.empty()) return tmpfile();
  return fmemopen(const_cast<char *>(bytes.data()), bytes.size(), "r");
}

// Everything the observers learn while the two readers go through the file.
struct LintState {
  std::vector<LintFinding> findings;
  // First piece of each physical line: what the section reader did with it, and in which
  // section.
  struct SectionUse {
    int action;
    int section;
  };
  std::map<int, SectionUse> section_use;
  std::set<int> long_lines;
  int open_line = 0;                     // header line of the open section
  int header_line[kSectionReg + 1] = {};  // last header line of each section
  int section_stop_line = 0;             // line beginning with "EOF"
  std::map<std::string, int> key_lines;  // known key -> line of its first entry
  int marker_line = 0;                   // line beginning with "[EOF]"

  void Warn(int line, const std::string &message) { findings.push_back({line, false, message}); }
  void Fail(int line, const std::string &message) { findings.push_back({line, true, message}); }

  // The section reader stored, opened or closed this line, or read it as a comment: it is
  // section syntax, not a key line.
  bool IsSectionLine(int line) const {
    auto found = section_use.find(line);
    return found != section_use.end() && found->second.action != kSectionLineOutside;
  }
  // The section that stored this line, or kSectionNone.
  int StoredIn(int line) const {
    auto found = section_use.find(line);
    if (found == section_use.end() || found->second.action != kSectionLineStored) {
      return kSectionNone;
    }
    return found->second.section;
  }
};

std::string HeaderText(int section) { return std::string("[") + SectionName(section) + "]"; }

void ObserveSectionLine(const SectionLineReport *report, void *context) {
  LintState *state = static_cast<LintState *>(context);
  if (report->continued) {
    // A long comment does no harm; any other long line is cut where the reader splits it.
    auto first = state->section_use.find(report->line);
    bool comment = first != state->section_use.end() &&
                   first->second.action == kSectionLineSkipped;
    if (!comment && report->text[0] != '\0' && state->long_lines.insert(report->line).second) {
      state->Warn(report->line,
                  "the line is longer than 511 bytes: the installer reads the rest of it "
                  "as a line of its own");
    }
    return;
  }
  state->section_use[report->line] = {report->action, report->section};
  switch (report->action) {
    case kSectionLineOpen: {
      int section = report->section;
      if (state->header_line[section] != 0) {
        state->Warn(report->line,
                    HeaderText(section) + " appears again: it replaces the lines of the " +
                        HeaderText(section) + " section on line " +
                        std::to_string(state->header_line[section]));
      }
      state->header_line[section] = report->line;
      state->open_line = report->line;
      break;
    }
    case kSectionLineStored:
      if (report->section == kSectionIni && strchr(report->text, '=') == nullptr) {
        state->Warn(report->line, "[ini] line " + Shown(report->text) +
                                      " has no '=': the installer passes it over");
      }
      if (report->section == kSectionReg && strstr(report->text, "\"=\"") == nullptr) {
        state->Warn(report->line, "[reg] line " + Shown(report->text) +
                                      " has no '\"=\"': the installer passes it over");
      }
      break;
    case kSectionLineStop:
      state->section_stop_line = report->line;
      break;
    default:
      break;
  }
}

// Words of the line buffer from `word` on, up to the buffer's end or a comment.
std::vector<std::string> WordsFrom(const char *word, const char *buffer_end) {
  std::vector<std::string> words;
  const char *p = word;
  while (p < buffer_end) {
    if (*p == '\0') {
      p++;
      continue;
    }
    if (IsCommentWord(p)) break;
    size_t n = strnlen(p, static_cast<size_t>(buffer_end - p));
    words.emplace_back(p, n);
    p += n;
  }
  return words;
}

// A key written with "=" (KEY=value): the known key before the "=", or "".
std::string KeyBeforeEquals(const std::string &key) {
  size_t equals = key.find('=');
  if (equals == std::string::npos) return "";
  std::string before = key.substr(0, equals);
  return IsKnownKey(before) ? before : "";
}

void CheckUnknownKey(LintState *state, int line, const std::string &key, bool has_value) {
  // Past a line beginning with "EOF" the section reader reads nothing, so a line without
  // a value there may be section text (reported as never read) rather than a stray word.
  bool sections_unread = state->section_stop_line != 0 && line > state->section_stop_line;
  if (sections_unread && (!has_value || SectionHeaderNumber(key.c_str()) != kSectionNone)) {
    return;
  }
  std::string with_equals = KeyBeforeEquals(key);
  if (!with_equals.empty()) {
    state->Warn(line, Shown(key) + " is not a key line: write " + with_equals +
                          ", a tab and the value, without '='");
    return;
  }
  std::string nearest = NearestKey(key);
  if (!nearest.empty()) {
    bool only_case = FoldAscii(key) == nearest;
    state->Warn(line, "unknown key " + Shown(key) + ": the installer never reads it (did you "
                          "mean " + nearest + (only_case ? "? keys are case-sensitive)" : "?)"));
  } else if (key[0] == '[') {
    state->Warn(line, Shown(key) + " is not a section header ([delfiles], [delfiles_user], "
                          "[ini] and [reg], in lower case): the installer ignores it");
  } else if (has_value) {
    state->Warn(line, "unknown key " + Shown(key) + ": the installer never reads it");
  } else {
    state->Warn(line, Shown(key) + " is neither a key line nor inside a section: the "
                          "installer ignores it");
  }
}

// The value that the installer will use: within its buffer, and for TITLEBAR usable as
// the name of the single-instance lock.
void CheckValue(LintState *state, int line, const std::string &key, const char *value) {
  size_t length = strlen(value);
  for (const KeyBuffer &buffer : kKeyBuffers) {
    if (key != buffer.key || length < buffer.size) continue;
    state->Fail(line, "the value of " + key + " is " + std::to_string(length) +
                          " bytes, but the installer keeps only the first " +
                          std::to_string(buffer.size - 1) + " (" +
                          Shown(std::string(value, buffer.size - 1)) +
                          "), cutting wherever that falls: shorten it");
  }
  if (key == "TITLEBAR" && FindSeparator(value, false) != nullptr) {
    state->Fail(line, "TITLEBAR holds a backslash: the installer names its single-instance "
                      "lock after the title, Windows refuses that name, and the installer "
                      "then ends at once without a word; remove the backslash");
  }
}

void ObserveKeyLine(const KeyLineReport *report, void *context) {
  LintState *state = static_cast<LintState *>(context);
  if (report->kind == kKeyLineEndMarker) {
    state->marker_line = report->line;
    return;
  }
  // Long lines are reported once by the section pass.
  if (report->continued || report->key == nullptr) return;
  std::string key = report->key;
  bool has_value = report->kind == kKeyLineEntry;
  if (state->IsSectionLine(report->line)) {
    // Section syntax is not a key line; but the key reader does not know sections, so a
    // known key stored in a section sets that key all the same.
    int section = state->StoredIn(report->line);
    if (section != kSectionNone && has_value && IsKnownKey(key) &&
        state->key_lines.insert({key, report->line}).second) {
      state->Warn(report->line, key + " inside " + HeaderText(section) +
                                    " is also read as the " + key + " setting by the installer");
    }
    return;
  }
  if (!IsKnownKey(key)) {
    CheckUnknownKey(state, report->line, key, has_value);
    return;
  }
  if (!has_value) {
    state->Warn(report->line, key + " has no value within 99 blanks after it: the line is "
                                    "passed over and the default is used");
    return;
  }
  auto first = state->key_lines.find(key);
  if (first != state->key_lines.end()) {
    state->Warn(report->line, key + " is set again: the installer uses the value from line " +
                                  std::to_string(first->second));
  } else {
    state->key_lines[key] = report->line;
    CheckValue(state, report->line, key, report->value);
  }
  if (report->after != nullptr && !IsCommentWord(report->after)) {
    std::vector<std::string> words = WordsFrom(report->after, report->key + kSettingsLineSize);
    std::string joined = report->value;
    for (const std::string &w : words) joined += "|" + w;
    std::string dropped;
    for (const std::string &w : words) dropped += (dropped.empty() ? "" : " ") + w;
    state->Warn(report->line, "the value of " + key + " is " + Shown(report->value) +
                                  ": the rest of the line (" + Shown(dropped) +
                                  ") is dropped; write " + Shown(joined) +
                                  " for a value with spaces");
  }
}

// Known keys that the key reader never reaches, after [EOF] or beyond the line limit. The
// reader goes on from where the key reader stopped.
void CheckUnreadKeys(LintState *state, LineReader *reader, int stop) {
  std::string why = stop == kSettingsStopMarker
                        ? "the installer stops reading keys at [EOF] on line " +
                              std::to_string(state->marker_line)
                        : "the installer reads only the first " +
                              std::to_string(kSettingsLineLimit) + " lines";
  for (;;) {
    char buffer[kSettingsLineSize];
    memset(buffer, 0, sizeof buffer);
    int continued = 0;
    if (ReadNumberedPiece(reader, buffer, sizeof buffer, &continued) == 0) break;
    const char *key = nullptr;
    const char *value = nullptr;
    const char *after = nullptr;
    int kind = SplitKeyLine(buffer, &key, &value, &after);
    if (kind != kKeyLineEntry || continued || state->IsSectionLine(reader->line)) continue;
    if (IsKnownKey(key)) state->Warn(reader->line, std::string(key) + " is never read: " + why);
  }
}

// Section headers that the section reader never reaches after a line beginning "EOF".
void CheckUnreadSections(LintState *state, LineReader *reader) {
  char buffer[kSettingsLineSize];
  int continued = 0;
  while (ReadNumberedPiece(reader, buffer, sizeof buffer, &continued) != 0) {
    int section = SectionHeaderNumber(buffer);
    if (continued || section == kSectionNone) continue;
    state->Warn(reader->line, HeaderText(section) +
                                  " is never read: the installer stops reading sections at "
                                  "the line beginning with 'EOF' on line " +
                                  std::to_string(state->section_stop_line));
  }
}

const char kByteOrderMark[] = "\xEF\xBB\xBF";

bool HasNonAscii(const std::string &text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

void CheckEncoding(LintState *state, const std::string &bytes) {
  bool has_bom = bytes.compare(0, 3, kByteOrderMark) == 0;
  std::string text = has_bom ? bytes.substr(3) : bytes;
  if (has_bom && !(HasNonAscii(text) && IsValidUtf8(text))) {
    state->Fail(1, "the file begins with a UTF-8 byte order mark (EF BB BF): the installer "
                   "reads those bytes as part of the first line, so its first key is lost; "
                   "save the file as Shift-JIS without a byte order mark");
  }
  std::vector<std::string> lines = PhysicalLines(text);
  if (HasNonAscii(text) && IsValidUtf8(text)) {
    for (size_t i = 0; i < lines.size(); i++) {
      if (!HasNonAscii(lines[i])) continue;
      state->Fail(static_cast<int>(i) + 1,
                  "the file is saved as UTF-8; the installer reads Shift-JIS (code page "
                  "932) only, so its text would be garbled: save it as Shift-JIS");
      return;
    }
  }
  int bad_lines = 0;
  int first_bad = 0;
  for (size_t i = 0; i < lines.size(); i++) {
    std::string utf8;
    if (SjisToUtf8(lines[i], &utf8)) continue;
    if (bad_lines++ == 0) first_bad = static_cast<int>(i) + 1;
  }
  if (bad_lines > 0) {
    std::string more = bad_lines == 2 ? " (and 1 more line)"
                       : bad_lines > 2
                           ? " (and " + std::to_string(bad_lines - 1) + " more lines)"
                           : "";
    state->Fail(first_bad, "the line is not valid Shift-JIS" + more +
                               ": the installer reads Shift-JIS (code page 932) only");
  }
}

// A carriage return that no line feed follows does not end a line for the installer:
// with old Mac line ends the whole file is one long line.
void CheckLineEnds(LintState *state, const std::string &bytes) {
  int line = 1;
  int lone = 0, first = 0;
  for (size_t i = 0; i < bytes.size(); i++) {
    if (bytes[i] == '\n') line++;
    if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')) {
      if (lone++ == 0) first = line;
    }
  }
  if (lone > 0) {
    state->Fail(first, "a line ends with a carriage return alone (" + std::to_string(lone) +
                           " in the file): the installer ends lines only at LF or CR LF, "
                           "so the lines run together and their keys are lost; save the "
                           "file with CR LF line ends");
  }
}

// A key line that begins with a blank is passed over by the installer; an indented key
// is almost always meant to count.
void CheckIndentedKeys(LintState *state, const std::string &bytes) {
  std::vector<std::string> lines = PhysicalLines(bytes);
  for (size_t i = 0; i < lines.size(); i++) {
    int line = static_cast<int>(i) + 1;
    if (state->marker_line != 0 && line > state->marker_line) break;
    const std::string &text = lines[i];
    if (text.empty() || static_cast<unsigned char>(text[0]) > 0x20) continue;
    if (state->IsSectionLine(line)) continue;
    size_t start = 0;
    while (start < text.size() && static_cast<unsigned char>(text[start]) <= 0x20) start++;
    size_t end = start;
    while (end < text.size() && static_cast<unsigned char>(text[end]) > 0x20) end++;
    std::string word = text.substr(start, end - start);
    if (!IsKnownKey(word)) continue;
    state->Warn(line, "the line begins with a blank, so the installer passes it over and " +
                          word + " is not set here: remove the indentation");
  }
}

// A file without any setting, and the keys whose defaults are placeholders.
void CheckPresence(LintState *state, const std::string &bytes) {
  if (std::all_of(bytes.begin(), bytes.end(),
                  [](char c) { return static_cast<unsigned char>(c) <= 0x20; })) {
    state->Fail(0, "the file is empty: the installer would run with placeholder settings "
                   "for everything; write the settings (TITLEBAR, INSTTO, EXENAME, ...)");
    return;
  }
  for (const RequiredKey &required : kRequiredKeys) {
    if (state->key_lines.count(required.key) != 0) continue;
    state->Warn(0, std::string(required.key) + " is not set, so " + required.consequence +
                       ": add a line for " + required.key);
  }
}

// The readme button: the INSTREADME label offers it, and it opens INSTREADMEFL (default
// readme.txt) from the folder that the installer unpacks before installing, which holds
// only the top-level files whose names contain ".txt".
void CheckReadme(LintState *state, const SettingEntry *table, const PackageFileTest &has_file) {
  const char *label = FindSettingValue(table, "INSTREADME");
  if (label == nullptr || label[0] == '-' || !has_file) return;
  auto found = state->key_lines.find("INSTREADME");
  int line = found != state->key_lines.end() ? found->second : 0;
  const char *file = FindSettingValue(table, "INSTREADMEFL");
  if (file == nullptr) file = kDefaultReadme;
  if (!has_file(file)) {
    state->Warn(line, "INSTREADME gives the menu a readme button " + Shown(label) +
                          ", but the readme file " + Shown(file) +
                          " is not in the game folder");
    return;
  }
  bool top_level = FindSeparator(file, true) == nullptr;
  bool is_text = FoldAscii(file).find(".TXT") != std::string::npos;
  if (!top_level || !is_text) {
    state->Warn(line, "the readme file " + Shown(file) +
                          " is not unpacked before installing (only top-level files whose "
                          "names contain '.txt' are), so the menu's readme button opens "
                          "nothing");
  }
}

// The transfers are off when INI_FILE or REG_GLOBAL is missing or begins with "-".
void CheckTransfers(LintState *state, const SettingEntry *table, const SectionLists &lists) {
  const char *ini_file = FindSettingValue(table, "INI_FILE");
  if (lists.ini != nullptr && (ini_file == nullptr || ini_file[0] == '-')) {
    state->Warn(state->header_line[kSectionIni],
                "the [ini] lines are never written: INI_FILE is missing or begins with '-'");
  }
  const char *reg_global = FindSettingValue(table, "REG_GLOBAL");
  if (lists.reg != nullptr && (reg_global == nullptr || reg_global[0] == '-')) {
    state->Warn(state->header_line[kSectionReg],
                "the [reg] lines are never written: REG_GLOBAL is missing or begins with '-'");
  }
}

// Runs the section reader over the text, then what follows a line beginning with "EOF".
bool RunSectionPass(LintState *state, const std::string &bytes, SectionLists *lists,
                    std::string *error) {
  FILE *stream = OpenBytes(bytes);
  if (stream == nullptr) {
    *error = "cannot read the settings text";
    return false;
  }
  LineReader reader;
  StartLineReader(&reader, stream);
  int open_section = kSectionNone;
  int result = ReadSectionStream(&reader, lists, &open_section, ObserveSectionLine, state);
  if (result == kSectionReadLeftOpen) {
    std::string where = state->section_stop_line != 0
                            ? " before the line beginning with 'EOF' on line " +
                                  std::to_string(state->section_stop_line)
                            : "";
    state->Fail(state->open_line, HeaderText(open_section) +
                                      " is never closed by a line beginning with '-'" +
                                      where + ": the installer stops with an error");
  }
  if (state->section_stop_line != 0) CheckUnreadSections(state, &reader);
  fclose(stream);
  if (result == kSectionReadNoMemory) {
    *error = "out of memory";
    return false;
  }
  return true;
}

bool RunKeyPass(LintState *state, const std::string &bytes, SettingEntry **table,
                std::string *error) {
  FILE *stream = OpenBytes(bytes);
  if (stream == nullptr) {
    *error = "cannot read the settings text";
    return false;
  }
  LineReader reader;
  StartLineReader(&reader, stream);
  int stop = ReadSettingsStream(&reader, table, ObserveKeyLine, state);
  if (stop == kSettingsStopMarker || stop == kSettingsStopLimit) {
    CheckUnreadKeys(state, &reader, stop);
  }
  fclose(stream);
  if (stop == kSettingsStopNoMemory) {
    *error = "out of memory";
    return false;
  }
  return true;
}

}  // namespace

bool LintSettingsText(const std::string &bytes, const PackageFileTest &has_file,
                      std::vector<LintFinding> *findings, std::string *error) {
  LintState state;
  SectionLists lists = {};
  SettingEntry *table = nullptr;
  bool ok = RunSectionPass(&state, bytes, &lists, error) &&
            RunKeyPass(&state, bytes, &table, error);
  if (ok) {
    CheckEncoding(&state, bytes);
    CheckLineEnds(&state, bytes);
    CheckIndentedKeys(&state, bytes);
    CheckPresence(&state, bytes);
    CheckReadme(&state, table, has_file);
    CheckTransfers(&state, table, lists);
  }
  FreeSectionLists(&lists);
  FreeSettingEntries(&table);
  if (!ok) return false;
  // Line order; the file-wide findings (line 0) last.
  std::stable_sort(state.findings.begin(), state.findings.end(),
                   [](const LintFinding &a, const LintFinding &b) {
                     int la = a.line == 0 ? INT_MAX : a.line;
                     int lb = b.line == 0 ? INT_MAX : b.line;
                     return la < lb;
                   });
  *findings = std::move(state.findings);
  return true;
}

std::string FormatLintFinding(const std::string &label, const LintFinding &finding) {
  std::string text = label;
  if (finding.line > 0) text += ":" + std::to_string(finding.line);
  text += finding.error ? ": error: " : ": warning: ";
  return text + finding.message;
}

bool SameEntryName(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  size_t i = 0;
  while (i < a.size()) {
    if (IsSjisLeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      i += 2;
    } else {
      if (FoldLetter(a[i]) != FoldLetter(b[i])) return false;
      i++;
    }
  }
  return true;
}

namespace {

// Whether the folder holds a file of this entry name, each part of the name matched
// against the folder's listing without case, as Windows finds files.
bool FolderHasFile(const std::string &folder, const std::string &entry_name) {
  std::vector<std::string> parts;
  std::string part;
  const char *p = entry_name.c_str();
  while (*p != '\0') {
    size_t n = SjisCharLength(p);
    if (n == 1 && (*p == '\\' || *p == '/')) {
      parts.push_back(part);
      part.clear();
    } else {
      part.append(p, n);
    }
    p += n;
  }
  parts.push_back(part);

  std::string path = folder;
  for (size_t i = 0; i < parts.size(); i++) {
    if (parts[i].empty() || parts[i] == "." || parts[i] == "..") return false;
    DIR *dir = opendir(path.c_str());
    if (dir == nullptr) return false;
    std::string found;
    while (struct dirent *d = readdir(dir)) {
      std::string sjis;
      if (!Utf8ToSjis(d->d_name, &sjis) || !SameEntryName(sjis, parts[i])) continue;
      found = d->d_name;
      if (sjis == parts[i]) break;  // the exact spelling wins over other cases
    }
    closedir(dir);
    if (found.empty()) return false;
    path += "/" + found;
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool ReadFileBytes(const std::string &path, std::string *bytes, std::string *error) {
  uint64_t size = 0;
  FILE *file = OpenInputFile(path, kSettingsFileMaxSize, &size, error);
  if (file == nullptr) return false;
  bytes->clear();
  bytes->reserve((size_t)size);
  char block[65536];
  size_t n;
  while ((n = fread(block, 1, sizeof block, file)) > 0 && bytes->size() <= kSettingsFileMaxSize) {
    bytes->append(block, n);
  }
  bool ok = ferror(file) == 0 && bytes->size() <= kSettingsFileMaxSize;
  fclose(file);
  if (!ok) *error = "cannot read " + path + ": read failed or the file grew while it was read";
  return ok;
}

int RunLint(int argc, char **argv) {
  bool quiet = false;
  std::string path;
  for (int i = 0; i < argc; i++) {
    if (strcmp(argv[i], "--quiet") == 0) {
      quiet = true;
    } else if (argv[i][0] == '-' || !path.empty()) {
      fprintf(stderr, "fernpack lint: unexpected argument '%s'\n", argv[i]);
      return 2;
    } else {
      path = argv[i];
    }
  }
  if (path.empty()) {
    fprintf(stderr, "usage: fernpack lint [--quiet] <install.env>\n");
    return 2;
  }
  std::string bytes, read_error;
  if (!ReadFileBytes(path, &bytes, &read_error)) {
    fprintf(stderr, "fernpack lint: %s\n", read_error.c_str());
    return 1;
  }
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  PackageFileTest has_file = [&folder](const std::string &name) {
    return FolderHasFile(folder, name);
  };
  std::vector<LintFinding> findings;
  std::string error;
  if (!LintSettingsText(bytes, has_file, &findings, &error)) {
    fprintf(stderr, "fernpack lint: %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  int errors = 0, warnings = 0;
  for (const LintFinding &finding : findings) {
    (finding.error ? errors : warnings)++;
    if (quiet && !finding.error) continue;
    printf("%s\n", FormatLintFinding(path, finding).c_str());
  }
  printf("%s: %d error%s, %d warning%s%s\n", path.c_str(), errors, errors == 1 ? "" : "s",
         warnings, warnings == 1 ? "" : "s",
         errors > 0 ? ": fernpack pack refuses this file" : "");
  // Any finding it reports is a reason to look, so it fails; --quiet reports errors only.
  return errors > 0 || (!quiet && warnings > 0) ? 1 : 0;
}
