// The machine on Linux: the computer name from WEBQUORREL_COMPUTERNAME or the host name, the
// message through the notifier, and the standard wall clock.
#include "platform/env/env_posix.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "platform/env/platform_env.h"
#include "platform/text/ansi.h"

namespace wq {

Text UncutComputerName() {
  if (const char* env = std::getenv("WEBQUORREL_COMPUTERNAME"); env != nullptr && *env != '\0') {
    return FromUtf8(env);
  }
  char buf[HOST_NAME_MAX + 1] = {};
  if (gethostname(buf, sizeof buf - 1) != 0) return {};
  std::string_view name(buf);
  name = name.substr(0, name.find('.'));
  return ToUpper(FromUtf8(name));
}

namespace {

// NetBIOS names, which GetComputerNameA returns on Windows, hold at most 15 bytes.
constexpr size_t kMaxNameBytes = 15;

// The ANSI bytes of the name, cut to at most kMaxNameBytes without splitting a character.
Bytes NameBytes(const Text& name, const AnsiCodePage& codePage) {
  Bytes out;
  for (size_t i = 0; i < name.size();) {
    size_t len = 1;
    if (name[i] >= 0xD800 && name[i] <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
        name[i + 1] <= 0xDFFF) {
      len = 2;
    }
    Bytes one = codePage.Encode(TextView(name).substr(i, len));
    if (out.size() + one.size() > kMaxNameBytes) break;
    out.insert(out.end(), one.begin(), one.end());
    i += len;
  }
  return out;
}

class PosixEnv : public Env {
 public:
  bool GetComputerNameA(char* buffer, uint32_t size) override {
    if (buffer == nullptr) return false;
    Bytes bytes;
    try {
      bytes = NameBytes(UncutComputerName(), AnsiCodePage::Process());
    } catch (const std::exception&) {
      return false;  // no usable code page: the name cannot be written
    }
    if (bytes.empty() || bytes.size() + 1 > size) return false;
    std::memcpy(buffer, bytes.data(), bytes.size());
    buffer[bytes.size()] = '\0';
    return true;
  }

  void ShowMessage(const Text& message) override { env_internal::Notify(message); }
};

}  // namespace

namespace env_internal {

Env& PlatformEnv() {
  static PosixEnv env;
  return env;
}

}  // namespace env_internal
}  // namespace wq
