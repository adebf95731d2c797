// The replaceable process-wide environment, its wall clock and the message notifier.
#include "platform/env/env.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform/env/platform_env.h"

namespace wq {
namespace {

std::atomic<Env*> g_override{nullptr};

std::mutex& NotifierMutex() {
  static std::mutex m;
  return m;
}

MessageNotifier& Notifier() {
  static MessageNotifier notifier;
  return notifier;
}

void WriteToStderr(const Text& message) {
  std::string line = ToUtf8(message);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

Env& Env::Default() {
  Env* e = g_override.load(std::memory_order_acquire);
  return e != nullptr ? *e : env_internal::PlatformEnv();
}

void Env::SetDefault(Env* env) { g_override.store(env, std::memory_order_release); }

std::chrono::system_clock::time_point Env::Now() { return std::chrono::system_clock::now(); }

void SetMessageNotifier(MessageNotifier notifier) {
  std::lock_guard lock(NotifierMutex());
  Notifier() = std::move(notifier);
}

namespace env_internal {

void Notify(const Text& message) {
  MessageNotifier notifier;
  {
    std::lock_guard lock(NotifierMutex());
    notifier = Notifier();
  }
  // Called outside the lock so that a notifier may replace itself.
  if (notifier) {
    notifier(message);
  } else {
    WriteToStderr(message);
  }
}

}  // namespace env_internal
}  // namespace wq
