// Conversion of file names between the host's UTF-8 and the archive's Shift-JIS.
#ifndef FERN_TOOLS_FERNPACK_SJIS_NAMES_H
#define FERN_TOOLS_FERNPACK_SJIS_NAMES_H

#include <string>

// UTF-8 -> Shift-JIS (code page 932). False when a character has no Shift-JIS form or the
// input is not valid UTF-8.
bool Utf8ToSjis(const std::string &utf8, std::string *sjis);

// Shift-JIS -> UTF-8. False when the bytes are not valid Shift-JIS.
bool SjisToUtf8(const std::string &sjis, std::string *utf8);

// An archive entry name (backslashes) as a host path (slashes), in UTF-8. Separators are
// found character by character, so a 0x5C trail byte stays part of its character.
bool EntryNameToHostPath(const char *name, std::string *path);

// ExtractObserver::make_path for host extraction: "data\\a.txt" under folder becomes
// folder/data/a.txt in UTF-8; -1 when the name is not Shift-JIS or the path does not fit.
int JoinHostEntryPath(void *context, const char *folder, const char *name, char *out, int size);

// One component of a host path (a file or folder name, UTF-8 as the file system holds
// it) as the Shift-JIS bytes that the package will store. The name is first composed
// (Unicode NFC), so decomposed names as macOS writes them convert like their composed
// form. False with a reason and a fix in *error (the name itself is not in it) when the
// name is not UTF-8, when a character has no Shift-JIS form, when a character's
// Shift-JIS form is a separator byte ("\\" or "/"; the yen sign becomes 0x5C), or when
// the name ends with a dot or a space, which Windows removes on creating the file.
bool ConvertNameComponent(const std::string &utf8, std::string *sjis, std::string *error);

// The key under which Windows finds an entry name: the Shift-JIS name read back as
// Unicode, every letter in upper case (simple case mapping, as the file system compares
// names), separators as '/'. Two names with the same key are one file on Windows.
// False when the name is not valid Shift-JIS.
bool WindowsNameKey(const std::string &sjis_name, std::string *key);

#endif
