// The database access contract the presence code relies on, shaped after ADO's Connection and
// Recordset. Every object closes itself when released; every failure raises wq::Error
// (wq::DatabaseError for the engine's own failures, with its code and text).
//
//   auto conn = db::Connection::Open(u"Provider=SQLite;Data Source=/tmp/p.db");
//   auto time = conn->Execute(u"SELECT GETDATE() AS SystemDateTime");
//   auto rs = conn->OpenKeyset(u"SELECT * FROM SystemSetting WHERE ssDesc = ?", {marker});
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/value.h"
#include "platform/text/text.h"

namespace wq::db {

class Recordset {
 public:
  virtual ~Recordset() = default;  // closes

  // True past the last row, and when there are no rows.
  virtual bool Eof() = 0;
  // The value of a column of the current row (or of the row being added); the name is matched
  // ignoring letter case. Unknown name: kItemNotFound. At EOF: kNoCurrentRecord.
  virtual Value Field(TextView name) = 0;
  virtual void MoveNext() = 0;
  // The exact number of rows of a keyset result.
  virtual int32_t RecordCount() = 0;

  // Adding a row (keyset results only): AddNew starts it, SetField sets columns of it, Update
  // stores it; the database fills the columns not set, the row identifier among them.
  virtual void AddNew() = 0;
  virtual void SetField(TextView name, const Value& value) = 0;
  virtual void Update() = 0;

  virtual void Close() = 0;
};

class Connection {
 public:
  // Opens the connection that an ADO-style connection string names (key=value;... pairs, keys
  // ignoring case, values possibly quoted). Anything that cannot be opened raises an error whose
  // description says why, without the password.
  static std::unique_ptr<Connection> Open(const Text& connectionString);

  virtual ~Connection() = default;  // closes

  // Runs a statement; '?' marks a bound parameter. A query gives an open, read-only result on
  // its first row; other statements give nullptr.
  virtual std::unique_ptr<Recordset> Execute(const Text& sql,
                                             const std::vector<Value>& params = {}) = 0;
  // Opens an updatable keyset result (keyset cursor, optimistic locking) on a
  // "SELECT * FROM <table> [WHERE ...]" query: it visits exactly the rows that matched when it
  // opened. Rows are read only when first needed, so a result opened only to add a row reads
  // none of the table's rows.
  virtual std::unique_ptr<Recordset> OpenKeyset(const Text& sql,
                                                const std::vector<Value>& params = {}) = 0;
  virtual void Close() = 0;

  // The engine's kind, for SQL that differs between engines ("sqlite", "odbc").
  virtual const char* engine() const = 0;
  // The database product behind the engine, for SQL that differs between products: the ODBC
  // driver's name for it ("PostgreSQL", "Microsoft SQL Server", ...); the engine's kind where
  // the engine is the product.
  virtual std::string dbms() const { return engine(); }
};

}  // namespace wq::db
