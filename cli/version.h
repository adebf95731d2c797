// What `webquorrel --version` prints.
#pragma once

#include <string>

namespace wq::cli {

// Three lines (no final newline): this program's version, the SQLite library's and the ODBC driver
// manager's, as the libraries loaded at run time report them.
std::string VersionText();

}  // namespace wq::cli
