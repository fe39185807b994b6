// The four sections of install.env: [delfiles], [delfiles_user], [ini] and [reg].
//
// A section begins with its header line and ends with a line that begins with "-". This
// reader goes through the whole file on its own, independently of the key reader of
// settings/settings_file.h: empty lines and lines that begin with "//" or ";" are
// skipped, a line that begins with "EOF" ends the reading, and every other line inside a
// section is kept whole (leading blanks and any trailing comment included, trailing blank
// bytes removed). A header met again clears its list, so the last section of a name wins.
// A section still open at the end of the reading is a fault of the file.
//
// The reading is a core procedure with result codes (ReadSectionStream, ReadSectionFile)
// that fernpack lint runs too; LoadSectionLists turns its results into the installer's
// messages. Not reentrant: the installer's lists are module state.
#ifndef FERN_SETTINGS_SECTION_LISTS_H
#define FERN_SETTINGS_SECTION_LISTS_H

#include <stddef.h>
#include <stdio.h>

#include "settings/settings_file.h"

// One stored line; the text is owned by the line.
struct SectionLine {
  char *text;
  SectionLine *next;
};

// Section numbers; 0 means that no section is open.
enum SectionNumber {
  kSectionNone = 0,
  kSectionDelfiles = 1,
  kSectionDelfilesUser = 2,
  kSectionIni = 3,
  kSectionReg = 4,
};

// The four lists, each in file order; all empty before reading. They own their lines.
// Each list's last line is kept too, indexed by section number, so that appending costs
// the same at the 100,000th line as at the first; a null tail with a non-empty list is
// found again by one walk. Only the reader and ClearLineList's callers here touch them.
struct SectionLists {
  SectionLine *delfiles;
  SectionLine *delfiles_user;
  SectionLine *ini;
  SectionLine *reg;
  SectionLine *tails[5];
};

enum SectionReadResult {
  kSectionReadOk = 0,
  kSectionReadCannotOpen = 1,  // the file could not be opened
  kSectionReadLeftOpen = 2,    // a section was still open at the end; see *open_section
  kSectionReadNoMemory = 3,    // AllocateOrWarn failed; the line was not stored
};

// What one line did, for an observer.
enum SectionLineAction {
  kSectionLineSkipped = 0,  // empty after trimming, or a comment ("//" or ";")
  kSectionLineStop = 1,     // begins with "EOF": the reading ends here
  kSectionLineClose = 2,    // begins with "-": no section is open after it
  kSectionLineOpen = 3,     // a header: its list was cleared and its section is open
  kSectionLineStored = 4,   // appended to the open section's list
  kSectionLineOutside = 5,  // any other line while no section is open: ignored
};

struct SectionLineReport {
  int line;          // physical line number (1-based)
  int continued;     // the piece continues a physical line longer than 511 bytes
  int action;        // SectionLineAction
  int section;       // Close: the section it closed (or 0); others: the section open after
  const char *text;  // the trimmed line; valid during the call only
};
typedef void (*SectionLineObserver)(const SectionLineReport *report, void *context);

// Section name for messages, without brackets ("delfiles", ..., "reg"); "" for 0.
const char *SectionName(int section);

// The section whose header the line begins with (case-sensitive), or kSectionNone.
int SectionHeaderNumber(const char *line);

// Reads one line with ReadLinePiece (at most size - 1 bytes, up to and including the line
// feed) and removes blank bytes (0x00-0x20) from the end of its text while the text is not
// empty; leading blanks stay. Returns buffer, or null at the end of the stream or on a
// read error.
char *ReadTrimmedLine(char *buffer, size_t size, FILE *stream);

// Empties the list (its head link first), then frees each line with its text.
void ClearLineList(SectionLine **list);

// Appends a copy of text at the tail of the list. Returns 0, or -1 when AllocateOrWarn
// failed; the list is then unchanged. With tail (the list's last line, or null when not
// known) the line is attached after it and *tail moves on to it, without walking the
// list; without it the list is walked from its head.
int AppendLine(SectionLine **list, const char *text, SectionLine **tail = nullptr);

// Reads the reader's stream into lists by the rules above (lines of kSettingsLineSize
// bytes at most), calling observer (when not null) for every line after handling it.
// Returns kSectionReadOk, kSectionReadLeftOpen with the section in *open_section, or
// kSectionReadNoMemory; *open_section is 0 unless the result is kSectionReadLeftOpen.
// After a line that begins with "EOF" the reader can go on reading.
int ReadSectionStream(LineReader *reader, SectionLists *lists, int *open_section,
                      SectionLineObserver observer, void *context);

// Opens the named file in mode "rt" (directly, not through OpenResourceFile), reads it
// with ReadSectionStream and closes it; kSectionReadCannotOpen when it does not open.
int ReadSectionFile(const char *name, SectionLists *lists, int *open_section,
                    SectionLineObserver observer, void *context);

// Frees all four lists.
void FreeSectionLists(SectionLists *lists);

// The installer's start-up: reads the named file into the installer's SectionLists and
// returns only when that worked. Otherwise it shows RetryBox with
// "[%s]ファイルを開けませんでした。" (name) or "[設定.env]の[%s]が終了していません"
// (section name) and ends the program with exit code -1 whichever button is pressed; when
// memory runs out it ends with -1 after AllocateOrWarn's own warning. The WorkFolder is
// left behind on these paths.
void LoadSectionLists(const char *name);

// The installer's lists, walked from the head in file order. Nothing in the installer
// acts on the two delfiles lists (uninstalling is the uninstaller's business); they are
// read and kept only.
const SectionLine *GetDelfilesLines(void);
const SectionLine *GetDelfilesUserLines(void);
const SectionLine *GetIniLines(void);
const SectionLine *GetRegLines(void);

// Tests: frees the installer's lists.
void ResetSectionListsForTests(void);

#endif
