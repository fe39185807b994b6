// The uninstaller's file list, UnInst.lst, and the names of the uninstaller's own files.
//
// fernpack pack writes the list into every package beside UnInst.exe; the installer
// unpacks both into the InstallFolder with the rest of the game. The list is a text file
// in Shift-JIS with CR LF line ends:
//
//   ; Fernstall file list: every file and folder of the package, for UnInst.exe.
//   ; A folder ends with "\". Names are relative to the folder of UnInst.exe.
//   install.env
//   insttscr.rct
//   readme.txt
//   UnInst.exe
//   UnInst.lst
//   data\            (a folder)
//   data\music.ogg
//
// One archive entry name per line, exactly as the package stores it, in archive order
// (so a folder's line comes before the lines of what it holds). A line that begins with
// ";" is a comment and an empty line is nothing; both may stand anywhere. The uninstaller
// reads it with the section reader's ReadTrimmedLine, so trailing blanks of a line are
// not part of the name (a stored name never ends with a blank). The list names itself,
// the uninstaller and the settings file too: the uninstaller removes those three last.
//
// When fernpack adds its own uninstaller (and not one that the game folder brings), the
// list says so in a comment line, kOwnUninstallerMark. Only then does the installer keep
// a protected copy of the uninstaller, the list and the settings file in a folder of its
// own under the common program files ("Fernstall\<16 hex digits>", writable by
// administrators alone), with kInstallFolderFileName naming the InstallFolder; the
// uninstall entry and the uninstaller's shortcut start that copy (docs/uninstall.md).
#ifndef FERN_UNINSTALL_FILE_LIST_H
#define FERN_UNINSTALL_FILE_LIST_H

#include <stddef.h>

extern const char kFileListName[];     // "UnInst.lst"
extern const char kUninstallerName[];  // "UnInst.exe"
extern const char kSettingsFileName[];  // "install.env"
// The comment lines that open every list fernpack writes, each ending with "\r\n".
extern const char kFileListHeader[];
// The comment line, ending with "\r\n", that follows the header when the package's
// UnInst.exe is fernpack's own.
extern const char kOwnUninstallerMark[];
// The comment line, ending with "\r\n", that says every file line follows a size line:
// kSizeLinePrefix and the file's unpacked size in decimal, also a comment. The installer
// sums them for its free-space check instead of walking the whole archive.
extern const char kFileSizesNote[];
extern const char kSizeLinePrefix[];  // ";="
// In the protected copy's folder: the InstallFolder, one line of Shift-JIS.
extern const char kInstallFolderFileName[];  // "UnInst.dir"
// The folder under the common program files that holds every protected copy.
extern const char kKeptCopyRootName[];  // "Fernstall"

enum ListLineKind {
  kListNothing = 0,  // empty, or a comment
  kListFile = 1,
  kListFolder = 2,   // ends with a backslash that is a character of its own
};

// What a line of the list (trailing blanks already removed) names.
int ClassifyListLine(const char *line);

// True when the relative name is one of the uninstaller's own files (UnInst.exe,
// UnInst.lst, install.env) at the top of the InstallFolder, letters compared without
// regard to case as Windows compares names.
bool IsUninstallerOwnFile(const char *relative);

// Whether a list's text (size bytes, the whole file) carries kOwnUninstallerMark as a
// line of its own among the comment lines that open it.
bool ListMarksOwnUninstaller(const char *text, size_t size);

// Whether line (a whole line with its line end) stands among the list's opening comment
// lines; a name line never begins with ";", so no game file can look like one.
bool OpeningCommentsHold(const char *text, size_t size, const char *line);

// True for the list's own name at the top of the package ("UnInst.lst", any case).
bool IsFileListName(const char *name);

#endif
