// Prepared statements: binding '?' parameters and reading column values.
//
// Date rule: SQLite has no date type, so dates are stored as text "YYYY-MM-DD HH:MM:SS". A text
// value is handed over as a DateTime when
//   - its column is declared DATE, DATETIME, DATETIME2, SMALLDATETIME or TIMESTAMP and the text
//     reads as a date ("YYYY-MM-DD", optionally with " HH:MM[:SS[.fff]]" or 'T' for the blank),
//   - or its column has no declared type (an expression such as GETDATE(), or an untyped table
//     column) and the text is exactly "YYYY-MM-DD HH:MM:SS", the form GETDATE() returns.
// Any other text stays text, so nothing is lost.
//
// Binary (BLOB) values are not handed over: reading one raises a type mismatch that names the
// column, rather than passing bytes off as text.
#include <atomic>
#include <cstring>

#include "platform/db/sqlite/database.h"
#include "platform/db/sqlite/date_time_text.h"
#include "platform/db/sqlite/statistics.h"
#include "platform/error.h"

namespace wq::db::sqlite {
namespace {

std::atomic<uint64_t> vm_steps{0};

bool IsDateTypeName(const char* declared) {
  std::string name;
  for (const char* p = declared; *p && *p != '('; ++p) {
    if (*p != ' ') name += static_cast<char>(*p >= 'a' && *p <= 'z' ? *p - 32 : *p);
  }
  return name == "DATE" || name == "DATETIME" || name == "DATETIME2" || name == "SMALLDATETIME" ||
         name == "TIMESTAMP";
}

// Whether the rest of a command text holds anything but blanks, comments and ';'. A part that
// does not even compile counts as a further statement too.
bool HoldsFurtherStatement(sqlite3* db, const char* tail, const char* end) {
  while (tail < end) {
    sqlite3_stmt* next = nullptr;
    const char* rest = nullptr;
    const int rc = sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &next, &rest);
    sqlite3_finalize(next);
    if (rc != SQLITE_OK || next != nullptr) return true;
    if (rest == nullptr || rest <= tail) return false;
    tail = rest;
  }
  return false;
}

}  // namespace

uint64_t VmSteps() { return vm_steps.load(); }

Value TextValue(std::string_view utf8, ColumnKind kind) {
  if (kind != ColumnKind::kPlain) {
    if (auto date = ParseDateTime(utf8, kind == ColumnKind::kDeclaredDate)) return *date;
  }
  return FromUtf8(utf8);
}

Statement::Statement(sqlite3* db, TextView sql) : db_(db) {
  if (sql.find(u'\0') != TextView::npos) {
    throw Error::InvalidProcedureCall("the command text contains a NUL character");
  }
  const std::string utf8 = ToUtf8(sql);
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db, utf8.c_str(), static_cast<int>(utf8.size()), &stmt_, &tail) !=
      SQLITE_OK) {
    RaiseEngineError(db);
  }
  if (stmt_ == nullptr) throw Error::InvalidProcedureCall("the command text holds no statement");
  if (HoldsFurtherStatement(db, tail, utf8.c_str() + utf8.size())) {
    sqlite3_finalize(stmt_);
    throw Error::InvalidProcedureCall(
        "the command text holds more than one statement; send one statement at a time");
  }
  const int columns = sqlite3_column_count(stmt_);
  kinds_.reserve(columns);
  for (int i = 0; i < columns; ++i) {
    const char* declared = sqlite3_column_decltype(stmt_, i);
    kinds_.push_back(declared == nullptr || *declared == '\0' ? ColumnKind::kUntyped
                     : IsDateTypeName(declared)               ? ColumnKind::kDeclaredDate
                                                              : ColumnKind::kPlain);
  }
}

Statement::~Statement() {
  vm_steps += sqlite3_stmt_status(stmt_, SQLITE_STMTSTATUS_VM_STEP, 0);
  sqlite3_finalize(stmt_);
}

void Statement::Bind(const std::vector<Value>& params) {
  const int count = sqlite3_bind_parameter_count(stmt_);
  for (int i = 1; i <= count; ++i) {
    if (sqlite3_bind_parameter_name(stmt_, i) != nullptr) {
      throw Error::InvalidProcedureCall("only '?' parameter markers are supported");
    }
  }
  if (static_cast<size_t>(count) != params.size()) {
    throw Error::InvalidProcedureCall("the statement has " + std::to_string(count) +
                                      " parameter markers but " + std::to_string(params.size()) +
                                      " values were given");
  }
  for (int i = 1; i <= count; ++i) {
    const Value& v = params[i - 1];
    int rc = SQLITE_OK;
    if (v.IsNull()) {
      rc = sqlite3_bind_null(stmt_, i);
    } else if (v.IsInteger()) {
      rc = sqlite3_bind_int64(stmt_, i, v.integer());
    } else if (v.IsReal()) {
      rc = sqlite3_bind_double(stmt_, i, v.real());
    } else {
      const std::string text = v.IsText() ? ToUtf8(v.text()) : FormatDateTime(v.date_time());
      rc = sqlite3_bind_text64(stmt_, i, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    if (rc != SQLITE_OK) RaiseEngineError(db_);
  }
}

bool Statement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  RaiseEngineError(db_);
}

Text Statement::ColumnName(int i) const {
  const char* name = sqlite3_column_name(stmt_, i);
  return name ? FromUtf8(name) : Text();
}

Cell Statement::Column(int i) const {
  switch (sqlite3_column_type(stmt_, i)) {
    case SQLITE_INTEGER:
      return {Value(static_cast<int64_t>(sqlite3_column_int64(stmt_, i)))};
    case SQLITE_FLOAT:
      return {Value(sqlite3_column_double(stmt_, i))};
    case SQLITE_TEXT:
      return {TextValue(ColumnText(i), kinds_[i])};
    case SQLITE_BLOB:
      return {Value(), true};
    default:
      return {Value()};
  }
}

}  // namespace wq::db::sqlite
