// Starts the webquorrel command in the background, its output going to files, for tests that
// run several at once or act while one runs.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace wq::testing {

class SpawnedCommand {
 public:
  // env holds NAME=value pairs added to this process's environment; out_prefix names the files
  // that receive stdout (.out) and stderr (.err).
  SpawnedCommand(const std::vector<std::string>& args, const std::vector<std::string>& env,
                 const std::string& out_prefix)
      : out_(out_prefix + ".out"), err_(out_prefix + ".err") {
    std::vector<std::string> environment = env;
    for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
    std::vector<char*> argv = {const_cast<char*>(WEBQUORREL_EXE)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&pid_, WEBQUORREL_EXE, &actions, nullptr, argv.data(), envp.data()) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
  }
  ~SpawnedCommand() {
    if (pid_ > 0 && !waited_) Wait();
  }

  bool started() const { return pid_ > 0; }
  // Waits for the command; its exit status, or -1 when it did not exit normally (a signal).
  int Wait() {
    waited_ = true;
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string out() const { return Read(out_); }
  std::string err() const { return Read(err_); }
  std::vector<std::string> out_lines() const {
    std::vector<std::string> lines;
    std::istringstream in(out());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string out_, err_;
  pid_t pid_ = -1;
  bool waited_ = false;
};

}  // namespace wq::testing
