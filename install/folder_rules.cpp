#include "install/folder_rules.h"

#include <string.h>

#include "support/sjis.h"

namespace {

// Appends pieces of text to a buffer, or only measures them when out is null. It follows
// the Shift-JIS character walk across the joins itself, so that its backslash test gives
// the same answer as EndsWithBackslash on the joined text, whether or not it writes: a
// measuring pass and the writing pass after it always take the same decisions.
struct PathBuilder {
  char *out;                 // null: measure only
  size_t size;               // bytes of out, terminator included
  size_t length;             // bytes of text so far, terminator excluded
  bool open_lead;            // the last byte opened a double-byte character
  bool ends_with_backslash;  // the last character is a backslash of its own
};

PathBuilder StartBuilder(char *out, size_t size) { return PathBuilder{out, size, 0, false, false}; }

// Follows one byte of the text without writing it.
void Track(PathBuilder *b, unsigned char byte) {
  if (b->open_lead) {
    b->open_lead = false;
    b->ends_with_backslash = false;
  } else if (IsSjisLeadByte(byte)) {
    b->open_lead = true;
    b->ends_with_backslash = false;
  } else {
    b->ends_with_backslash = byte == '\\';
  }
  b->length++;
}

// Takes the text already in out (the builder continues it in place).
void Resume(PathBuilder *b) {
  for (const char *p = b->out; *p; p++) Track(b, (unsigned char)*p);
}

// Writes only while a terminator still fits after the byte, so out is never overrun;
// Fits() tells whether everything was written.
void Append(PathBuilder *b, const char *text) {
  for (const char *p = text; *p; p++) {
    if (b->out != nullptr && b->length + 1 < b->size) b->out[b->length] = *p;
    Track(b, (unsigned char)*p);
  }
}

// AppendBackslash on the text built so far: an empty text gets one too.
void AppendSeparator(PathBuilder *b) {
  if (!b->ends_with_backslash) Append(b, "\\");
}

bool Fits(const PathBuilder *b) { return b->length < b->size; }

// Terminates the text when it fits; returns 0, or -1.
int Finish(PathBuilder *b) {
  if (!Fits(b)) return -1;
  if (b->out != nullptr) b->out[b->length] = '\0';
  return 0;
}

// The browse result: the picked path, INSTFOL unless the path already names it, INSTTO.
void ComposeBrowsed(PathBuilder *b, const char *picked, const FolderSettings *settings) {
  Append(b, picked);
  if (settings->inst_fol != nullptr && FindSjisText(picked, settings->inst_fol) == nullptr) {
    AppendSeparator(b);
    Append(b, settings->inst_fol);
  }
  AppendSeparator(b);
  Append(b, settings->inst_to);
}

// The Windows folder's drive, such as "C:": its text up to and including the first ":".
// Returns the length of that prefix, 0 when the Windows folder has no ":".
size_t DrivePrefixLength(const char *windows_dir) {
  const char *colon = FindSjisChar(windows_dir, ':');
  return colon == nullptr ? 0 : (size_t)(colon - windows_dir) + 1;
}

void SlashesToBackslashes(char *text) {
  for (char *p = text; *p; p += SjisCharLength(p)) {
    if (*p == '/') *p = '\\';
  }
}

// A "\\\\" pair marks a network path (\\server\share) or a doubled separator. The search
// is byte-wise and looks at the first pair only; a pair whose first byte follows a lead
// byte is taken for a double-byte character's trail byte and passes.
bool LooksLikeNetworkPath(const char *text) {
  const char *pair = strstr(text, "\\\\");
  if (pair == nullptr) return false;
  return pair == text || !IsSjisLeadByte((unsigned char)pair[-1]);
}

// INSTMAKEFOL: a folder that does not already hold the INSTTO text (byte-wise) gets
// "\\", INSTFOL and "\\" when present, and INSTTO appended.
FolderVerdict ExtendFolder(char *text, size_t size, const FolderSettings *settings) {
  if (settings->inst_make_fol == 0 || strstr(text, settings->inst_to) != nullptr) {
    return kFolderAccepted;
  }
  // Checked before the first byte is written, so that a refusal leaves the text whole.
  size_t grown = strlen(text) + 1 + strlen(settings->inst_to);
  if (settings->inst_fol != nullptr) grown += strlen(settings->inst_fol) + 1;
  if (grown >= size) return kFolderTooLong;
  PathBuilder b = StartBuilder(text, size);
  Resume(&b);
  Append(&b, "\\");
  if (settings->inst_fol != nullptr) {
    Append(&b, settings->inst_fol);
    Append(&b, "\\");
  }
  Append(&b, settings->inst_to);
  return Finish(&b) == 0 ? kFolderAccepted : kFolderTooLong;
}

// A text without a drive takes the Windows folder's drive in front of it.
FolderVerdict PrefixDrive(char *text, size_t size, const char *windows_dir) {
  if (FindSjisChar(text, ':') != nullptr) return kFolderAccepted;
  size_t prefix = DrivePrefixLength(windows_dir);
  size_t length = strlen(text);
  if (length + prefix >= size) return kFolderTooLong;
  memmove(text + prefix, text, length + 1);
  memcpy(text, windows_dir, prefix);
  return kFolderAccepted;
}

// "C:Games" names a folder relative to drive C's current folder, which the installer
// cannot know; a separator after the drive makes it absolute.
FolderVerdict SeparateDrive(char *text, size_t size) {
  char *colon = const_cast<char *>(FindSjisChar(text, ':'));
  if (colon == nullptr || colon[1] == '\\') return kFolderAccepted;
  size_t length = strlen(text);
  if (length + 1 >= size) return kFolderTooLong;
  memmove(colon + 2, colon + 1, length - (size_t)(colon + 1 - text) + 1);
  colon[1] = '\\';
  return kFolderAccepted;
}

// Whether the component (length bytes) holds only dots and blanks, which Windows reads as
// the folder itself ("." and names such as "..." whose dots it strips), ".." apart.
bool IsDotsAndBlanks(const char *component, size_t length) {
  for (size_t i = 0; i < length; i++) {
    if (component[i] != '.' && component[i] != ' ') return false;
  }
  return true;
}

// Removes "." and ".." components in place, as Windows does when it makes a path full: a
// ".." takes the component before it away and stays at the root, a component of dots and
// blanks alone is the folder itself, an empty one (a doubled separator) is nothing. The
// text is "<drive>:\..." (SeparateDrive ran); "C:\Games\.." becomes the root "C:\".
void CollapseDotComponents(char *text) {
  const char *colon = FindSjisChar(text, ':');
  if (colon == nullptr || colon[1] != '\\') return;
  char *base = text + (colon - text) + 2;
  // Where each kept component begins in the output; a path of kPathSize bytes has far
  // fewer components, and a longer text keeps its components past the last entry.
  enum { kMaxComponents = 256 };
  size_t starts[kMaxComponents];
  int kept = 0;
  char *out = base;
  const char *p = base;
  while (*p != '\0') {
    const char *end = FindSeparator(p, false);
    size_t length = end != nullptr ? (size_t)(end - p) : strlen(p);
    bool parent = length == 2 && p[0] == '.' && p[1] == '.';
    if (parent) {
      if (kept > 0) out = base + starts[--kept];
      // The separator before the removed component goes with it.
      if (out > base) out--;
    } else if (length > 0 && !IsDotsAndBlanks(p, length)) {
      if (out > base) *out++ = '\\';
      if (kept < kMaxComponents) starts[kept++] = (size_t)(out - base);
      memmove(out, p, length);  // out never passes p: the text only shrinks
      out += length;
    }
    p = end != nullptr ? end + 1 : p + length;
  }
  *out = '\0';
}

}  // namespace

bool FolderLeavesRoom(const char *folder) {
  return strlen(folder) + 1 + strlen(kProbeFileName) < (size_t)kPathSize;
}

const char kProbeFileName[] = "UserAccountCheck.id";

int BuildProposedFolder(char *candidate, size_t size, const FolderSettings *settings) {
  if (size == 0) return -1;
  // The Windows drive's root: the Windows folder cut after its first backslash.
  const char *separator = FindSeparator(settings->windows_dir, false);
  size_t root = separator == nullptr ? 0 : (size_t)(separator - settings->windows_dir) + 1;
  if (root >= size) {
    candidate[0] = '\0';
    return -1;
  }
  memcpy(candidate, settings->windows_dir, root);
  candidate[root] = '\0';
  PathBuilder b = StartBuilder(candidate, size);
  Resume(&b);
  Append(&b, "Program Files\\");
  if (settings->inst_fol != nullptr) {
    Append(&b, settings->inst_fol);
    Append(&b, "\\");
  }
  Append(&b, settings->inst_to);
  if (Finish(&b) != 0) {
    // Never offer a cut path: the caller refuses an empty proposal.
    candidate[0] = '\0';
    return -1;
  }
  return 0;
}

int ApplyBrowsedFolder(char *candidate, size_t size, const char *picked,
                       const FolderSettings *settings) {
  // Measure first, so that a pick that does not fit leaves the candidate as it was.
  PathBuilder measure = StartBuilder(nullptr, size);
  ComposeBrowsed(&measure, picked, settings);
  if (!Fits(&measure)) return -1;
  PathBuilder b = StartBuilder(candidate, size);
  ComposeBrowsed(&b, picked, settings);
  return Finish(&b);
}

FolderVerdict NormaliseInstallFolder(char *candidate, size_t size,
                                     const FolderSettings *settings) {
  SlashesToBackslashes(candidate);
  if (LooksLikeNetworkPath(candidate)) return kFolderNetwork;
  StripBackslash(candidate);
  FolderVerdict verdict = ExtendFolder(candidate, size, settings);
  if (verdict != kFolderAccepted) return verdict;
  verdict = PrefixDrive(candidate, size, settings->windows_dir);
  if (verdict != kFolderAccepted) return verdict;
  verdict = SeparateDrive(candidate, size);
  if (verdict != kFolderAccepted) return verdict;
  CollapseDotComponents(candidate);
  // After the final backslash was stripped and the dots taken out, only a drive root ends
  // with one ("C:\\").
  if (EndsWithBackslash(candidate)) return kFolderRoot;
  return kFolderAccepted;
}
