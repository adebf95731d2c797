// The history file's engine, behind one small interface: SQLite itself on Linux; on Windows, which
// has no SQLite of its own, the SQLite ODBC driver that WEBQUORREL_SQLITE_DRIVER names (default
// "SQLite3 ODBC Driver").
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/db/value.h"

namespace wq::cli {

using Rows = std::vector<std::vector<db::Value>>;

// One statement at a time on the file, its parameters bound (integers and text only).
class HistoryFile {
 public:
  virtual ~HistoryFile() = default;
  // The rows of a query; none for another statement.
  virtual Rows Run(const char* sql, const std::vector<db::Value>& params = {}) = 0;
};

// Opens (or creates) the file at the UTF-8 path; raises wq::Error when it cannot.
std::unique_ptr<HistoryFile> OpenHistoryFile(const std::string& path);

}  // namespace wq::cli
