// A long-running webquorrel command under test: started with its own arguments and environment,
// output to files, signalled and waited for with time limits.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace wq::testing {

// Polls condition every 50 ms until it holds or the time is up; returns whether it held.
template <class F>
bool WaitFor(F condition, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class ChildProcess {
 public:
  // Runs WEBQUORREL_EXE with args through env(1), which sets the NAME=value entries.
  ChildProcess(const std::vector<std::string>& args, const std::vector<std::string>& env,
               const std::filesystem::path& outputPrefix)
      : out_(outputPrefix.string() + ".out"), err_(outputPrefix.string() + ".err") {
    std::vector<std::string> argv = {"/usr/bin/env"};
    argv.insert(argv.end(), env.begin(), env.end());
    argv.push_back(WEBQUORREL_EXE);
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (auto& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int rc = posix_spawn(&pid_, argp[0], &actions, nullptr, argp.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " WEBQUORREL_EXE);
  }
  ~ChildProcess() {
    if (!status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Signal(int sig) { kill(pid_, sig); }

  // The exit status once it has ended (128 + the signal when a signal ended it); nullopt while
  // it runs.
  std::optional<int> Poll() {
    if (status_) return status_;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return status_;
  }
  std::optional<int> WaitExit(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    WaitFor([&] { return Poll().has_value(); }, timeout);
    return Poll();
  }

  std::string Out() const { return ReadFile(out_); }
  std::string Err() const { return ReadFile(err_); }

 private:
  std::string out_;
  std::string err_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

}  // namespace wq::testing
