#include "support/file_io.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

FILE *FileOpen(const char *path, const char *mode) { return fopen(path, mode); }

int FileSeek(FILE *file, int64_t offset, int whence) { return fseeko(file, (off_t)offset, whence); }

int64_t FileTell(FILE *file) { return (int64_t)ftello(file); }

int MakeFolder(const char *path) {
  if (mkdir(path, 0755) == 0) return 0;
  struct stat st;
  if (errno == EEXIST && stat(path, &st) == 0 && S_ISDIR(st.st_mode)) return 0;
  return -1;
}

namespace {

void ToTimespecs(uint64_t file_time, struct timespec times[2]) {
  // Times before 1970 are kept as negative Unix times.
  int64_t ticks = (int64_t)(file_time - kFileTimeUnixEpoch);
  int64_t seconds = ticks / 10000000;
  int64_t remainder = ticks % 10000000;
  if (remainder < 0) {
    remainder += 10000000;
    seconds -= 1;
  }
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // access time stays
  times[1].tv_sec = (time_t)seconds;
  times[1].tv_nsec = (long)(remainder * 100);
}

}  // namespace

int SetFileLastWrite(const char *path, uint64_t file_time) {
  struct timespec times[2];
  ToTimespecs(file_time, times);
  return utimensat(AT_FDCWD, path, times, 0) == 0 ? 0 : -1;
}

int SetOpenFileLastWrite(FILE *file, uint64_t file_time) {
  struct timespec times[2];
  ToTimespecs(file_time, times);
  return futimens(fileno(file), times) == 0 ? 0 : -1;
}
