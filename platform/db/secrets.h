// The secrets of a connection string and the one way this component masks them in what it
// shows: connection strings, driver messages, error descriptions, trace lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/text/text.h"

namespace wq::db {

// True for the keys whose values are secrets, ignoring case and outer blanks: PWD, Passwd,
// Token, AccessToken, and every key ending in "Password" or "Secret".
bool IsSecretKey(TextView key);

// True when a key may be named in a message: it looks like a keyword (ASCII letters, digits,
// blanks and _ - . :, at most 40 characters). Anything else may be a misplaced value.
bool IsNameableKey(TextView key);

class Secrets {
 public:
  // The secret values of a connection string as ODBC reads braces ("}}" for '}') and as
  // FreeTDS 1.3.17 does (up to "};"), since this component writes both; none when unreadable.
  static Secrets Of(TextView connectionString);

  void Add(TextView secret);
  bool empty() const { return secrets_.empty(); }

  // The text with each secret replaced by "***" where it stands as a value (after '=', a
  // quote or a brace may open it) and, elsewhere, only where it cannot be mistaken for ordinary
  // words (it holds a character other than a letter, is 4 characters or longer, and is no part
  // of a longer word): masking "data" in "database" would tell the password.
  Text Mask(TextView text) const;
  std::string Mask(std::string_view utf8) const;

 private:
  std::vector<Text> secrets_;
};

}  // namespace wq::db
