// The webquorrel command under test as a child process: started with its own arguments and
// extra environment entries, its output going to files, signalled and waited for. RunCommand is
// the short form that waits for it and returns what it printed.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/temp_dir.h"

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
  // Runs WEBQUORREL_EXE with args; env holds NAME=value entries that replace or add to this
  // process's environment, later ones winning; an entry NAME without '=' removes NAME. Its stdout
  // and stderr go to outputPrefix + ".out" and ".err". Another program may be named instead of
  // WEBQUORREL_EXE.
  ChildProcess(const std::vector<std::string>& args, const std::vector<std::string>& env,
               const std::filesystem::path& outputPrefix,
               const std::string& program = WEBQUORREL_EXE)
      : out_(outputPrefix.string() + ".out"), err_(outputPrefix.string() + ".err") {
    std::vector<std::string> environment;
    const auto put = [&](const std::string& entry) {  // replaces an entry of the same name
      const size_t eq = entry.find('=');
      if (eq == std::string::npos) {
        std::erase_if(environment,
                      [&](const std::string& e) { return e.rfind(entry + "=", 0) == 0; });
        return;
      }
      for (std::string& e : environment) {
        if (eq != std::string::npos && e.compare(0, eq + 1, entry, 0, eq + 1) == 0) {
          e = entry;
          return;
        }
      }
      environment.push_back(entry);
    };
    for (char** e = environ; *e != nullptr; ++e) put(*e);
    for (const std::string& e : env) put(e);  // later entries win
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp, envp;
    for (auto& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int rc = posix_spawn(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + program);
  }
  ~ChildProcess() {
    if (!status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::remove(out_.c_str());
    std::remove(err_.c_str());
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Signal(int sig) { kill(pid_, sig); }
  pid_t pid() const { return pid_; }

  // The exit status once it has ended (128 + the signal when a signal ended it); nullopt while
  // it runs.
  std::optional<int> Poll() {
    if (!status_) Reap(WNOHANG);
    return status_;
  }
  std::optional<int> WaitExit(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    WaitFor([&] { return Poll().has_value(); }, timeout);
    return Poll();
  }
  // Waits as long as it runs; the exit status as Poll gives it.
  int Wait() {
    while (!status_) Reap(0);
    return *status_;
  }

  std::string Out() const { return ReadFile(out_); }
  std::string Err() const { return ReadFile(err_); }
  std::vector<std::string> OutLines() const {
    std::vector<std::string> lines;
    std::istringstream in(Out());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  void Reap(int options) {
    int status = 0;
    const pid_t r = waitpid(pid_, &status, options);
    if (r == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } else if (r < 0 && errno != EINTR) {
      status_ = -1;  // not our child any more
    }
  }

  std::string out_;
  std::string err_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the command to its end with extra environment entries (NAME=value).
inline CommandResult RunCommand(const std::vector<std::string>& args,
                                const std::vector<std::string>& env = {}) {
  static std::atomic<int> runs{0};
  ChildProcess child(args, env, TempPath("run-" + std::to_string(++runs)));
  CommandResult result;
  result.status = child.Wait();
  result.out = child.Out();
  result.err = child.Err();
  return result;
}

}  // namespace wq::testing
