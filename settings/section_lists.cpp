#include "settings/section_lists.h"

#include <stdlib.h>
#include <string.h>

#include "support/allocate.h"
#include "support/file_io.h"
#include "support/messages.h"

namespace {

// Module state: the installer's lists, filled once at start-up. No exit handler frees
// them; they live until the process ends.
struct SectionState {
  SectionLists lists;
};

SectionState g_sections = {{nullptr, nullptr, nullptr, nullptr, {}}};

struct HeaderName {
  const char *header;
  const char *name;
};

// Indexed by section number.
const HeaderName kHeaders[] = {
    {"", ""},
    {"[delfiles]", "delfiles"},
    {"[delfiles_user]", "delfiles_user"},
    {"[ini]", "ini"},
    {"[reg]", "reg"},
};
const int kSectionCount = 4;

bool BeginsWith(const char *line, const char *marker) {
  return strncmp(line, marker, strlen(marker)) == 0;
}

// Removes blank bytes from the end of the text while it is not empty.
void TrimTrailingBlanks(char *text) {
  size_t length = strlen(text);
  while (length > 0 && static_cast<unsigned char>(text[length - 1]) <= 0x20) {
    text[--length] = '\0';
  }
}

SectionLine **ListOf(SectionLists *lists, int section) {
  switch (section) {
    case kSectionDelfiles: return &lists->delfiles;
    case kSectionDelfilesUser: return &lists->delfiles_user;
    case kSectionIni: return &lists->ini;
    case kSectionReg: return &lists->reg;
    default: return nullptr;
  }
}

}  // namespace

const char *SectionName(int section) {
  if (section < 0 || section > kSectionCount) return "";
  return kHeaders[section].name;
}

int SectionHeaderNumber(const char *line) {
  for (int section = 1; section <= kSectionCount; section++) {
    if (BeginsWith(line, kHeaders[section].header)) return section;
  }
  return kSectionNone;
}

char *ReadTrimmedLine(char *buffer, size_t size, FILE *stream) {
  if (ReadLinePiece(buffer, size, stream) == 0) return nullptr;
  TrimTrailingBlanks(buffer);
  return buffer;
}

void ClearLineList(SectionLine **list) {
  SectionLine *line = *list;
  *list = nullptr;
  while (line != nullptr) {
    SectionLine *next = line->next;
    ReleaseBlock(line->text);
    ReleaseBlock(line);
    line = next;
  }
}

int AppendLine(SectionLine **list, const char *text, SectionLine **tail) {
  SectionLine *line = static_cast<SectionLine *>(AllocateOrWarn(sizeof(SectionLine)));
  if (line == nullptr) return -1;
  size_t length = strlen(text);
  line->text = static_cast<char *>(AllocateOrWarn(length + 1));
  if (line->text == nullptr) {
    ReleaseBlock(line);
    return -1;
  }
  memcpy(line->text, text, length + 1);
  line->next = nullptr;
  SectionLine *last = tail != nullptr ? *tail : nullptr;
  if (last == nullptr && *list != nullptr) {
    for (last = *list; last->next != nullptr; last = last->next) {
    }
  }
  if (last != nullptr) {
    last->next = line;
  } else {
    *list = line;
  }
  if (tail != nullptr) *tail = line;
  return 0;
}

int ReadSectionStream(LineReader *reader, SectionLists *lists, int *open_section,
                      SectionLineObserver observer, void *context) {
  int section = kSectionNone;
  *open_section = kSectionNone;
  char buffer[kSettingsLineSize];
  int continued = 0;
  while (ReadNumberedPiece(reader, buffer, sizeof buffer, &continued) != 0) {
    TrimTrailingBlanks(buffer);
    SectionLineReport report = {reader->line, continued, kSectionLineSkipped, section,
                                buffer};
    int header = kSectionNone;
    if (buffer[0] == '\0' || BeginsWith(buffer, "//") || BeginsWith(buffer, ";")) {
      report.action = kSectionLineSkipped;
    } else if (BeginsWith(buffer, "EOF")) {
      report.action = kSectionLineStop;
    } else if (buffer[0] == '-') {
      report.action = kSectionLineClose;
      section = kSectionNone;
    } else if ((header = SectionHeaderNumber(buffer)) != kSectionNone) {
      report.action = kSectionLineOpen;
      report.section = header;
      ClearLineList(ListOf(lists, header));
      lists->tails[header] = nullptr;
      section = header;
    } else if (section != kSectionNone) {
      report.action = kSectionLineStored;
      // Memory is short: the line is not stored and the reading ends here; the caller
      // decides what that means (the installer ends, see LoadSectionLists).
      if (AppendLine(ListOf(lists, section), buffer, &lists->tails[section]) != 0) {
        return kSectionReadNoMemory;
      }
    } else {
      report.action = kSectionLineOutside;
    }
    if (observer != nullptr) observer(&report, context);
    if (report.action == kSectionLineStop) break;
  }
  if (section == kSectionNone) return kSectionReadOk;
  *open_section = section;
  return kSectionReadLeftOpen;
}

int ReadSectionFile(const char *name, SectionLists *lists, int *open_section,
                    SectionLineObserver observer, void *context) {
  *open_section = kSectionNone;
  FILE *stream = FileOpen(name, "rt");
  if (stream == nullptr) return kSectionReadCannotOpen;
  LineReader reader;
  StartLineReader(&reader, stream);
  int result = ReadSectionStream(&reader, lists, open_section, observer, context);
  fclose(stream);
  return result;
}

void FreeSectionLists(SectionLists *lists) {
  for (int section = 1; section <= kSectionCount; section++) {
    ClearLineList(ListOf(lists, section));
    lists->tails[section] = nullptr;
  }
}

// Every failure ends the program with exit code -1: the section lists decide what the
// installation writes, so it cannot go on without them. A memory shortage ends it the
// same way, without a second message: AllocateOrWarn has already said that processing
// stops.
void LoadSectionLists(const char *name) {
  int open_section = kSectionNone;
  int result = ReadSectionFile(name, &g_sections.lists, &open_section, nullptr, nullptr);
  switch (result) {
    case kSectionReadOk:
      return;
    case kSectionReadCannotOpen:
      RetryBox("[%s]ファイルを開けませんでした。", name);
      break;
    case kSectionReadLeftOpen:
      RetryBox("[設定.env]の[%s]が終了していません", SectionName(open_section));
      break;
    default:
      break;
  }
  exit(-1);
}

const SectionLine *GetDelfilesLines(void) { return g_sections.lists.delfiles; }
const SectionLine *GetDelfilesUserLines(void) { return g_sections.lists.delfiles_user; }
const SectionLine *GetIniLines(void) { return g_sections.lists.ini; }
const SectionLine *GetRegLines(void) { return g_sections.lists.reg; }

void ResetSectionListsForTests(void) { FreeSectionLists(&g_sections.lists); }
