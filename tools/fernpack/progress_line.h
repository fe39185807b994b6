// The progress line that pack and extract show on standard error while they work, only
// when it is a terminal: "<verb>: <files>, <done>/<total> MiB, <rate> MiB/s", rewritten
// in place at most five times a second, and always once more at the end.
#ifndef FERN_TOOLS_FERNPACK_PROGRESS_LINE_H
#define FERN_TOOLS_FERNPACK_PROGRESS_LINE_H

#include <stdint.h>
#include <time.h>

struct ProgressLine {
  bool shown = false;     // standard error is a terminal (or a test asked for it)
  const char *verb = "";  // "packing", "extracting"
  struct timespec start = {0, 0};
  struct timespec last = {0, 0};
};

// Starts the clock; shown says whether the line is drawn at all.
void StartProgressLine(ProgressLine *line, const char *verb, bool shown);

// Draws the line when it is due (or final). files is the text of the files part, such as
// "3/10 files".
void ShowProgressLine(ProgressLine *line, const char *files, uint64_t done, uint64_t total,
                      bool final);

// Ends a line that a failure interrupts, so that the message starts on a line of its own.
void BreakProgressLine(const ProgressLine *line);

#endif
