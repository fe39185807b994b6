// The installer's settings file install.env: its key lines and the SettingsTable.
//
// A key line is a key word at the very start of a line, 1 to 99 blank bytes, and a value
// word; the rest of the line is ignored. Blank bytes are 0x00-0x20. A value holds a space
// where the file has a "|" that is a character of its own ("My|Game" -> "My Game"). Lines
// that begin with a blank byte or "/" carry nothing, a line that begins with "[EOF]" ends
// the reading, and at most kSettingsLineLimit lines are read. A line longer than 511
// bytes is read in pieces of at most 511 bytes, and every piece counts as a line.
//
// The same file also holds the sections read by settings/section_lists.h; this reader does
// not know about them, and their lines are read here like any other line.
//
// The reading is split so that fernpack lint runs exactly the installer's code:
// ReadLinePiece (one line, alike in both builds), SplitKeyLine (one key line), and
// ReadSettingsStream (a whole stream into a table, reporting each line to an observer).
// LoadSettings and the lookups below serve the installer on its module-level table.
//
// Not reentrant: the table, the accessor buffers and the caches are module state of the
// installer's single thread.
#ifndef FERN_SETTINGS_SETTINGS_FILE_H
#define FERN_SETTINGS_SETTINGS_FILE_H

#include <stddef.h>
#include <stdio.h>

enum {
  kSettingsLineSize = 512,   // line buffer; one read takes at most 511 bytes
  kSettingsLineLimit = 400,  // lines (pieces) read from the file at most
  kSettingsValueReach = 99,  // blank bytes allowed between a key and its value
  kSettingTextSize = 128,    // buffer of each named text accessor (127 bytes + NUL)
  kStartupTitleSize = 256,   // buffer of GetStartupTitle
};

// One key line. Both strings are owned by the entry; the value is never empty.
struct SettingEntry {
  char *key;
  char *value;
  SettingEntry *next;
};

// ---------------------------------------------------------------------------------------
// Reading lines.

// Reads one line like fgets: at most size - 1 bytes, up to and including the line feed,
// then a terminator. Returns the number of bytes stored (bytes of value 0 included), or 0
// at the end of the stream or on a read error (the buffer then holds the empty text).
// Both builds see the same lines: CR LF is read as LF, and the byte 0x1A ends the stream,
// which is what the Windows C runtime does for a stream opened in text mode ("rt"); on a
// Windows text stream these rules therefore never apply a second time.
size_t ReadLinePiece(char *buffer, size_t size, FILE *stream);

// ReadLinePiece with line numbers, for readers that report what they saw.
struct LineReader {
  FILE *stream;
  int line;         // physical line of the piece read last (1-based); 0 before the first
  int line_closed;  // the piece read last ended with a line feed
};
void StartLineReader(LineReader *reader, FILE *stream);
// As ReadLinePiece; *continued is set to 1 when the piece continues a physical line that
// was longer than the buffer, else 0.
size_t ReadNumberedPiece(LineReader *reader, char *buffer, size_t size, int *continued);

// ---------------------------------------------------------------------------------------
// Key lines.

enum KeyLineKind {
  kKeyLineEndMarker = 0,  // begins with "[EOF]": the reading stops here
  kKeyLineSkipped = 1,    // first byte blank or "/": carries nothing
  kKeyLineNoValue = 2,    // a key without a value within reach: carries nothing
  kKeyLineEntry = 3,      // a key and its value
};

// Applies the key-line rules to one line read into a buffer of exactly kSettingsLineSize
// bytes that was cleared to zero before the read. Every blank byte of the whole buffer
// becomes 0 (for the two kinds with a key), so the words of the line end up separated by
// terminators. For kKeyLineNoValue and kKeyLineEntry *key points at the key word; for
// kKeyLineEntry *value points at the value word (as written, "|" not yet replaced) and
// *after at the next word on the line, or is null when the value is the last word.
// Unused outputs are set to null.
int SplitKeyLine(char *buffer, const char **key, const char **value, const char **after);

// Replaces every "|" that is a character of its own by a space (0x20); the 0x7C trail byte
// of a double-byte character stays.
void ReplaceBarsWithSpaces(char *text);

// ---------------------------------------------------------------------------------------
// Reading a whole settings file.

// Why ReadSettingsStream stopped.
enum SettingsReadStop {
  kSettingsStopEnd = 0,       // end of the stream, or a read error
  kSettingsStopMarker = 1,    // a line beginning with "[EOF]"
  kSettingsStopLimit = 2,     // kSettingsLineLimit lines were read (more may follow)
  kSettingsStopNoMemory = 3,  // AllocateOrWarn failed; the entries before the line stay
};

// What happened to one line (piece), for an observer.
struct KeyLineReport {
  int line;         // physical line number (1-based)
  int count;        // lines read so far, this one included (what the limit counts)
  int continued;    // the piece continues a physical line longer than 511 bytes
  int kind;         // KeyLineKind
  // As SplitKeyLine gives them, valid during the call only. key, when set, is the start
  // of the kSettingsLineSize-byte line buffer, whose later words end at key + that size.
  const char *key;
  const char *value;
  const char *after;
};
typedef void (*KeyLineObserver)(const KeyLineReport *report, void *context);

// Reads lines from the reader's stream by the rules above and appends an entry for each
// key line at the tail of the list held by *head. Calls observer (when not null) once
// for every line read, after the line was handled. Returns a SettingsReadStop; the reader
// can go on reading after kSettingsStopMarker or kSettingsStopLimit.
int ReadSettingsStream(LineReader *reader, SettingEntry **head, KeyLineObserver observer,
                       void *context);

// Value of the first entry whose key equals key byte for byte (whole and case-sensitive),
// or null.
const char *FindSettingValue(const SettingEntry *head, const char *key);

// The value of key in a whole settings stream, as the installer would read it ("|" made a
// space), into out: 0, or -1 when the key has no value or it does not fit whole.
int ReadSettingFromStream(FILE *stream, const char *key, char *out, size_t size);

// Frees every entry of the list with its strings and empties the head link.
void FreeSettingEntries(SettingEntry **head);

// ---------------------------------------------------------------------------------------
// The installer's SettingsTable.

// Registers ReleaseSettings for process exit (once per process), opens the file (relative
// to the current folder) with OpenResourceFile in mode "rt", which keeps the user in its
// retry box until it opens, and appends its key lines to the table. Returns 0, or -1 when
// no stream was obtained. When memory runs out while loading, AllocateOrWarn has told the
// user that processing stops, and the program ends with exit code -1 (see the .cpp).
int LoadSettings(const char *name);

// Copies the value of the first entry with this key (whole, case-sensitive), or
// default_text when there is none, into buffer: exactly size bytes are written (zero
// after the text), the text cut byte-wise to size - 1 bytes. default_text may be buffer
// itself. Returns buffer; does nothing when size is 0.
char *GetSetting(const char *key, char *buffer, size_t size, const char *default_text);

// The decimal integer at the start of the first matching value (as atoi reads it; no
// digits give 0, beyond the int range the nearest limit), or default_value when the key
// is missing.
int GetSettingInt(const char *key, int default_value);

// Frees the whole table. Registered with atexit by LoadSettings; accessor buffers and the
// INSTMAKEFOL cache stay as they are.
void ReleaseSettings(void);

// Named accessors. Each text accessor returns a pointer into its own 128-byte buffer,
// which lives for the whole process and which its next call may rewrite.
// Read on the first call only (default "-"):
const char *GetRegGlobal(void);   // REG_GLOBAL
const char *GetRegLocal(void);    // REG_LOCAL
const char *GetIniFile(void);     // INI_FILE
const char *GetIniSection(void);  // INI_SECTION
// Read on every call:
const char *GetTitleBar(void);      // TITLEBAR, default "ＨＡＬＤＲＯ アプリケーション"
const char *GetStartupTitle(void);  // "%s スタートアップ" with GetTitleBar (256-byte buffer)
const char *GetInstGroup(void);     // INST_GROUP, or null when the key is missing
const char *GetInstFol(void);       // INSTFOL, or null when the key is missing
const char *GetInstTo(void);        // INSTTO, default "HALDRO_APP"
const char *GetExeName(void);       // EXENAME, default "haldro.exe"
// INSTMAKEFOL (default 0), read on the first call; a value of -1 is read again each time.
int GetInstMakeFol(void);

// Tests: frees the table and clears the accessor buffers and caches, as before loading.
// The exit handler stays registered.
void ResetSettingsForTests(void);

#endif
