// The installer's FileWriter (archive/package_reader.h): the files of a walk written on a
// thread of its own while the walk reads and inflates the next ones. Creating, writing,
// timing and closing a file are each a call into the system (under Wine, a request to the
// Wine server), which a single thread would otherwise wait for between inflating. Windows
// only; one walk at a time, its calls made from one thread.
//
// Up to kWriterRingSize bytes of inflated data and kWriterSlots calls are in flight: the
// walk waits, dispatching its thread's messages, when they are taken, until the writer has
// caught up by half. What a write failure leaves behind is the same as when the walk
// writes each file itself: the files before it whole, the failing one as far as it got,
// nothing after it.
#ifndef FERN_ARCHIVE_FILE_WRITER_H
#define FERN_ARCHIVE_FILE_WRITER_H

#include "archive/package_reader.h"

enum {
  kWriterRingSize = 8 * kOutputBlockSize,
  kWriterSlots = 256,
};

const FileWriter *ThreadedFileWriter();

#endif  // FERN_ARCHIVE_FILE_WRITER_H
