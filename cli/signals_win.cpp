// Stop requests on Windows: the console's control events, recorded by a handler and waited for
// on an event object. Ctrl+C and Ctrl+Break count as SIGINT; closing the console, log-off and
// shut-down as SIGTERM.
#include <windows.h>

#include <atomic>

#include "cli/signals.h"
#include "platform/error.h"

namespace wq::cli {
namespace {

std::atomic<int> pending{0};
HANDLE arrived = nullptr;  // signalled when a request is pending; one for the process

BOOL WINAPI OnControl(DWORD type) {
  pending = (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) ? SIGINT : SIGTERM;
  SetEvent(arrived);
  // Windows ends the process once this handler returns from a close, log-off or shut-down event;
  // give the waiting command time to withdraw first (the system allows a few seconds).
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) Sleep(4000);
  return TRUE;
}

}  // namespace

const char kStopRequestName[] = "Ctrl+C, Ctrl+Break or the console closing";

struct StopSignals::State {};

StopSignals::StopSignals() : state_(std::make_unique<State>()) {
  if (arrived == nullptr) arrived = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (arrived == nullptr || !SetConsoleCtrlHandler(OnControl, TRUE)) {
    throw Error(kInvalidProcedureCall, "cannot catch the console's control events: error " +
                                           std::to_string(GetLastError()));
  }
}

StopSignals::~StopSignals() { SetConsoleCtrlHandler(OnControl, FALSE); }

int StopSignals::Wait(std::chrono::milliseconds timeout) {
  const auto ms = timeout.count() < 0 ? 0 : timeout.count();
  WaitForSingleObject(arrived, static_cast<DWORD>(ms > 0x7FFFFFFF ? 0x7FFFFFFF : ms));
  const int sig = pending.exchange(0);
  if (sig != 0) ResetEvent(arrived);
  return sig;
}

}  // namespace wq::cli
