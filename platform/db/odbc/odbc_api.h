// The ODBC API as both driver managers ship it (unixODBC on Linux, odbc32 on Windows), and the
// conversions between our UTF-16 texts and SQLWCHAR, which is a 16-bit unit on both.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include "platform/text/text.h"

namespace wq::db::odbc {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "SQLWCHAR must be a UTF-16 unit");

inline SQLWCHAR* W(Text& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }
inline SQLWCHAR* W(const Text& text) {
  // The driver manager's prototypes lack const; ODBC never writes through input strings.
  return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(text.data()));
}
inline Text FromW(const SQLWCHAR* s, size_t units) {
  return Text(reinterpret_cast<const char16_t*>(s), units);
}

inline bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

}  // namespace wq::db::odbc
