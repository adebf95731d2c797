// The machine on Windows: the system's computer name and a message box that, with no owner window,
// disables every top-level window of the calling thread (MB_TASKMODAL) until it is dismissed. The
// wall clock is Env's own: the standard system_clock.
#include <windows.h>

#include "platform/env/platform_env.h"

namespace wq {
namespace {

class WindowsEnv : public Env {
 public:
  bool GetComputerNameA(char* buffer, uint32_t size) override {
    if (buffer == nullptr) return false;
    DWORD length = size;
    return ::GetComputerNameA(buffer, &length) != 0;
  }

  // Blocks the calling thread until the user presses OK. Without a desktop (a service, or Wine
  // without a display) MessageBoxW fails at once, and the caller goes on as after OK.
  void ShowMessage(const Text& message) override {
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(message.c_str()), L"",
                MB_OK | MB_TASKMODAL);
  }
};

}  // namespace

namespace env_internal {

Env& PlatformEnv() {
  static WindowsEnv env;
  return env;
}

}  // namespace env_internal
}  // namespace wq
