// Decisions about archive entry names, shared by the installer's extractor, fernpack's
// extract and verify, and fernpack pack (which never writes a name these refuse).
#ifndef FERN_ARCHIVE_ENTRY_NAME_H
#define FERN_ARCHIVE_ENTRY_NAME_H

#include <stddef.h>

enum NameCheck {
  kNameOk = 0,
  kNameEmpty,          // no characters, or an empty component ("a\\\\b", "\\a")
  kNameAbsolute,       // begins with a separator
  kNameDrive,          // holds a colon: a drive letter or an alternate data stream
  kNameDotComponent,   // a component made of dots and spaces only: ".", "..", "..."
  kNameBadCharacter,   // a control byte or one of < > " | ? * as a character of its own
  kNameDevice,         // a DOS device name such as CON, NUL, COM1, whatever its extension
  kNameTooLong,        // more than kMaxNameSize bytes with the NUL
  kNameBadEncoding,    // a lead byte with no trail byte
};

// Checks a stored entry name (without its NUL). Both '\\' and '/' are separators, found
// character by character. A folder entry may end with one backslash; nothing else may
// end with a separator. An entry name that passes never leads outside the destination.
NameCheck CheckEntryName(const char *name, bool is_folder);

// Short English reason for fernpack's messages.
const char *DescribeNameCheck(NameCheck check);

// True when the needle occurs in the name, letters A-Z compared without regard to case,
// matching only where a character begins. Both texts must fit kPathSize bytes; longer
// ones are compared as cut to that size.
bool NameContains(const char *name, const char *needle);

// True when the name holds a separator, so the entry lies inside a folder.
bool NameHasFolder(const char *name);

#endif
