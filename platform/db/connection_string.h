// Connection strings, ADO's and ODBC's alike: "key=value;key=value". Keys ignore letter case and
// surrounding blanks; a value may be quoted with "..." or '...' (a doubled quote stands for one)
// or braced ODBC-style with {...} (a doubled '}' stands for one), so that it can hold ';'. The one
// grammar for every string: the embedded engine's opener, the ADO-to-ODBC translation and the
// masking of passwords in messages all read it here, and the ODBC strings written here read back
// the same.
#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "platform/db/secrets.h"
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

  // The string with every secret value (see IsSecretKey) replaced by "***" where it stands,
  // read by this grammar (a part without '=' counts as the tail of a secret), for messages.
  static Text Redact(TextView text);

 private:
  std::vector<std::pair<Text, Text>> pairs_;
};

// A value as it must be written after "key=" so that Parse and ODBC drivers read it back as it
// is: in braces, with '}' doubled, when it holds ';', '{' or '}', begins with a quote, or has
// outer blanks; else unchanged. Raises wq::Error (invalid procedure call) for a value holding a
// NUL, which no driver can receive; the message never quotes the value.
Text QuoteValue(TextView literal);

// Appends "key=value;" (value written as QuoteValue writes it). Every pair ends with ';': some
// drivers misread a braced value that ends the string.
void AppendPair(Text& out, TextView key, TextView literal);

}  // namespace wq::db
