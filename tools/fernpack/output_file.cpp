#include "tools/fernpack/output_file.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The temporary file that a signal must remove. Written before the handlers can see it
// (the flag is set last) and read by the handler with async-signal-safe calls only.
// Not reentrant: one output at a time.
const size_t kPartialPathSize = 4096;
struct PartialState {
  char path[kPartialPathSize];
  volatile sig_atomic_t active;
  bool handlers_installed;
};
PartialState g_partial = {{0}, 0, false};

const int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

void RemovePartialAndDie(int sig) {
  if (g_partial.active) unlink(g_partial.path);
  signal(sig, SIG_DFL);
  raise(sig);
}

void Register(const std::string &temp) {
  g_partial.active = 0;
  if (temp.size() < kPartialPathSize) {
    memcpy(g_partial.path, temp.c_str(), temp.size() + 1);
    g_partial.active = 1;
  }
  if (!g_partial.handlers_installed) {
    for (int sig : kCleanupSignals) {
      struct sigaction action;
      memset(&action, 0, sizeof action);
      action.sa_handler = RemovePartialAndDie;
      sigemptyset(&action.sa_mask);
      // A signal that the caller ignores (nohup) stays ignored.
      struct sigaction old;
      if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
      sigaction(sig, &action, nullptr);
    }
    g_partial.handlers_installed = true;
  }
}

void Unregister() { g_partial.active = 0; }

std::string Parent(const std::string &path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The absolute path the output would have: its real path when it exists, else its
// folder's real path and its own name.
bool ResolveOutput(const std::string &output, std::string *resolved) {
  char buffer[PATH_MAX];
  if (realpath(output.c_str(), buffer) != nullptr) {
    *resolved = buffer;
    return true;
  }
  if (realpath(Parent(output).c_str(), buffer) == nullptr) return false;
  size_t slash = output.rfind('/');
  *resolved = std::string(buffer) + "/" +
              (slash == std::string::npos ? output : output.substr(slash + 1));
  return true;
}

}  // namespace

std::string SystemMessage(const std::string &what, const std::string &path) {
  return what + " " + path + ": " + strerror(errno);
}

FILE *OpenInputFile(const std::string &path, uint64_t max_size, uint64_t *size,
                    std::string *error) {
  // O_NONBLOCK makes the open of a FIFO without a writer return at once; it has no effect
  // on the reads of a regular file.
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    *error = SystemMessage("cannot read", path);
    if (fd >= 0) close(fd);
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    close(fd);
    *error = "cannot read " + path + ": not a regular file";
    return nullptr;
  }
  if ((uint64_t)st.st_size > max_size) {
    close(fd);
    *error = "cannot read " + path + ": larger than " + std::to_string(max_size) + " bytes";
    return nullptr;
  }
  FILE *file = fdopen(fd, "rb");
  if (file == nullptr) {
    *error = SystemMessage("cannot read", path);
    close(fd);
    return nullptr;
  }
  *size = (uint64_t)st.st_size;
  return file;
}

bool SameFile(const FileIdentity &a, const FileIdentity &b) {
  return a.device == b.device && a.inode == b.inode;
}

bool IdentifyFile(const std::string &path, FileIdentity *identity) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  identity->device = st.st_dev;
  identity->inode = st.st_ino;
  return true;
}

bool CheckOutputPath(const std::string &output, const OutputRules &rules, std::string *error) {
  struct stat st;
  if (stat(output.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      *error = "output " + output + " is a folder: give the path of the file to write, "
               "e.g. " + output + "/setup.exe";
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      *error = "output " + output + " is a device, FIFO or socket, not a file: fernpack "
               "writes only regular files; give a file path";
      return false;
    }
    FileIdentity existing = {st.st_dev, st.st_ino};
    for (size_t i = 0; i < rules.inputs.size(); i++) {
      if (SameFile(existing, rules.inputs[i])) {
        *error = "output " + output + " is the input " + rules.input_paths[i] +
                 ": writing it would destroy the input; give another output path";
        return false;
      }
    }
  }
  if (!rules.forbidden_folder.empty()) {
    std::string resolved;
    char folder[PATH_MAX];
    if (ResolveOutput(output, &resolved) &&
        realpath(rules.forbidden_folder.c_str(), folder) != nullptr) {
      std::string prefix = std::string(folder) + (strcmp(folder, "/") == 0 ? "" : "/");
      if (resolved.compare(0, prefix.size(), prefix) == 0 || resolved == folder) {
        *error = "output " + output + " lies inside the game folder " +
                 rules.forbidden_folder + ": it would replace a game file or be packed "
                 "into the next package; write it outside the game folder";
        return false;
      }
    }
  }
  return true;
}

bool OpenOutput(const std::string &target, OutputFile *out, std::string *error) {
  out->target = target;
  out->temp = target + ".partial-XXXXXX";
  out->file = nullptr;
  // Blocked while the name is created and registered, so that a signal in between cannot
  // leave the file behind.
  sigset_t block, old;
  sigemptyset(&block);
  for (int sig : kCleanupSignals) sigaddset(&block, sig);
  sigprocmask(SIG_BLOCK, &block, &old);
  int fd = mkstemp(&out->temp[0]);
  if (fd >= 0) Register(out->temp);
  int saved = errno;
  sigprocmask(SIG_SETMASK, &old, nullptr);
  errno = saved;
  if (fd < 0) {
    *error = SystemMessage("cannot create the output file", target) +
             "; check that its folder exists and is writable";
    return false;
  }
  out->file = fdopen(fd, "wb");
  if (out->file == nullptr) {
    *error = SystemMessage("cannot write", target);
    close(fd);
    unlink(out->temp.c_str());
    Unregister();
    return false;
  }
  return true;
}

bool CommitOutput(OutputFile *out, mode_t mode, std::string *error) {
  bool ok = fflush(out->file) == 0 && fsync(fileno(out->file)) == 0 &&
            fchmod(fileno(out->file), mode) == 0;
  int saved = errno;
  if (fclose(out->file) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  out->file = nullptr;
  if (ok && rename(out->temp.c_str(), out->target.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    errno = saved;
    *error = SystemMessage("cannot write", out->target);
    unlink(out->temp.c_str());
  }
  Unregister();
  return ok;
}

void AbandonOutput(OutputFile *out) {
  if (out->file != nullptr) fclose(out->file);
  out->file = nullptr;
  unlink(out->temp.c_str());
  Unregister();
}
