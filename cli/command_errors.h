// How the command reports a failure: the message a user can act on, and the exit status.
//   0 success; 1 the database failed (or doctor found trouble); 2 bad input or usage;
//   3 a missing permission: a file or folder that may not be read or written, or a database that
//     refuses the login or the statement.
// The component's error numbers and the names of its error kinds ("Type mismatch", ...) are shown
// only with --verbose.
#pragma once

#include <string>

#include "platform/error.h"

namespace wq::cli {

constexpr int kDatabaseFailure = 1;
constexpr int kBadInput = 2;
constexpr int kNoPermission = 3;

// A file or folder that the command needs and may not read or write.
class FileAccessError : public Error {
 public:
  explicit FileAccessError(const std::string& description)
      : Error(kInvalidProcedureCall, description) {}
};

// The message for e on one line or more: without --verbose, the error kind's name is cut from
// its front and the number left out; the SQLSTATE is added where there is one; a missing table
// or a refused permission says what to do. Control characters other than line breaks are '?'.
std::string Explain(const Error& e);

// The exit status for e.
int ExitStatusFor(const Error& e);

// Whether no retry can mend e: a connection string that does not parse or a provider this build
// does not know (anything else, a server that is down included, may pass later).
bool Unrecoverable(const Error& e);

}  // namespace wq::cli
