// The one query shape a keyset result accepts: SELECT * FROM <table> [WHERE ...] [ORDER BY ...].
#pragma once

#include "platform/text/text.h"

namespace wq::db::sqlite {

struct KeysetQuery {
  Text table;  // the table's name, unquoted
  Text tail;   // what follows the name as written: empty, or " WHERE ..." / " ORDER BY ..."
};

// Splits a keyset query. The table name may be bare or quoted with "...", [...] or `...`.
// Raises kInvalidProcedureCall for any other shape.
KeysetQuery ParseKeysetQuery(TextView sql);

}  // namespace wq::db::sqlite
