#include "platform/db/odbc/session.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "platform/db/connection_string.h"
#include "platform/db/odbc/connection_pool.h"
#include "platform/db/odbc/environment.h"

namespace wq::db::odbc {
namespace {

SQLPOINTER IntAttr(SQLULEN value) {
  return reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(value));
}

Text GetInfoText(SQLHDBC dbc, SQLUSMALLINT info) {
  SQLWCHAR buffer[256] = {};
  SQLSMALLINT bytes = 0;
  if (!Succeeded(SQLGetInfoW(dbc, info, buffer, sizeof(buffer), &bytes))) return {};
  size_t units = std::min<size_t>(bytes < 0 ? 0 : bytes / sizeof(SQLWCHAR), std::size(buffer) - 1);
  return FromW(buffer, units);
}

}  // namespace

Session::Session(Text connection_string, int login_timeout_seconds, bool pooled)
    : connection_string_(std::move(connection_string)),
      login_timeout_(login_timeout_seconds),
      pooled_(pooled) {
  // SQLDriverConnectW takes the length as a SQLSMALLINT.
  if (connection_string_.size() > static_cast<size_t>(INT16_MAX)) {
    throw Error::InvalidProcedureCall("the connection string is longer than 32,767 characters");
  }
  // Connections differ by their string and by the login timeout set on them.
  pool_key_ = connection_string_ + u'\0' + FromUtf8(std::to_string(login_timeout_));
  // Only for masking: a string that no grammar reads still connects or fails in the driver.
  secrets_ = Secrets::Of(connection_string_);
  Connect(/*reuse=*/true);
}

Session::~Session() { Close(); }

void Session::Connect(bool reuse) {
  if (pooled_ && reuse) {
    SQLHDBC idle = pool::Take(pool_key_);
    if (idle != SQL_NULL_HDBC) {
      dbc_ = idle;
      ReadInfo();
      return;
    }
  }
  SQLHENV env = SharedEnvironment();
  SQLHDBC dbc = SQL_NULL_HDBC;
  Check(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_HANDLE_ENV, env,
        "ODBC: allocating a connection", secrets_);
  ConnectionAllocated();
  // Timeouts are hints some drivers do not take; a refusal is no error.
  SQLSetConnectAttrW(dbc, SQL_ATTR_LOGIN_TIMEOUT, IntAttr(login_timeout_), SQL_IS_UINTEGER);
  SQLSetConnectAttrW(dbc, SQL_ATTR_CONNECTION_TIMEOUT, IntAttr(kConnectionTimeoutSeconds),
                     SQL_IS_UINTEGER);
  SQLSMALLINT out_length = 0;
  SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, W(connection_string_),
                                   static_cast<SQLSMALLINT>(connection_string_.size()), nullptr, 0,
                                   &out_length, SQL_DRIVER_NOPROMPT);
  if (!Succeeded(rc)) {
    Error error = DiagnosticError(SQL_HANDLE_DBC, dbc, rc, "Cannot open the database", secrets_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    ConnectionFreed();
    throw error;
  }
  if (pooled_) pool::Hold(pool_key_, dbc);
  dbc_ = dbc;
  ReadInfo();
}

void Session::ReadInfo() {
  SQLHDBC dbc = dbc_;
  dbms_ = ToUtf8(GetInfoText(dbc, SQL_DBMS_NAME));
}

SQLHDBC Session::dbc() const {
  if (dbc_ == SQL_NULL_HDBC) {
    throw Error(kObjectClosed, "Operation is not allowed when the connection is closed");
  }
  return dbc_;
}

void Session::Close() {
  if (dbc_ == SQL_NULL_HDBC) return;
  SQLHDBC dbc = dbc_;
  dbc_ = SQL_NULL_HDBC;
  if (pooled_) {
    pool::Give(pool_key_, dbc);
  } else {
    pool::Discard(dbc);
  }
}

void Session::Reconnect() {
  if (dbc_ != SQL_NULL_HDBC) {
    if (pooled_) {
      pool::Abandon(pool_key_, dbc_);
    } else {
      pool::Discard(dbc_);
    }
  }
  dbc_ = SQL_NULL_HDBC;
  if (pooled_) pool::DropAll(pool_key_);
  used_ = false;
  Connect(/*reuse=*/false);
}

}  // namespace wq::db::odbc
