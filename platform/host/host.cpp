// The replaceable process-wide host and message notifier.
#include "platform/host/host.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform/host/platform_host.h"

namespace wq {
namespace {

std::atomic<Host*> g_override{nullptr};

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

Host& Host::Default() {
  Host* h = g_override.load(std::memory_order_acquire);
  return h != nullptr ? *h : host_internal::PlatformHost();
}

void Host::SetDefault(Host* host) { g_override.store(host, std::memory_order_release); }

void SetMessageNotifier(MessageNotifier notifier) {
  std::lock_guard lock(NotifierMutex());
  Notifier() = std::move(notifier);
}

namespace host_internal {

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

}  // namespace host_internal
}  // namespace wq
