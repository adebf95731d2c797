// The failure trace on Linux: no debugger channel; the file that WEBQUORREL_TRACE names.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "frame/trace_platform.h"

namespace wq::frame::trace_platform {

void ToDebugger(const Text&) noexcept {}

Text TraceFile() {
  const char* path = std::getenv("WEBQUORREL_TRACE");
  return path == nullptr ? Text() : FromUtf8(path);
}

uint32_t ProcessId() noexcept { return static_cast<uint32_t>(getpid()); }

bool AppendLine(const Text& path, std::string_view line, uint64_t limit) noexcept {
  try {
    const std::string name = ToUtf8(path);
    struct stat st {};
    if (stat(name.c_str(), &st) == 0 && static_cast<uint64_t>(st.st_size) >= limit) {
      rename(name.c_str(), (name + ".1").c_str());  // another process may have done it first
    }
    const int fd = open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const std::string text = std::string(line) + "\n";
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return written;
  } catch (...) {
    return false;
  }
}

}  // namespace wq::frame::trace_platform
