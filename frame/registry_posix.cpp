// Registration where there is no Windows registry: the values go to the registry file (see
// registry_file.h) named by WEBQUORREL_REGISTRY, else $XDG_CONFIG_HOME/webquorrel/registry
// (~/.config/webquorrel/registry when that is unset). The file is replaced atomically (a
// temporary file in the same directory, then rename) under an exclusive lock on a companion
// ".lock" file, so it is never left half-written and concurrent registrations don't lose values.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>

#include "frame/posix_fd.h"
#include "frame/registry.h"
#include "frame/registry_file.h"

namespace wq::frame {
namespace {

std::string Getenv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

std::optional<std::string> RegistryPath() {
  if (std::string path = Getenv("WEBQUORREL_REGISTRY"); !path.empty()) return path;
  std::string config = Getenv("XDG_CONFIG_HOME");
  if (config.empty() || config.front() != '/') {  // relative values are to be ignored
    const std::string home = Getenv("HOME");
    if (home.empty()) return std::nullopt;
    config = home + "/.config";
  }
  return config + "/webquorrel/registry";
}

// Creates the directories above path that are missing.
bool MakeParents(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string dir = path.substr(0, slash);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// The absolute path of the shared object this code is in.
std::optional<std::string> ModulePath() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&ModulePath), &info) == 0 || info.dli_fname == nullptr) {
    return std::nullopt;
  }
  char resolved[PATH_MAX];
  if (::realpath(info.dli_fname, resolved) == nullptr) return std::nullopt;
  return std::string(resolved);
}

bool ReadAll(const std::string& path, std::string* text) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno != ENOENT) return false;
    text->clear();  // no file yet
    return true;
  }
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text->append(buffer, static_cast<size_t>(n));
  }
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes text to a new file next to path and renames it over path.
bool ReplaceFile(const std::string& path, const std::string& text) {
  std::string temp = path + ".XXXXXX";
  Fd fd(::mkstemp(temp.data()));
  if (fd.get() < 0) return false;
  struct stat existing {};
  // A new file is its owner's only; an existing one keeps the mode its administrator gave it.
  const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0600;
  const bool written = WriteAll(fd.get(), text) && ::fchmod(fd.get(), mode) == 0 &&
                       ::fsync(fd.get()) == 0 && ::close(fd.release()) == 0;
  if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

// Drops the component's values from the registry file and, with add, writes them afresh.
HRESULT Update(bool add) noexcept {
  try {
    std::optional<std::string> path = RegistryPath();
    if (!path) return SELFREG_E_CLASS;
    struct stat file {};
    if (::stat(path->c_str(), &file) != 0) {
      if (errno != ENOENT) return SELFREG_E_CLASS;
      if (!add) return S_OK;  // nothing was registered here
      if (!MakeParents(*path)) return SELFREG_E_CLASS;
    } else if (char resolved[PATH_MAX]; ::realpath(path->c_str(), resolved) != nullptr) {
      path = resolved;  // a link to the file: replace the file, not the link
    }
    Text module_path;
    if (add) {
      const std::optional<std::string> module = ModulePath();
      // The path must survive the trip through UTF-16 unchanged to be found again.
      if (!module || ToUtf8(FromUtf8(*module)) != *module) return SELFREG_E_CLASS;
      module_path = FromUtf8(*module);
    }
    const Text platform = sizeof(void*) == 8 ? u"linux64" : u"linux32";
    const auto values = RegistrationValues(module_path, platform);
    for (const auto& value : values) {
      if (!IsStorable(value)) return SELFREG_E_CLASS;
    }

    const std::string lock_path = *path + ".lock";
    Fd lock(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.get() < 0) return SELFREG_E_CLASS;
    while (::flock(lock.get(), LOCK_EX) != 0) {
      if (errno != EINTR) return SELFREG_E_CLASS;
    }
    std::string text;
    if (!ReadAll(*path, &text)) return SELFREG_E_CLASS;
    const std::string updated = UpdateRegistryText(text, values, add);
    if (updated == text) return S_OK;
    return ReplaceFile(*path, updated) ? S_OK : SELFREG_E_CLASS;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace

HRESULT RegisterServer() noexcept { return Update(true); }
HRESULT UnregisterServer() noexcept { return Update(false); }

}  // namespace wq::frame
