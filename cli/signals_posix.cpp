// Stop requests on Linux: SIGINT and SIGTERM, blocked and taken with sigtimedwait.
#include <pthread.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "cli/signals.h"
#include "platform/error.h"

namespace wq::cli {

const char kStopRequestName[] = "SIGINT or SIGTERM";

struct StopSignals::State {
  sigset_t set;
  sigset_t previous;
};

StopSignals::StopSignals() : state_(std::make_unique<State>()) {
  sigemptyset(&state_->set);
  sigaddset(&state_->set, SIGINT);
  sigaddset(&state_->set, SIGTERM);
  if (const int rc = pthread_sigmask(SIG_BLOCK, &state_->set, &state_->previous); rc != 0) {
    throw Error(kInvalidProcedureCall, std::string("cannot block signals: ") + strerror(rc));
  }
}

StopSignals::~StopSignals() { pthread_sigmask(SIG_SETMASK, &state_->previous, nullptr); }

int StopSignals::Wait(std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
    timespec ts{};
    if (left.count() > 0) {
      ts.tv_sec = static_cast<time_t>(left.count() / 1000000000);
      ts.tv_nsec = static_cast<long>(left.count() % 1000000000);
    }
    const int sig = sigtimedwait(&state_->set, nullptr, &ts);
    if (sig > 0) return sig;
    if (errno == EAGAIN) return 0;
    if (errno != EINTR) {
      throw Error(kInvalidProcedureCall,
                  std::string("cannot wait for signals: ") + strerror(errno));
    }
  }
}

}  // namespace wq::cli
