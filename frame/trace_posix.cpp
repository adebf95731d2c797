// The failure trace on Linux: no debugger channel; the file that WEBQUORREL_TRACE names.
//
// The library runs inside whatever process loads it, and the trace file may sit in a folder that
// others can write to. So the file is opened without following a link, created readable by its
// owner only, and used only when it is a plain file of this user with one name. Rotation happens
// under an exclusive lock on the open file, and a writer that waited for the lock checks that
// the path still names the file it holds; so no line goes to a file that was moved away, and
// two writers never both rotate.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "frame/posix_fd.h"
#include "frame/trace_platform.h"

namespace wq::frame::trace_platform {
namespace {

// The trace file at name, created when missing, locked; -1 when it is a link, not a plain file,
// has another owner or a second name, or cannot be opened.
int OpenLocked(const std::string& name, struct stat* st) {
  const int fd =
      open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode) || st->st_uid != geteuid() || st->st_nlink != 1) {
    close(fd);
    return -1;
  }
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      close(fd);
      return -1;
    }
  }
  return fd;
}

// Whether name still names the file that fd holds (another writer may have rotated it).
bool StillNamed(const std::string& name, int fd, struct stat* st) {
  struct stat now {};
  return fstat(fd, st) == 0 && lstat(name.c_str(), &now) == 0 && now.st_dev == st->st_dev &&
         now.st_ino == st->st_ino;
}

}  // namespace

void ToDebugger(const Text&) noexcept {}

Text TraceFile() {
  // Not taken from the environment of a set-user-ID program, whose caller chose it.
  const char* path = secure_getenv("WEBQUORREL_TRACE");
  return path == nullptr ? Text() : FromUtf8(path);
}

uint32_t ProcessId() noexcept { return static_cast<uint32_t>(getpid()); }

bool AppendLine(const Text& path, std::string_view line, uint64_t limit) noexcept {
  try {
    const std::string name = ToUtf8(path);
    struct stat st {};
    Fd fd;
    for (int attempt = 0;; ++attempt) {
      fd.Reset(OpenLocked(name, &st));
      if (fd.get() < 0) return false;
      if (StillNamed(name, fd.get(), &st)) break;
      if (attempt == 8) return false;
    }
    if (static_cast<uint64_t>(st.st_size) >= limit) {
      // The locked file becomes name.1; the new file is locked before this one is let go, so a
      // writer that waited on the old one finds the new one under its name and waits there.
      if (rename(name.c_str(), (name + ".1").c_str()) != 0) return false;
      const int fresh = OpenLocked(name, &st);
      if (fresh < 0) return false;
      fd.Reset(fresh);
    }
    const std::string text = std::string(line) + "\n";
    return write(fd.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
  } catch (...) {
    return false;
  }
}

}  // namespace wq::frame::trace_platform
