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

// A host relative path (slashes) as an archive entry name (backslashes), in Shift-JIS.
bool HostPathToEntryName(const std::string &path, std::string *name);

#endif
