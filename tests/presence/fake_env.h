// An Env for tests: a chosen computer name and a record of the messages shown.
#pragma once

#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/env/env.h"
#include "platform/text/ansi.h"

namespace wq::testing {

class FakeEnv : public Env {
 public:
  // The name as raw ANSI bytes; nullopt makes GetComputerNameA fail.
  void SetNameBytes(std::optional<std::string> bytes) {
    std::lock_guard lock(mutex_);
    name_ = std::move(bytes);
  }
  // The name as text, in the process code page.
  void SetName(const Text& name) {
    const Bytes b = AnsiCodePage::Process().Encode(name);
    SetNameBytes(std::string(b.begin(), b.end()));
  }

  bool GetComputerNameA(char* buffer, uint32_t size) override {
    std::lock_guard lock(mutex_);
    ++reads_;
    if (!name_ || name_->size() + 1 > size) return false;
    std::memcpy(buffer, name_->data(), name_->size());
    buffer[name_->size()] = '\0';
    return true;
  }

  void ShowMessage(const Text& message) override {
    std::lock_guard lock(mutex_);
    messages_.push_back(message);
  }

  std::vector<Text> messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  int reads() {
    std::lock_guard lock(mutex_);
    return reads_;
  }

 private:
  std::mutex mutex_;
  std::optional<std::string> name_;
  std::vector<Text> messages_;
  int reads_ = 0;
};

// Installs an environment for the lifetime of the guard.
class ScopedEnv {
 public:
  explicit ScopedEnv(Env* env) { Env::SetDefault(env); }
  ~ScopedEnv() { Env::SetDefault(nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
};

// Runs f on a new thread, which starts with empty module state, and returns its result.
template <class F>
auto OnFreshThread(F f) {
  decltype(f()) result{};
  std::thread t([&] { result = f(); });
  t.join();
  return result;
}

}  // namespace wq::testing
