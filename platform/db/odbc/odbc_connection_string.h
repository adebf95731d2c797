// ODBC connection string syntax ("KEY=value;KEY={value}"), as SQLDriverConnect reads it: a value
// in braces may hold ';', '=' and blanks, and a '}' inside braces is written twice.
#pragma once

#include <utility>
#include <vector>

#include "platform/text/text.h"

namespace wq::db::odbc {

using OdbcPairs = std::vector<std::pair<Text, Text>>;

// A value as it must be written after "KEY=": in braces (with '}' doubled) when it holds ';',
// '{', '}' or leading or trailing blanks, else as it is. Raises wq::Error (invalid procedure
// call) for a value holding a NUL character, which no driver can receive.
Text OdbcValue(TextView literal);

// Appends "key=value" (value escaped as OdbcValue does) to an ODBC connection string.
void AppendOdbcPair(Text& out, TextView key, TextView literal);

// Splits an ODBC connection string into keys and literal values (braces removed, "}}" read as
// "}"). Keys keep their letter case, blanks around them are dropped. Raises wq::Error (invalid
// procedure call) with a message that quotes no value when a brace is not closed or a pair has
// no '='.
OdbcPairs ParseOdbcConnectionString(TextView text);

// True for the keywords whose values are secrets (PWD, Password), ignoring case.
bool IsSecretKey(TextView key);

}  // namespace wq::db::odbc
