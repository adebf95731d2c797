// Results of the ODBC engine. Both kinds hold their rows in memory: a read-only result is read
// when its statement runs; a keyset result reads the rows its query matches at the first call
// that needs them (so a result opened only to add a row reads none) and then keeps exactly
// those rows; RecordCount before that asks the server for the count alone. Adding a row sends one
// parameterised INSERT built from the table's real columns; a row whose INSERT fails stays pending,
// to be corrected and stored again.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/db/connection.h"
#include "platform/db/odbc/statement.h"

namespace wq::db::odbc {

class OdbcRecordset final : public Recordset {
 public:
  static std::unique_ptr<OdbcRecordset> ReadOnly(std::shared_ptr<Session> session, ResultData data);
  // table: the keyset query's table, already checked to be a plain identifier.
  static std::unique_ptr<OdbcRecordset> Keyset(std::shared_ptr<Session> session, Text sql,
                                               std::vector<Value> params, Text table);
  ~OdbcRecordset() override = default;

  bool Eof() override;
  Value Field(TextView name) override;
  void MoveNext() override;
  int32_t RecordCount() override;
  void AddNew() override;
  void SetField(TextView name, const Value& value) override;
  void Update() override;
  void Close() override;

 private:
  explicit OdbcRecordset(std::shared_ptr<Session> session) : session_(std::move(session)) {}
  void RequireOpen() const;
  void RequireUpdatable() const;
  const ResultData& Rows();
  const std::vector<Column>& TableColumns();
  std::optional<int64_t> CountOnServer();

  std::shared_ptr<Session> session_;
  bool closed_ = false;
  Text sql_;
  std::vector<Value> params_;
  Text table_;  // empty for a read-only result
  std::optional<ResultData> data_;
  // RecordCount before any row was read: the server's count, kept so that it stays the same.
  std::optional<int64_t> count_;
  size_t position_ = 0;
  // The row being added: the table's columns and the values set so far, by column index.
  std::optional<std::vector<Column>> table_columns_;
  bool adding_ = false;
  std::vector<std::pair<size_t, Value>> new_row_;
};

}  // namespace wq::db::odbc
