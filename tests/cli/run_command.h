// Runs the webquorrel command with arguments and an environment, capturing what it prints.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace wq::testing {

struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string ShellQuote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// env holds NAME=value pairs set for the command only.
inline CommandResult RunCommand(const std::vector<std::string>& args,
                                const std::vector<std::string>& env = {}) {
  char errPath[] = "/tmp/webquorrel-cli-XXXXXX";
  const int fd = mkstemp(errPath);
  if (fd >= 0) close(fd);
  std::string command = "env";
  for (const auto& e : env) command += " " + ShellQuote(e);
  command += " " + ShellQuote(WEBQUORREL_EXE);
  for (const auto& a : args) command += " " + ShellQuote(a);
  command += " 2>" + ShellQuote(errPath);

  CommandResult result;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::ifstream err(errPath);
  std::stringstream text;
  text << err.rdbuf();
  result.err = text.str();
  std::remove(errPath);
  return result;
}

}  // namespace wq::testing
