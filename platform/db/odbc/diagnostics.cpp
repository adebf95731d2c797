#include "platform/db/odbc/diagnostics.h"

namespace wq::db::odbc {
namespace {

constexpr SQLSMALLINT kMaxRecords = 4;

}  // namespace

Error DiagnosticError(SQLSMALLINT handle_type, SQLHANDLE handle, SQLRETURN rc,
                      std::string_view action, const Secrets& secrets) {
  std::string description(action);
  std::string first_state;
  SQLINTEGER first_native = 0;
  SQLSMALLINT record = 1;
  if (handle != SQL_NULL_HANDLE && rc != SQL_INVALID_HANDLE) {
    for (; record <= kMaxRecords; ++record) {
      SQLWCHAR state[6] = {};
      SQLINTEGER native = 0;
      SQLWCHAR message[1024];
      SQLSMALLINT length = 0;
      SQLRETURN r = SQLGetDiagRecW(handle_type, handle, record, state, &native, message,
                                   static_cast<SQLSMALLINT>(std::size(message)), &length);
      if (!Succeeded(r)) break;
      size_t units = std::min<size_t>(length < 0 ? 0 : length, std::size(message) - 1);
      while (units > 0 && (message[units - 1] == u'\n' || message[units - 1] == u'\r' ||
                           message[units - 1] == u' ')) {
        --units;
      }
      Text text = secrets.Mask(FromW(message, units));
      std::string sqlstate = ToUtf8(FromW(state, 5));
      if (record == 1) {
        first_state = sqlstate;
        first_native = native;
        description += ": ";
      } else {
        description += " / ";
      }
      description += ToUtf8(text);
      description += " [" + sqlstate + "]";
    }
  }
  if (record == 1) {
    description += ": the ODBC driver manager reported failure " + std::to_string(rc) +
                   " without a diagnostic";
  }
  int32_t number = first_native != 0 ? static_cast<int32_t>(first_native) : int32_t{kProviderError};
  return Error::Database(number, first_state, description);
}

bool IsConnectionLost(const Error& error) {
  const std::string& s = error.sqlstate();
  return error.fromDatabase() &&
         (s.rfind("08", 0) == 0 || s == "57P01" || s == "57P02" || s == "57P03");
}

bool IsDeadlockVictim(const Error& error) {
  return error.fromDatabase() &&
         (error.sqlstate() == "40001" || error.sqlstate() == "40P01" || error.number() == 1205);
}

}  // namespace wq::db::odbc
