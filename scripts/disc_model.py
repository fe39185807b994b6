#!/usr/bin/env python3
"""Replays the installer's reads of its package on a model of a 16x DVD drive.

    disc_model.py <trace folder> <package> <label> <entries>

<trace folder> holds strace's output of a whole installation under Wine, a file per
process (strace -ff -ttt -y -e trace=read,pread64,readv,preadv,lseek). Every read of the
package file by any process is taken in time order: the loader's reads of the program
image, the start-up preview, the free-space check, the copy and the protected copy of the
uninstaller. Its offset comes from the call (pread64) or from the descriptor's position,
which lseek's result and each read's length set.

The model (figures from the DVD drive class the installer ships on):
- Sequential rate 21 MB/s: a 16x DVD reads 16 x 1.385 MB/s = 22.2 MB/s at the outer edge
  and less inside; 21 MB/s is the rate a whole-disc read averages at best.
- A seek costs 100 ms: the random access time that DVD-ROM drives state is 95 to 110 ms.
- The drive reads ahead: after a read it goes on filling its 2 MiB buffer, so a later
  read that starts no further on than that costs the bytes in between at the sequential
  rate and no seek. Any read further on, or behind, seeks (a forward jump reads through
  instead when that is cheaper).
- Windows keeps what was read in its file cache (a game's installation fits in memory):
  a read of bytes read before costs nothing, in 4 KiB pages.
- The loader reads the program's headers first: Wine maps them, which strace does not
  show, so the first read is taken to begin at offset 0.
- The first read seeks, as any first access to a disc does; the medium's limit is that
  seek plus the package's bytes at the sequential rate. Reading is assumed not to wait
  for the processor (inflating runs at several times the drive's rate).

Prints "RESULT disc <label> <package bytes> <modelled s> <limit s> <reads> <seeks>
<entries>", where reads counts the read calls on the package and seeks the model's seeks.
"""
import glob
import os
import re
import sys

RATE = 21e6
SEEK = 0.100
READ_AHEAD = 2 << 20
PAGE = 4096

CALL = re.compile(r'^(\d+\.\d+) (read|pread64|readv|preadv|lseek)\((\d+)<([^>]*)>, (.*)\) += (-?\d+)')


def reads_of(folder, package):
    """(time, offset, length) of every read of the package, in time order."""
    events = []
    for path in glob.glob(os.path.join(folder, "t.*")):
        position = {}
        with open(path, errors="replace") as f:
            for line in f:
                m = CALL.match(line)
                if not m or m.group(4) != package:
                    continue
                when, call, fd, rest, result = m.group(1), m.group(2), m.group(3), m.group(5), int(m.group(6))
                if result < 0:
                    continue
                if call == "lseek":
                    position[fd] = result
                elif call in ("pread64", "preadv"):
                    offset = int(rest.rsplit(",", 1)[1])
                    if result:
                        events.append((float(when), offset, result))
                else:
                    offset = position.get(fd, 0)
                    if result:
                        events.append((float(when), offset, result))
                    position[fd] = offset + result
    events.sort()
    if events:
        when, offset, length = events[0]
        events[0] = (when, 0, offset + length)
    return events


def model(events):
    """Modelled seconds, seeks, and the reads that reached the drive."""
    cached = set()
    head = None          # where the drive's last physical read ended
    seconds = 0.0
    seeks = 0
    for _, offset, length in events:
        first, last = offset // PAGE, (offset + length - 1) // PAGE
        page = first
        while page <= last:
            if page in cached:
                page += 1
                continue
            start = page
            while page <= last and page not in cached:
                cached.add(page)
                page += 1
            lo, hi = start * PAGE, page * PAGE
            ahead = head is not None and head <= lo and (
                lo - head <= READ_AHEAD or (lo - head) / RATE < SEEK)
            if ahead:
                # Read through what lies between: those pages are in the cache now too.
                seconds += (hi - head) / RATE
                cached.update(range(head // PAGE, start))
            else:
                seconds += SEEK + (hi - lo) / RATE
                seeks += 1
            head = hi
    return seconds, seeks


def main():
    folder, package, label, entries = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    events = reads_of(folder, package)
    if not events:
        print("disc_model: no reads of %s in %s" % (package, folder), file=sys.stderr)
        return 1
    size = os.path.getsize(package)
    seconds, seeks = model(events)
    limit = SEEK + size / RATE
    print("RESULT disc %s %d %.3f %.3f %d %d %d" % (label, size, seconds, limit, len(events), seeks, entries))
    return 0


if __name__ == "__main__":
    sys.exit(main())
