// Decimal numbers as ODBC drivers hand them over, in text.
#pragma once

#include "platform/db/odbc/odbc_api.h"
#include "platform/db/value.h"

namespace wq::db::odbc {

// A decimal's text as a whole number when it has no fraction and fits, else as a real. Parsed
// without the C locale functions, whose LC_NUMERIC belongs to the host; some drivers (psqlODBC)
// write the decimal point of that locale, so a lone ',' is read as the point.
Value DecimalValue(const Text& text, SQLSMALLINT digits);

}  // namespace wq::db::odbc
