// The lists of the uninstaller's last message: what could not be removed, and which lines
// were refused. Each list is a bounded text of lines; an entry that no longer fits is
// counted instead, and the count closes the list as one line ("ほか 3 件"), so the final
// box always fits its 1024-byte message buffer and still says that more was left.
#ifndef FERN_UNINSTALL_REPORT_H
#define FERN_UNINSTALL_REPORT_H

#include <stddef.h>

enum {
  kReportSize = 360,      // text of one list, with its terminator
  kReportTailSize = 32,   // kept free for the closing count line
};

struct RemovalReport {
  char text[kReportSize];
  size_t length;  // bytes of text, without the terminator
  int entries;    // entries added, shown or not
  int left_out;   // entries that did not fit
};

void StartReport(RemovalReport *report);

// Adds one entry as "  <entry><suffix>\n". An entry that would not fit whole (leaving
// kReportTailSize bytes free) is only counted.
void AddReportEntry(RemovalReport *report, const char *entry, const char *suffix);

// The list's text, closed with the count of entries left out when there are any. Stays
// valid until the report is changed again.
const char *ReportText(RemovalReport *report);

#endif
