// What the uninstaller may remove, decided without Windows: the check of every name that
// a list gives it, the "*" and "?" patterns of [delfiles] lines, and whether a path (a
// shortcut's target, the uninstall entry's command) points into the InstallFolder.
//
// Every name that the uninstaller acts on is relative to the InstallFolder and passes
// CheckEntryName, the same check that the installer's extractor applies to the names it
// writes: so a line that is absolute, holds a drive letter or a stream name, or climbs
// out with ".." never reaches a Windows call, and every path the uninstaller builds is the
// InstallFolder, a backslash and such a name. Texts are Shift-JIS; separators ("\\" and
// "/") and wildcards are found character by character.
#ifndef FERN_UNINSTALL_REMOVAL_RULES_H
#define FERN_UNINSTALL_REMOVAL_RULES_H

#include <stddef.h>

#include "archive/entry_name.h"

// The verdicts of CheckRemovalLine: the NameCheck values of archive/entry_name.h, and one
// of its own.
enum { kNamePatternInFolder = 100 };  // "*" or "?" outside the last component

// The first word of a [delfiles] or [delfiles_user] line: the first run of non-blank
// bytes (blank: 0x00-0x20), so a comment after the name is not part of it. Writes it
// into out; returns 0, -1 when the line holds no word, -2 when the word does not fit.
int FirstWord(const char *line, char *out, size_t size);

// Checks a name relative to the InstallFolder. With allow_pattern, "*" and "?" may stand
// in its last component (a pattern within one folder). A name that ends with a backslash
// is taken as a folder. On kNameOk, out (size bytes) holds the name with every "/" turned
// into "\\"; on any other verdict out is the empty text.
int CheckRemovalLine(const char *name, bool allow_pattern, char *out, size_t size);

// True when the text holds "*" or "?" as a character of its own.
bool HasWildcard(const char *text);

// Splits a checked name at its last separator: the folder part (without the separator;
// empty for a name at the top) and the last component. Both fit the name's own size.
void SplitLastComponent(const char *name, char *folder, size_t folder_size, char *last,
                        size_t last_size);

// Matches a file name against a pattern as the command interpreter does for one folder:
// "*" stands for any run of characters (none included), "?" for exactly one character (a
// double-byte character is one), letters A-Z match without regard to case, every other
// character only itself.
bool MatchNamePattern(const char *pattern, const char *name);

// Names compared as Windows compares them: A-Z without regard to case, "/" and "\\"
// alike, character by character (a double-byte character's bytes are compared as they are).
bool SameNameIgnoringCase(const char *a, const char *b);

// True when path is the folder itself or lies inside it (the folder followed by a
// separator), compared as SameNameIgnoringCase does. A trailing separator of the folder
// is ignored; an empty folder contains nothing.
bool PathPointsInto(const char *path, const char *folder);

// The number of separators in a relative name: folders with more are removed first.
int NameDepth(const char *name);

// The links below the InstallFolder and the folders that other files share. Windows gives
// the path of an open file or folder in its final form, "\\?\C:\x" or
// "\\?\UNC\server\share\x", with every junction, symbolic link and mount point resolved.
// The uninstaller deletes a name only when that final path is the InstallFolder's own
// (resolved once) followed by the name: a path that a link turned elsewhere differs.

// The path in the form the rest of the uninstaller writes: "\\?\C:\x" becomes "C:\x",
// "\\?\UNC\server\share\x" becomes "\\server\share\x"; any other text (a volume's path,
// "\\?\Volume{...}\x") is kept. Returns
// 0, or -1 when it does not fit size bytes (out empty then).
int PlainFinalPath(const char *final_path, char *out, size_t size);

// Whether path (plain or final) names exactly folder, a separator and relative, compared
// as SameNameIgnoringCase does; a trailing separator of folder is ignored, an empty
// relative names the folder itself.
bool IsPathOf(const char *path, const char *folder, const char *relative);

// Whether an InstallFolder (its resolved path, plain or final) is a place whose other
// files are not the game's: a drive root ("C:\", "\\server\share"), one of shared itself
// (program, profile and user folders), or inside one of inside (the Windows folder). There
// the uninstaller removes the names its lists give and expands no pattern. Empty entries
// are passed over.
bool IsSharedFolder(const char *folder, const char *const *shared, size_t shared_count,
                    const char *const *inside, size_t inside_count);

// Removes one pair of surrounding double quotes from a command text in place, as a
// command that names a path with blanks carries them.
void StripQuotes(char *text);

#endif
