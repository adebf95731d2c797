// What a site should know about the connection a string makes, before it is opened: today a
// server certificate that the host asked to be checked and the driver will not check.
#pragma once

#include <string>

#include "platform/text/text.h"

namespace wq::db {

// The warning for the connection string, or "" when there is none or the string is not for
// the ODBC engine. Raises wq::Error, as Register::Open would, for a string it cannot use.
std::string ConnectionWarning(const Text& connectionString);

}  // namespace wq::db
