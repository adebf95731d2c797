// One open ODBC connection handle and what the engine keeps about it. The connection object and
// every result opened on it share it, so a result stays safe to use (and reports "closed")
// after its connection was closed.
#pragma once

#include <string>

#include "platform/db/odbc/diagnostics.h"
#include "platform/db/odbc/odbc_api.h"

namespace wq::db::odbc {

// Bounds on waiting for the server, so that a dead server never hangs a caller.
inline constexpr int kDefaultLoginTimeoutSeconds = 15;  // ADO's Connect Timeout default
inline constexpr int kQueryTimeoutSeconds = 30;         // ADO's CommandTimeout default
inline constexpr int kConnectionTimeoutSeconds = 30;    // other requests on the connection

class Session {
 public:
  // Connects (SQLDriverConnect, no prompt), or takes an idle connection of the engine's own pool
  // (connection_pool.h) when pooled. The connection string's passwords become secrets that no
  // error message shows. A string longer than ODBC can pass (32,767 units) is refused.
  Session(Text connection_string, int login_timeout_seconds, bool pooled = true);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Raises wq::Error (kObjectClosed) once the session is closed.
  SQLHDBC dbc() const;
  bool open() const { return dbc_ != SQL_NULL_HDBC; }
  // Hands the connection back to the pool (or closes it when not pooled).
  void Close();
  void MarkUsed() { used_ = true; }
  // Drops the connection and the pool's other idle ones of this string, and connects anew, for
  // a pooled connection that turned out to be dead before anything was done on it.
  void Reconnect();

  const Secrets& secrets() const { return secrets_; }
  const std::string& dbms() const { return dbms_; }

  // Runs one statement's work. A pooled connection may have died while it sat in the pool
  // (server restarted); when the very first statement on this connection finds it lost, the
  // connection is replaced once and the statement run again: nothing was done on it yet.
  template <typename Work>
  auto Run(Work&& work) -> decltype(work()) {
    if (used_) return work();
    try {
      auto result = work();
      used_ = true;
      return result;
    } catch (const Error& error) {
      if (used_ || !IsConnectionLost(error)) throw;  // the work had begun to count
    }
    Reconnect();
    auto result = work();
    used_ = true;
    return result;
  }

 private:
  void Connect(bool reuse);
  void ReadInfo();

  Text connection_string_;
  int login_timeout_;
  bool pooled_;
  Text pool_key_;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  Secrets secrets_;
  std::string dbms_;
  bool used_ = false;
};

}  // namespace wq::db::odbc
