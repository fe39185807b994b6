#include "uninstall/report.h"

#include <stdio.h>
#include <string.h>

void StartReport(RemovalReport *report) {
  report->text[0] = '\0';
  report->length = 0;
  report->entries = 0;
  report->left_out = 0;
}

void AddReportEntry(RemovalReport *report, const char *entry, const char *suffix) {
  report->entries++;
  size_t room = kReportSize - kReportTailSize - report->length;
  int n = snprintf(report->text + report->length, room, "  %s%s\n", entry, suffix);
  if (n < 0 || (size_t)n >= room) {
    report->text[report->length] = '\0';
    report->left_out++;
    return;
  }
  report->length += (size_t)n;
}

const char *ReportText(RemovalReport *report) {
  if (report->left_out > 0) {
    // Fits: kReportTailSize bytes were kept free for this line.
    snprintf(report->text + report->length, kReportSize - report->length, "  ほか %d 件\n",
             report->left_out);
  }
  return report->text;
}
