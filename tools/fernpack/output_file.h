// Writing fernpack's outputs without ever destroying an input: the output path is checked
// before anything is written, the data goes to a temporary file beside it, and only a
// complete file is renamed into place. A temporary file is removed on failure and on
// SIGINT, SIGTERM and SIGHUP, so no partial output survives.
#ifndef FERN_TOOLS_FERNPACK_OUTPUT_FILE_H
#define FERN_TOOLS_FERNPACK_OUTPUT_FILE_H

#include <stdint.h>
#include <stdio.h>
#include <sys/types.h>

#include <string>
#include <vector>

// A file's identity on the host (device and inode), to tell whether two paths name the
// same file whatever links lead to it.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
};
bool SameFile(const FileIdentity &a, const FileIdentity &b);

// The restrictions on one output path.
struct OutputRules {
  std::string forbidden_folder;        // the output may not lie inside it (empty: none)
  std::vector<FileIdentity> inputs;    // files the command reads
  std::vector<std::string> input_paths;  // their paths, for messages (same order)
};

// False with a message naming the path, the reason and the fix when the output would
// replace something that is not an ordinary output: an existing device, FIFO, socket or
// folder; a path inside the forbidden folder; the same file as an input.
bool CheckOutputPath(const std::string &output, const OutputRules &rules, std::string *error);

// Identity of an existing file (links followed); false when it cannot be examined.
bool IdentifyFile(const std::string &path, FileIdentity *identity);

// An output being written. Only one is open at a time in the process.
struct OutputFile {
  std::string target;
  std::string temp;
  FILE *file = nullptr;
};

// Creates target + ".partial-XXXXXX" and registers it for removal on a signal.
bool OpenOutput(const std::string &target, OutputFile *out, std::string *error);
// Flushes, syncs and closes the temporary file, gives it the mode and renames it to the
// target. On failure the temporary file is removed and *error says why.
bool CommitOutput(OutputFile *out, mode_t mode, std::string *error);
// Closes and removes the temporary file.
void AbandonOutput(OutputFile *out);

// Opens an existing input for reading. A FIFO or device is refused without being opened
// for a blocking read (lint or rct on a FIFO would otherwise wait for a writer forever), as
// is a file larger than max_size. Null with a message naming the path and the reason;
// otherwise *size is the file's size.
FILE *OpenInputFile(const std::string &path, uint64_t max_size, uint64_t *size,
                    std::string *error);

// "what path: reason (system error)" with the reason from errno, for messages.
std::string SystemMessage(const std::string &what, const std::string &path);

#endif
