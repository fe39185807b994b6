// fernpack pack: turns a game folder into an installer (stub + PackageArchive).
#ifndef FERN_TOOLS_FERNPACK_PACK_H
#define FERN_TOOLS_FERNPACK_PACK_H

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/fernpack/output_file.h"

// One entry to be written, in archive order.
struct PackItem {
  std::string source;        // host path of the file or folder (UTF-8); empty if generated
  std::string relative;      // host relative path, '/'-separated (UTF-8), for messages
  std::string name;          // entry name: Shift-JIS, backslashes, folders end with '\\'
  bool is_folder = false;
  uint64_t size = 0;         // file size in bytes
  uint64_t file_time = 0;    // last-write time as FILETIME (UTC)
  bool generated = false;    // content comes from `data`, not from `source`
  std::vector<unsigned char> data;
  FileIdentity identity;     // of the source file, to keep the output off every input
};

struct PackOptions {
  std::string folder;
  std::string output;
  std::string stub;          // empty: look beside fernpack
  std::string uninstaller;   // UnInst.exe; empty: $FERNSTALL_UNINSTALLER or beside fernpack
  int level = 7;             // compression level, 0-12 (see pack_command.cpp)
  int jobs = 0;              // 0: one per core
  bool quiet = false;
  bool progress = false;     // a progress line on standard error
  // Files larger than this are streamed through a spill file instead of memory.
  uint64_t in_memory_limit = 256ull << 20;
};

// Collects the game folder's entries in archive order: top-level files first (so the
// installer's preview finds its settings, picture and readme before any nested folder),
// then each folder followed by its files and sub-folders, every level sorted by name.
// Names are composed (NFC), converted to Shift-JIS and must pass CheckEntryName; two
// names that Windows would take for one file are refused, naming both. Symbolic links
// are followed; a loop, or a link that leads outside the game folder, is refused.
// False with a message in *error (naming the file, the reason and the fix) when a name
// cannot be stored or a file is unusable.
bool CollectGameFolder(const std::string &folder, std::vector<PackItem> *items,
                       std::string *error);

// Checks and adapts the collected entries before packing (settings check, picture
// conversion). False with a message when the package must not be built.
bool ReviewGameFolder(const PackOptions &options, std::vector<PackItem> *items,
                      std::string *error);

// Writes the package. The output path is checked first (see output_file.h): it may not
// lie in the game folder or be an input (a game file or the stub), a device or a FIFO.
// Nothing is left at options.output on failure or on SIGINT, SIGTERM or SIGHUP.
bool WritePackage(const PackOptions &options, const std::vector<PackItem> &items,
                  std::string *error);

int RunPack(int argc, char **argv);

// Review steps, each in a file of its own (pack_picture.cpp, pack_settings.cpp).
// Replaces a top-level insttscr.png by a generated insttscr.rct entry.
bool ConvertMenuPicture(std::vector<PackItem> *items, std::string *error);
// Refuses a package whose settings would stop the installer, that lacks install.env or
// the menu picture, or whose supplied insttscr.rct does not decode.
bool CheckSettingsForPack(const std::vector<PackItem> &items, std::string *error);

// Adds UnInst.exe (unless the game folder has one at its top level) from
// FindUninstaller, and the generated file list UnInst.lst naming every entry of the
// package, itself included (a UnInst.lst of the game folder is replaced). Both go at the
// front of the archive. False with a message when no usable uninstaller is found.
bool AddUninstaller(const PackOptions &options, std::vector<PackItem> *items,
                    std::string *error);
// The uninstaller to pack: requested when given, else $FERNSTALL_UNINSTALLER, else
// UnInst.exe found as FindCompanionProgram finds it; empty when none is found.
std::string FindUninstaller(const std::string &requested);
// A Windows program fernpack packs: the one requested, else the path in the environment
// variable env_name, else file_name beside fernpack, in ../win32/ or in ../lib/fernstall/.
// Empty when none is found.
std::string FindCompanionProgram(const std::string &requested, const char *env_name,
                                 const char *file_name);
// UnInst.lst's text for these entries, in their order (uninstall/file_list.h), marked
// when the package's UnInst.exe is fernpack's own.
std::string FormatFileList(const std::vector<PackItem> &items, bool own_uninstaller);

// Converts a Unix time (seconds, nanoseconds) to FILETIME.
uint64_t UnixToFileTime(int64_t seconds, long nanoseconds);

#endif
