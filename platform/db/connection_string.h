// ADO-style connection strings: "key=value;key=value". Keys ignore letter case and surrounding
// blanks; a value may be quoted with "..." or '...' (a doubled quote stands for one) so that it
// can hold ';'. ODBC-style {...} values are kept with their braces; a "}}" inside them stands for
// one '}' in the value kept, so an engine handing it on must double it again.
#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "platform/text/text.h"

namespace wq::db {

class ConnectionString {
 public:
  // Raises wq::Error (invalid procedure call) with a description that never includes a value
  // when the text is malformed (unterminated quote, missing '=').
  static ConnectionString Parse(TextView text);

  // The value of the last pair whose key matches, ignoring case.
  std::optional<Text> Get(TextView key) const;
  const std::vector<std::pair<Text, Text>>& pairs() const { return pairs_; }

  // The string with every password value (Password, PWD) replaced by "***", for messages.
  static Text Redact(TextView text);
  // Whether a key's value is a secret: Password, PWD, or any key ending in "password".
  static bool IsSecretKey(TextView key);

 private:
  std::vector<std::pair<Text, Text>> pairs_;
};

}  // namespace wq::db
