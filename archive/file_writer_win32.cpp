#include "archive/file_writer.h"

#include <windows.h>
#include <winternl.h>

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "support/file_io.h"
#include "support/sjis.h"
#include "support/wide_text.h"
#include "support/window.h"

namespace {

enum SlotKind { kOpenFile, kWriteData, kCloseFile, kStopWriter };

// One call handed to the writer's thread.
struct Slot {
  SlotKind kind;
  uint32_t offset;     // kWriteData: where its bytes lie in the ring
  uint32_t size;       // kWriteData: how many
  uint32_t release;    // ring bytes freed once it is done: size and the ring's tail it
                       // passed over to keep its bytes in one piece
  uint64_t file_time;  // kOpenFile
  char path[kPathSize];  // kOpenFile
};

// Shared by the walk's thread and the writer's; every member below the lock is read and
// changed under it. The slots in [first, first + queued) and their ring bytes belong to
// the writer's thread until it has done them; the rest belong to the walk's.
struct Writer {
  CRITICAL_SECTION lock;
  bool lock_made;
  HANDLE thread;
  HANDLE work_ready;   // set when the writer's thread waits and a slot is queued
  HANDLE room_ready;   // set when the walk waits and the writer has caught up by half
  unsigned char *ring;
  Slot *slots;

  int first;
  int queued;
  uint32_t ring_next;  // the walk's next byte in the ring
  uint32_t ring_free;
  bool writer_idle;
  bool walk_waiting;
  bool failed;         // a write failed: later calls are passed over
  int error;
  char failed_path[kPathSize];
};

Writer g_writer;

// The folder the last file was created in, held open by the writer's thread.
struct OutputFolder {
  HANDLE handle;  // INVALID_HANDLE_VALUE when none is held
  wchar_t path[kWidePathSize];
};

// Done on the writer's thread, with the lock free; the open file, its name and its folder
// are the thread's own.
struct OpenOutput {
  FILE *file;
  uint64_t file_time;
  char path[kPathSize];
  OutputFolder folder;
};

void ReleaseOutputFolder(OutputFolder *folder) {
  if (folder->handle != INVALID_HANDLE_VALUE) CloseHandle(folder->handle);
  folder->handle = INVALID_HANDLE_VALUE;
  folder->path[0] = L'\0';
}

// The file name at the end of `wide` as the system creates it from a name relative to its
// folder: nullptr when a full path would be read differently (a trailing dot or space,
// which the system drops from a full path, or a stream or second separator) or the name
// is too long to pass.
const wchar_t *RelativeName(const wchar_t *wide) {
  const wchar_t *name = wcsrchr(wide, L'\\');
  if (name == nullptr || name == wide) return nullptr;
  name++;
  size_t length = wcslen(name);
  if (length == 0 || length > 255 || name[length - 1] == L'.' || name[length - 1] == L' ' ||
      wcspbrk(name, L":/") != nullptr) {
    return nullptr;
  }
  return name;
}

typedef NTSTATUS(NTAPI *CreateFileCall)(HANDLE *, ACCESS_MASK, OBJECT_ATTRIBUTES *,
                                         IO_STATUS_BLOCK *, LARGE_INTEGER *, ULONG, ULONG,
                                         ULONG, ULONG, void *, ULONG);

// The system's own create call, from ntdll, which every process has mapped from the system
// folder before any of its code runs: taken from there by address rather than imported, so
// the program names no more DLLs than before. nullptr when it cannot be had.
CreateFileCall SystemCreateFile() {
  static CreateFileCall call = nullptr;
  static bool looked = false;
  if (!looked) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll != nullptr) call = (CreateFileCall)(void *)GetProcAddress(ntdll, "NtCreateFile");
    looked = true;
  }
  return call;
}

// Creates or empties the file at `path` for writing by its name within its folder, which
// is held open from one file to the next: the system then walks the folder's path once per
// folder instead of once per file (under Wine a fifth of a small file's cost). nullptr for
// whatever this way does not take: a name the system would read differently, a folder that
// cannot be held, a file the system refuses.
FILE *CreateInHeldFolder(OutputFolder *folder, const char *path) {
  wchar_t wide[kWidePathSize];
  CreateFileCall create_file = SystemCreateFile();
  if (create_file == nullptr || SjisToWide(path, wide, kWidePathSize) != 0) return nullptr;
  const wchar_t *name = RelativeName(wide);
  if (name == nullptr) return nullptr;
  size_t folder_length = (size_t)(name - 1 - wide);
  if (folder->handle == INVALID_HANDLE_VALUE || wcsncmp(folder->path, wide, folder_length) != 0 ||
      folder->path[folder_length] != L'\0') {
    ReleaseOutputFolder(folder);
    wcsncpy(folder->path, wide, folder_length);
    folder->path[folder_length] = L'\0';
    folder->handle = CreateFileW(folder->path, FILE_TRAVERSE | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder->handle == INVALID_HANDLE_VALUE) {
      folder->path[0] = L'\0';
      return nullptr;
    }
  }
  UNICODE_STRING name_string;
  name_string.Buffer = (PWSTR)name;
  name_string.Length = name_string.MaximumLength = (USHORT)(wcslen(name) * sizeof(wchar_t));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name_string, OBJ_CASE_INSENSITIVE, folder->handle,
                             nullptr);
  IO_STATUS_BLOCK status;
  HANDLE handle;
  // The access, sharing and options that the C library's "wb" asks of CreateFileW.
  NTSTATUS result = create_file(&handle, GENERIC_WRITE | SYNCHRONIZE | FILE_READ_ATTRIBUTES,
                                &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OVERWRITE_IF,
                                FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, nullptr, 0);
  if (!NT_SUCCESS(result)) return nullptr;
  int descriptor = _open_osfhandle((intptr_t)handle, _O_WRONLY | _O_BINARY);
  if (descriptor == -1) {
    CloseHandle(handle);
    return nullptr;
  }
  FILE *file = _fdopen(descriptor, "wb");
  if (file == nullptr) _close(descriptor);
  return file;
}

// Creates or empties the file at `path` for writing, as FileOpen(path, "wb") does: within
// its held folder when it can, otherwise by FileOpen, which also tells a failure's reason
// in errno as every other file open does.
FILE *CreateOutputFile(OutputFolder *folder, const char *path) {
  FILE *file = CreateInHeldFolder(folder, path);
  return file != nullptr ? file : FileOpen(path, "wb");
}

// Carries out one slot; false when it failed, with *error set.
bool CarryOut(const Slot &slot, OpenOutput *output, int *error) {
  switch (slot.kind) {
    case kOpenFile:
      CopyText(output->path, slot.path, sizeof output->path);
      output->file_time = slot.file_time;
      output->file = CreateOutputFile(&output->folder, slot.path);
      if (output->file == nullptr) {
        *error = errno;
        return false;
      }
      return true;
    case kWriteData:
      if (output->file == nullptr) return true;
      if (WriteOutputBlock(output->file, g_writer.ring + slot.offset, slot.size) != 0) {
        *error = errno;
        return false;
      }
      return true;
    case kCloseFile: {
      if (output->file == nullptr) return true;
      FILE *file = output->file;
      output->file = nullptr;
      if (CloseOutputFile(file, output->file_time) != 0) {
        *error = errno;
        return false;
      }
      return true;
    }
    case kStopWriter:
      // A file still open was cut short by a Cancel or a failure: it stays as it is.
      if (output->file != nullptr) fclose(output->file);
      output->file = nullptr;
      ReleaseOutputFolder(&output->folder);
      return true;
  }
  return true;
}

DWORD WINAPI WriterThread(void *) {
  OpenOutput output;
  output.file = nullptr;
  output.path[0] = '\0';
  output.folder.handle = INVALID_HANDLE_VALUE;
  output.folder.path[0] = L'\0';
  EnterCriticalSection(&g_writer.lock);
  for (;;) {
    while (g_writer.queued == 0) {
      g_writer.writer_idle = true;
      LeaveCriticalSection(&g_writer.lock);
      WaitForSingleObject(g_writer.work_ready, INFINITE);
      EnterCriticalSection(&g_writer.lock);
    }
    const Slot &slot = g_writer.slots[g_writer.first];
    bool skip = g_writer.failed && slot.kind != kStopWriter;
    LeaveCriticalSection(&g_writer.lock);

    int error = 0;
    bool done = skip || CarryOut(slot, &output, &error);
    SlotKind kind = slot.kind;

    EnterCriticalSection(&g_writer.lock);
    if (!done && !g_writer.failed) {
      g_writer.failed = true;
      g_writer.error = error;
      CopyText(g_writer.failed_path, output.path, sizeof g_writer.failed_path);
      if (output.file != nullptr) fclose(output.file);  // left as far as it got
      output.file = nullptr;
    }
    g_writer.ring_free += slot.release;
    g_writer.first = (g_writer.first + 1) % kWriterSlots;
    g_writer.queued--;
    bool caught_up = g_writer.queued <= kWriterSlots / 2 &&
                     g_writer.ring_free >= (uint32_t)kWriterRingSize / 2;
    if (g_writer.walk_waiting && (caught_up || g_writer.failed || kind == kStopWriter)) {
      g_writer.walk_waiting = false;
      SetEvent(g_writer.room_ready);
    }
    if (kind == kStopWriter) break;
  }
  LeaveCriticalSection(&g_writer.lock);
  return 0;
}

// Queues one call with `size` bytes of data (0 for none); -1 once a write has failed.
int Queue(SlotKind kind, const char *path, uint64_t file_time, const unsigned char *data,
          uint32_t size) {
  EnterCriticalSection(&g_writer.lock);
  uint32_t tail = kWriterRingSize - g_writer.ring_next;
  uint32_t skip = size > tail ? tail : 0;
  while (!(g_writer.failed && kind != kStopWriter) &&
         (g_writer.queued == kWriterSlots || g_writer.ring_free < skip + size)) {
    g_writer.walk_waiting = true;
    LeaveCriticalSection(&g_writer.lock);
    WaitPumpingMessages(g_writer.room_ready);
    EnterCriticalSection(&g_writer.lock);
  }
  if (g_writer.failed && kind != kStopWriter) {
    LeaveCriticalSection(&g_writer.lock);
    return -1;
  }
  Slot *slot = &g_writer.slots[(g_writer.first + g_writer.queued) % kWriterSlots];
  uint32_t offset = skip != 0 ? 0 : g_writer.ring_next;
  g_writer.ring_next = (offset + size) % kWriterRingSize;
  g_writer.ring_free -= skip + size;
  LeaveCriticalSection(&g_writer.lock);

  // The slot and its bytes are the walk's until they are counted in below.
  slot->kind = kind;
  slot->offset = offset;
  slot->size = size;
  slot->release = skip + size;
  slot->file_time = file_time;
  if (path != nullptr) CopyText(slot->path, path, sizeof slot->path);
  if (size > 0) memcpy(g_writer.ring + offset, data, size);

  EnterCriticalSection(&g_writer.lock);
  g_writer.queued++;
  bool wake = g_writer.writer_idle;
  g_writer.writer_idle = false;
  LeaveCriticalSection(&g_writer.lock);
  if (wake) SetEvent(g_writer.work_ready);
  return 0;
}

void ReleaseWriter() {
  if (g_writer.thread != nullptr) CloseHandle(g_writer.thread);
  if (g_writer.work_ready != nullptr) CloseHandle(g_writer.work_ready);
  if (g_writer.room_ready != nullptr) CloseHandle(g_writer.room_ready);
  free(g_writer.ring);
  free(g_writer.slots);
  g_writer.thread = g_writer.work_ready = g_writer.room_ready = nullptr;
  g_writer.ring = nullptr;
  g_writer.slots = nullptr;
}

int BeginWriter(void *) {
  if (!g_writer.lock_made) {
    InitializeCriticalSection(&g_writer.lock);
    g_writer.lock_made = true;
  }
  g_writer.first = 0;
  g_writer.queued = 0;
  g_writer.ring_next = 0;
  g_writer.ring_free = kWriterRingSize;
  g_writer.writer_idle = false;
  g_writer.walk_waiting = false;
  g_writer.failed = false;
  g_writer.error = 0;
  g_writer.failed_path[0] = '\0';
  g_writer.ring = (unsigned char *)malloc(kWriterRingSize);
  g_writer.slots = (Slot *)malloc(sizeof(Slot) * kWriterSlots);
  g_writer.work_ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  g_writer.room_ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (g_writer.ring != nullptr && g_writer.slots != nullptr && g_writer.work_ready != nullptr &&
      g_writer.room_ready != nullptr) {
    g_writer.thread = CreateThread(nullptr, 0, WriterThread, nullptr, 0, nullptr);
  }
  if (g_writer.thread == nullptr) {
    ReleaseWriter();  // the walk writes its files itself
    return -1;
  }
  return 0;
}

int OpenFile(void *, const char *path, uint64_t file_time) {
  return Queue(kOpenFile, path, file_time, nullptr, 0);
}

int WriteData(void *, const unsigned char *data, uint32_t size) {
  return Queue(kWriteData, nullptr, 0, data, size);
}

int CloseFile(void *) { return Queue(kCloseFile, nullptr, 0, nullptr, 0); }

int FinishWriter(void *) {
  Queue(kStopWriter, nullptr, 0, nullptr, 0);
  WaitPumpingMessages(g_writer.thread);
  ReleaseWriter();
  return g_writer.failed ? -1 : 0;
}

void TellFailure(void *, int *error, char *path, int size) {
  *error = g_writer.error;
  CopyText(path, g_writer.failed_path, (size_t)size);
}

const FileWriter kThreadedWriter = {nullptr,   BeginWriter, OpenFile,   WriteData,
                                    CloseFile, FinishWriter, TellFailure};

}  // namespace

const FileWriter *ThreadedFileWriter() { return &kThreadedWriter; }
