// Reads the statement log of the PostgreSQL server that scripts/test starts
// (WEBQUORREL_TEST_PG_LOG, log_statement = all), to count what a piece of work sent.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace wq::db::odbc::testing {

class PgStatementLog {
 public:
  // Starts at the current end of the log.
  PgStatementLog() : path_(Path()) { start_ = Lines().size(); }

  static std::string Path() {
    const char* p = std::getenv("WEBQUORREL_TEST_PG_LOG");
    return p ? p : "";
  }

  // The statements logged since construction by the server process pid.
  std::vector<std::string> StatementsOf(long pid) const {
    std::vector<std::string> lines = Lines();
    std::vector<std::string> out;
    const std::string tag = "[" + std::to_string(pid) + "]";
    for (size_t i = start_; i < lines.size(); ++i) {
      const std::string& l = lines[i];
      if (l.find(tag) == std::string::npos) continue;
      for (const char* kind : {"LOG:  statement: ", "LOG:  execute "}) {
        size_t at = l.find(kind);
        if (at != std::string::npos) out.push_back(l.substr(at + 6));
      }
    }
    return out;
  }

  // How many server processes started (connections authorised) since construction.
  size_t Connections() const {
    std::vector<std::string> lines = Lines();
    size_t n = 0;
    for (size_t i = start_; i < lines.size(); ++i) {
      if (lines[i].find("connection authorized") != std::string::npos) ++n;
    }
    return n;
  }

 private:
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::ifstream in(path_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::string path_;
  size_t start_ = 0;
};

}  // namespace wq::db::odbc::testing
