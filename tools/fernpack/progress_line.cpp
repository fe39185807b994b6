#include "tools/fernpack/progress_line.h"

#include <stdio.h>

namespace {

const double kInterval = 0.2;  // seconds between two redraws

double Seconds(const struct timespec &a, const struct timespec &b) {
  return (double)(b.tv_sec - a.tv_sec) + (double)(b.tv_nsec - a.tv_nsec) / 1e9;
}

}  // namespace

void StartProgressLine(ProgressLine *line, const char *verb, bool shown) {
  line->shown = shown;
  line->verb = verb;
  clock_gettime(CLOCK_MONOTONIC, &line->start);
  line->last = {0, 0};
}

void ShowProgressLine(ProgressLine *line, const char *files, uint64_t done, uint64_t total,
                      bool final) {
  if (!line->shown) return;
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  if (!final && Seconds(line->last, now) < kInterval) return;
  line->last = now;
  double elapsed = Seconds(line->start, now);
  double mib = (double)done / 1048576.0;
  fprintf(stderr, "\r%s: %s, %.1f/%.1f MiB, %.1f MiB/s   ", line->verb, files, mib,
          (double)total / 1048576.0, elapsed > 0 ? mib / elapsed : 0.0);
  if (final) fputc('\n', stderr);
}

void BreakProgressLine(const ProgressLine *line) {
  if (line->shown) fputc('\n', stderr);
}
