// The statements every adapter of Register sends, in one place. Only the server-time query
// differs between products (see the adapters).
#pragma once

#include <optional>
#include <vector>

#include "platform/db/value.h"
#include "platform/text/text.h"

namespace wq::db {

inline constexpr char16_t kServerClockQuery[] = u"SELECT GETDATE() AS SystemDateTime";
inline constexpr char16_t kAddRow[] =
    u"INSERT INTO SystemSetting (ssDesc, ssOption, ssState, ssModeName) VALUES (?, ?, ?, ?)";

// A text as an SQL string literal: between apostrophes, each apostrophe doubled.
Text QuoteLiteral(TextView text);

// "SELECT * FROM SystemSetting WHERE ssDesc = '<marker>'".
Text MarkedRowsQuery(const Text& marker);
// "SELECT COUNT(*) AS n FROM SystemSetting WHERE ssDesc = '<marker>'".
Text CountQuery(const Text& marker);

// The delete of DeleteMarked and its parameters. Each id reaches the text as stored: a whole
// number as its digits, a text as a literal. Any other value (a fraction, a date, null) raises
// type mismatch.
struct DeleteStatement {
  Text sql;
  std::vector<Value> params;
};
DeleteStatement MakeDelete(const Text& marker, const std::vector<Value>& ids,
                           const std::optional<Text>& module);

// The four columns of a marked row in a "SELECT *" result, by their names (letter case
// ignored); raises kItemNotFound for one that is missing.
struct MarkedColumns {
  int id = -1, option = -1, module = -1, state = -1;
};
MarkedColumns FindMarkedColumns(const std::vector<Text>& names);

// The whole number of a COUNT(*) value (some drivers give it as text).
int64_t CountOf(const Value& v);

}  // namespace wq::db
