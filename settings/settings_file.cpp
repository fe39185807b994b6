#include "settings/settings_file.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "support/allocate.h"
#include "support/messages.h"
#include "support/sjis.h"

namespace {

const int kCarriageReturn = '\r';
const int kEndOfText = 0x1A;  // Ctrl-Z: the end of a Windows text stream

const char kEndMarker[] = "[EOF]";
const size_t kEndMarkerLength = sizeof kEndMarker - 1;

const char kDefaultTitle[] = "ＨＡＬＤＲＯ アプリケーション";
const char kStartupFormat[] = "%s スタートアップ";
const char kDefaultNone[] = "-";
const int kMakeFolNotRead = -1;

// Module state of the installer's table and accessors.
struct SettingsState {
  SettingEntry *head;
  int release_registered;
  char reg_global[kSettingTextSize];
  char reg_local[kSettingTextSize];
  char ini_file[kSettingTextSize];
  char ini_section[kSettingTextSize];
  char title_bar[kSettingTextSize];
  char inst_group[kSettingTextSize];
  char inst_fol[kSettingTextSize];
  char inst_to[kSettingTextSize];
  char exe_name[kSettingTextSize];
  char startup_title[kStartupTitleSize];
  int inst_make_fol;  // kMakeFolNotRead until GetInstMakeFol has read the key
};

SettingsState g_settings = {nullptr, 0, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {0},
                            kMakeFolNotRead};

bool IsBlank(unsigned char byte) { return byte <= 0x20; }

// A copy of text[0..length) in a block of AllocateOrWarn, or null.
char *CopyToBlock(const char *text, size_t length) {
  char *copy = static_cast<char *>(AllocateOrWarn(length + 1));
  if (copy == nullptr) return nullptr;
  memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

// Builds an entry for key and value. Null when memory is short: whatever was obtained
// before the failing block is given back, and no further block is requested, so the user
// sees one warning.
SettingEntry *MakeEntry(const char *key, const char *value) {
  SettingEntry *entry = static_cast<SettingEntry *>(AllocateOrWarn(sizeof(SettingEntry)));
  if (entry == nullptr) return nullptr;
  entry->next = nullptr;
  entry->key = CopyToBlock(key, strlen(key));
  if (entry->key == nullptr) {
    ReleaseBlock(entry);
    return nullptr;
  }
  entry->value = CopyToBlock(value, strlen(value));
  if (entry->value == nullptr) {
    ReleaseBlock(entry->key);
    ReleaseBlock(entry);
    return nullptr;
  }
  ReplaceBarsWithSpaces(entry->value);
  return entry;
}

}  // namespace

size_t ReadLinePiece(char *buffer, size_t size, FILE *stream) {
  if (size == 0) return 0;
  size_t count = 0;
  while (count + 1 < size) {
    int c = getc(stream);
    if (c == EOF) break;
    if (c == kEndOfText) {
      ungetc(c, stream);  // stays the end for every later read too
      break;
    }
    if (c == kCarriageReturn) {
      int next = getc(stream);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        ungetc(next, stream);
      }
    }
    buffer[count++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buffer[count] = '\0';
  return count;
}

void StartLineReader(LineReader *reader, FILE *stream) {
  reader->stream = stream;
  reader->line = 0;
  reader->line_closed = 1;
}

size_t ReadNumberedPiece(LineReader *reader, char *buffer, size_t size, int *continued) {
  size_t count = ReadLinePiece(buffer, size, reader->stream);
  *continued = 0;
  if (count == 0) return 0;
  if (reader->line_closed) {
    reader->line++;
  } else {
    *continued = 1;
  }
  reader->line_closed = buffer[count - 1] == '\n';
  return count;
}

int SplitKeyLine(char *buffer, const char **key, const char **value, const char **after) {
  *key = nullptr;
  *value = nullptr;
  *after = nullptr;
  if (memcmp(buffer, kEndMarker, kEndMarkerLength) == 0) return kKeyLineEndMarker;
  if (IsBlank(static_cast<unsigned char>(buffer[0])) || buffer[0] == '/') {
    return kKeyLineSkipped;
  }
  // The whole buffer, not only the text up to its first 0: a line may hold a 0 byte, and
  // the words behind it count like any other.
  for (size_t i = 0; i < kSettingsLineSize; i++) {
    if (IsBlank(static_cast<unsigned char>(buffer[i]))) buffer[i] = '\0';
  }
  *key = buffer;
  // The key always ends inside the buffer: its last byte is never filled by a read.
  size_t key_end = strlen(buffer);
  size_t last = key_end + kSettingsValueReach;
  if (last > kSettingsLineSize - 1) last = kSettingsLineSize - 1;
  size_t start = 0;
  for (size_t i = key_end + 1; i <= last; i++) {
    if (buffer[i] != '\0') {
      start = i;
      break;
    }
  }
  if (start == 0) return kKeyLineNoValue;
  *value = buffer + start;
  for (size_t i = start + strlen(buffer + start); i < kSettingsLineSize; i++) {
    if (buffer[i] != '\0') {
      *after = buffer + i;
      break;
    }
  }
  return kKeyLineEntry;
}

void ReplaceBarsWithSpaces(char *text) {
  for (char *p = text; *p != '\0'; p += SjisCharLength(p)) {
    if (*p == '|') *p = ' ';
  }
}

int ReadSettingsStream(LineReader *reader, SettingEntry **head, KeyLineObserver observer,
                       void *context) {
  SettingEntry **tail = head;
  while (*tail != nullptr) tail = &(*tail)->next;

  for (int count = 1; count <= kSettingsLineLimit; count++) {
    char buffer[kSettingsLineSize];
    memset(buffer, 0, sizeof buffer);
    int continued = 0;
    if (ReadNumberedPiece(reader, buffer, sizeof buffer, &continued) == 0) {
      return kSettingsStopEnd;
    }
    KeyLineReport report = {reader->line, count, continued, 0, nullptr, nullptr, nullptr};
    report.kind = SplitKeyLine(buffer, &report.key, &report.value, &report.after);
    if (report.kind == kKeyLineEntry) {
      SettingEntry *entry = MakeEntry(report.key, report.value);
      if (entry == nullptr) return kSettingsStopNoMemory;
      *tail = entry;
      tail = &entry->next;
    }
    if (observer != nullptr) observer(&report, context);
    if (report.kind == kKeyLineEndMarker) return kSettingsStopMarker;
  }
  return kSettingsStopLimit;
}

const char *FindSettingValue(const SettingEntry *head, const char *key) {
  for (const SettingEntry *entry = head; entry != nullptr; entry = entry->next) {
    if (strcmp(entry->key, key) == 0) return entry->value;
  }
  return nullptr;
}

int ReadSettingFromStream(FILE *stream, const char *key, char *out, size_t size) {
  LineReader reader;
  StartLineReader(&reader, stream);
  SettingEntry *head = nullptr;
  ReadSettingsStream(&reader, &head, nullptr, nullptr);
  const char *value = FindSettingValue(head, key);
  int result = -1;
  if (value != nullptr && strlen(value) < size) {
    CopyText(out, value, size);
    ReplaceBarsWithSpaces(out);
    result = 0;
  }
  FreeSettingEntries(&head);
  return result;
}

void FreeSettingEntries(SettingEntry **head) {
  SettingEntry *entry = *head;
  *head = nullptr;
  while (entry != nullptr) {
    SettingEntry *next = entry->next;
    ReleaseBlock(entry->key);
    ReleaseBlock(entry->value);
    ReleaseBlock(entry);
    entry = next;
  }
}

// Memory shortage while loading: AllocateOrWarn has already shown "memory is short;
// processing stops", and the program does stop, with exit code -1 like every other fault
// that leaves the settings unusable. Going on with part of the table would install under
// default names and registry keys that the publisher never chose. The exit handler
// frees the entries read so far.
int LoadSettings(const char *name) {
  if (!g_settings.release_registered) {
    atexit(ReleaseSettings);
    g_settings.release_registered = 1;
  }
  FILE *stream = OpenResourceFile(name, "rt");
  if (stream == nullptr) return -1;
  LineReader reader;
  StartLineReader(&reader, stream);
  int stop = ReadSettingsStream(&reader, &g_settings.head, nullptr, nullptr);
  fclose(stream);
  if (stop == kSettingsStopNoMemory) exit(-1);
  return 0;
}

char *GetSetting(const char *key, char *buffer, size_t size, const char *default_text) {
  if (size == 0) return buffer;
  const char *source = FindSettingValue(g_settings.head, key);
  if (source == nullptr) source = default_text;
  // Byte by byte from the front, so that the source may be the buffer itself; the rest
  // of the buffer is filled with zeros.
  bool ended = false;
  for (size_t i = 0; i < size; i++) {
    char c = ended ? '\0' : source[i];
    if (c == '\0') ended = true;
    buffer[i] = c;
  }
  buffer[size - 1] = '\0';
  return buffer;
}

int GetSettingInt(const char *key, int default_value) {
  const char *text = FindSettingValue(g_settings.head, key);
  if (text == nullptr) return default_value;
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) text++;
  bool negative = *text == '-';
  if (*text == '-' || *text == '+') text++;
  // Saturates one past INT_MAX, which is INT_MIN once negated.
  const long long kCeiling = static_cast<long long>(INT_MAX) + 1;
  long long number = 0;
  for (; *text >= '0' && *text <= '9'; text++) {
    number = number * 10 + (*text - '0');
    if (number > kCeiling) number = kCeiling;
  }
  if (negative) number = -number;
  if (number > INT_MAX) number = INT_MAX;
  return static_cast<int>(number);
}

void ReleaseSettings(void) { FreeSettingEntries(&g_settings.head); }

namespace {

// Cached text accessors: the buffer is filled on the first call and never changes after,
// since neither a table value nor the default is empty.
const char *CachedText(char *buffer, const char *key) {
  if (buffer[0] == '\0') GetSetting(key, buffer, kSettingTextSize, kDefaultNone);
  return buffer;
}

// INST_GROUP and INSTFOL: absent exactly when the key is missing, since values are never
// empty.
const char *TextOrAbsent(char *buffer, const char *key) {
  GetSetting(key, buffer, kSettingTextSize, "");
  return buffer[0] != '\0' ? buffer : nullptr;
}

}  // namespace

const char *GetRegGlobal(void) { return CachedText(g_settings.reg_global, "REG_GLOBAL"); }
const char *GetRegLocal(void) { return CachedText(g_settings.reg_local, "REG_LOCAL"); }
const char *GetIniFile(void) { return CachedText(g_settings.ini_file, "INI_FILE"); }
const char *GetIniSection(void) { return CachedText(g_settings.ini_section, "INI_SECTION"); }

const char *GetTitleBar(void) {
  return GetSetting("TITLEBAR", g_settings.title_bar, kSettingTextSize, kDefaultTitle);
}

const char *GetStartupTitle(void) {
  // 127 bytes of title and the suffix always fit the 256-byte buffer.
  snprintf(g_settings.startup_title, kStartupTitleSize, kStartupFormat, GetTitleBar());
  return g_settings.startup_title;
}

const char *GetInstGroup(void) { return TextOrAbsent(g_settings.inst_group, "INST_GROUP"); }
const char *GetInstFol(void) { return TextOrAbsent(g_settings.inst_fol, "INSTFOL"); }

const char *GetInstTo(void) {
  return GetSetting("INSTTO", g_settings.inst_to, kSettingTextSize, "HALDRO_APP");
}

const char *GetExeName(void) {
  return GetSetting("EXENAME", g_settings.exe_name, kSettingTextSize, "haldro.exe");
}

int GetInstMakeFol(void) {
  if (g_settings.inst_make_fol == kMakeFolNotRead) {
    g_settings.inst_make_fol = GetSettingInt("INSTMAKEFOL", 0);
  }
  return g_settings.inst_make_fol;
}

void ResetSettingsForTests(void) {
  FreeSettingEntries(&g_settings.head);
  int registered = g_settings.release_registered;
  memset(&g_settings, 0, sizeof g_settings);
  g_settings.release_registered = registered;
  g_settings.inst_make_fol = kMakeFolNotRead;
}
