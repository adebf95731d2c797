#include "platform/db/odbc/statement.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "platform/db/odbc/decimal_text.h"

namespace wq::db::odbc {
namespace {

// SQL Server's largest nvarchar(n): texts up to it travel as nvarchar(4000), longer ones as
// nvarchar(max) (column size 0). One declared size for all short texts lets the server reuse
// its plans, and a long text never becomes ntext, which cannot be compared with '='.
constexpr SQLULEN kMaxNvarchar = 4000;

SQLPOINTER IntAttr(SQLULEN value) {
  return reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(value));
}

enum class ReadAs { kInteger, kReal, kTimestamp, kTime, kDecimal, kText };

ReadAs FetchAs(SQLSMALLINT type) {
  switch (type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return ReadAs::kInteger;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return ReadAs::kReal;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return ReadAs::kDecimal;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:  // ODBC 2 codes, from older drivers
    case SQL_TIMESTAMP:
    case -155:  // SQL Server datetimeoffset
      return ReadAs::kTimestamp;
    case SQL_TYPE_TIME:
    case SQL_TIME:
    case -154:  // SQL Server time(n)
      return ReadAs::kTime;
    default:
      return ReadAs::kText;  // character data, and anything else in its text form
  }
}

}  // namespace

struct Statement::Parameter {
  Text text;
  SQLBIGINT integer = 0;
  double real = 0;
  SQL_TIMESTAMP_STRUCT timestamp = {};
  SQLLEN indicator = 0;
};

int FindColumn(const std::vector<Column>& columns, TextView name) {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (EqualsIgnoreCase(columns[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

Statement::Statement(Session& session) : session_(session) {
  SQLHDBC dbc = session.dbc();
  odbc::Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt_), SQL_HANDLE_DBC, dbc,
              "ODBC: allocating a statement", session.secrets());
  // A hint; drivers that cannot time out queries say so with a warning or an error we ignore.
  SQLSetStmtAttrW(stmt_, SQL_ATTR_QUERY_TIMEOUT, IntAttr(kQueryTimeoutSeconds), SQL_IS_UINTEGER);
}

Statement::~Statement() {
  if (stmt_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
}

void Statement::Check(SQLRETURN rc, const char* action) {
  odbc::Check(rc, SQL_HANDLE_STMT, stmt_, action, session_.secrets());
}

void Statement::Bind(const std::vector<Value>& params) {
  parameters_.clear();
  parameters_.resize(params.size());  // never resized again: the driver keeps the addresses
  for (size_t i = 0; i < params.size(); ++i) {
    const Value& value = params[i];
    Parameter& p = parameters_[i];
    SQLUSMALLINT number = static_cast<SQLUSMALLINT>(i + 1);
    SQLRETURN rc;
    if (value.IsText()) {
      p.text = value.text();
      p.indicator = static_cast<SQLLEN>(p.text.size() * sizeof(SQLWCHAR));
      const SQLULEN size = p.text.size() > kMaxNvarchar ? 0 : kMaxNvarchar;
      rc = SQLBindParameter(stmt_, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, size, 0,
                            W(p.text), p.indicator, &p.indicator);
    } else if (value.IsInteger()) {
      p.integer = value.integer();
      bool small = p.integer >= INT32_MIN && p.integer <= INT32_MAX;
      rc = SQLBindParameter(stmt_, number, SQL_PARAM_INPUT, SQL_C_SBIGINT,
                            small ? SQL_INTEGER : SQL_BIGINT, small ? 10 : 19, 0, &p.integer, 0,
                            nullptr);
    } else if (value.IsReal()) {
      p.real = value.real();
      rc = SQLBindParameter(stmt_, number, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0,
                            &p.real, 0, nullptr);
    } else if (value.IsDateTime()) {
      const DateTime& d = value.date_time();
      p.timestamp = {static_cast<SQLSMALLINT>(d.year),
                     static_cast<SQLUSMALLINT>(d.month),
                     static_cast<SQLUSMALLINT>(d.day),
                     static_cast<SQLUSMALLINT>(d.hour),
                     static_cast<SQLUSMALLINT>(d.minute),
                     static_cast<SQLUSMALLINT>(d.second),
                     0};
      rc = SQLBindParameter(stmt_, number, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP,
                            SQL_TYPE_TIMESTAMP, 19, 0, &p.timestamp, 0, nullptr);
    } else {
      p.indicator = SQL_NULL_DATA;
      rc = SQLBindParameter(stmt_, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, kMaxNvarchar,
                            0, nullptr, 0, &p.indicator);
    }
    Check(rc, "ODBC: binding a parameter");
  }
}

bool Statement::Execute(const Text& sql, const std::vector<Value>& params) {
  // ODBC takes the length as a SQLINTEGER and numbers parameters with a SQLUSMALLINT.
  if (sql.size() > static_cast<size_t>(INT32_MAX) || params.size() > UINT16_MAX) {
    throw Error::InvalidProcedureCall("the statement is too long or has too many parameters");
  }
  Bind(params);
  SQLRETURN rc = SQLExecDirectW(stmt_, W(sql), static_cast<SQLINTEGER>(sql.size()));
  if (!Succeeded(rc) && rc != SQL_NO_DATA) {
    Error error = DiagnosticError(SQL_HANDLE_STMT, stmt_, rc, "Query failed", session_.secrets());
    if (!IsDeadlockVictim(error)) throw error;
    // The server rolled the whole statement back (nothing runs in a transaction), so running
    // it once more, an INSERT included, cannot do anything twice. Workstations that delete
    // overlapping damaged records at the same moment meet here.
    SQLFreeStmt(stmt_, SQL_CLOSE);
    rc = SQLExecDirectW(stmt_, W(sql), static_cast<SQLINTEGER>(sql.size()));
  }
  // SQL_NO_DATA: a searched UPDATE or DELETE that matched no row.
  if (rc != SQL_NO_DATA) Check(rc, "Query failed");
  SQLSMALLINT columns = 0;
  if (rc != SQL_NO_DATA) Check(SQLNumResultCols(stmt_, &columns), "Query failed");
  return columns > 0;
}

std::vector<Column> Statement::Describe() {
  // Column attributes one by one rather than SQLDescribeCol: psqlODBC answers SQLDescribeCol
  // (and the concise type) with a catalog query per table, an extra round trip; the name,
  // the verbose type and the scale come from the result itself.
  const char* action = "Reading the result's columns";
  SQLSMALLINT count = 0;
  Check(SQLNumResultCols(stmt_, &count), action);
  std::vector<Column> columns(count);
  for (SQLSMALLINT i = 0; i < count; ++i) {
    SQLUSMALLINT number = static_cast<SQLUSMALLINT>(i + 1);
    SQLWCHAR name[256];
    SQLSMALLINT name_bytes = 0;
    Check(SQLColAttributeW(stmt_, number, SQL_DESC_NAME, name, sizeof(name), &name_bytes, nullptr),
          action);
    size_t units =
        std::min<size_t>(name_bytes < 0 ? 0 : name_bytes / sizeof(SQLWCHAR), std::size(name) - 1);
    SQLLEN type = 0, code = 0, scale = 0;
    Check(SQLColAttributeW(stmt_, number, SQL_DESC_TYPE, nullptr, 0, nullptr, &type), action);
    if (type == SQL_DATETIME) {
      // psqlODBC does not answer this one; a time stamp is then the safe reading.
      if (!Succeeded(SQLColAttributeW(stmt_, number, SQL_DESC_DATETIME_INTERVAL_CODE, nullptr, 0,
                                      nullptr, &code))) {
        code = SQL_CODE_TIMESTAMP;
      }
      type = code == SQL_CODE_DATE   ? SQL_TYPE_DATE
             : code == SQL_CODE_TIME ? SQL_TYPE_TIME
                                     : SQL_TYPE_TIMESTAMP;
    }
    if (type == SQL_DECIMAL || type == SQL_NUMERIC) {
      Check(SQLColAttributeW(stmt_, number, SQL_DESC_SCALE, nullptr, 0, nullptr, &scale), action);
    }
    columns[i] =
        Column{FromW(name, units), static_cast<SQLSMALLINT>(type), static_cast<SQLSMALLINT>(scale)};
  }
  return columns;
}

bool Statement::Fetch() {
  SQLRETURN rc = SQLFetch(stmt_);
  if (rc == SQL_NO_DATA) return false;
  Check(rc, "Reading a row");
  return true;
}

Value Statement::Get(int column_index, const Column& column, size_t maxUnits, bool* tooLong) {
  Value v;
  GetInto(column_index, column, v, maxUnits, tooLong);
  return v;
}

void Statement::GetInto(int column_index, const Column& column, Value& into, size_t maxUnits,
                        bool* tooLong) {
  if (tooLong != nullptr) *tooLong = false;
  const SQLUSMALLINT index = static_cast<SQLUSMALLINT>(column_index + 1);
  const char* action = "Reading a column value";
  SQLLEN indicator = 0;
  switch (FetchAs(column.type)) {
    case ReadAs::kInteger: {
      SQLBIGINT v = 0;
      Check(SQLGetData(stmt_, index, SQL_C_SBIGINT, &v, sizeof v, &indicator), action);
      into = indicator == SQL_NULL_DATA ? Value() : Value(int64_t{v});
      return;
    }
    case ReadAs::kReal: {
      double v = 0;
      Check(SQLGetData(stmt_, index, SQL_C_DOUBLE, &v, sizeof v, &indicator), action);
      into = indicator == SQL_NULL_DATA ? Value() : Value(v);
      return;
    }
    case ReadAs::kTimestamp: {
      SQL_TIMESTAMP_STRUCT t = {};
      Check(SQLGetData(stmt_, index, SQL_C_TYPE_TIMESTAMP, &t, sizeof t, &indicator), action);
      into = indicator == SQL_NULL_DATA
                 ? Value()
                 : Value(DateTime{t.year, t.month, t.day, t.hour, t.minute, t.second});
      return;
    }
    case ReadAs::kTime: {
      SQL_TIME_STRUCT t = {};
      Check(SQLGetData(stmt_, index, SQL_C_TYPE_TIME, &t, sizeof t, &indicator), action);
      if (indicator == SQL_NULL_DATA) {
        into = Value();
        return;
      }
      DateTime d;  // a time alone sits on day zero, as a variant date does
      d.hour = t.hour;
      d.minute = t.minute;
      d.second = t.second;
      into = Value(d);
      return;
    }
    case ReadAs::kDecimal:
    case ReadAs::kText:
      break;
  }
  // Text in pieces, for values longer than the buffer; a text value keeps its storage.
  Text& text = into.SetText();
  text.clear();
  SQLWCHAR buffer[512];
  constexpr SQLLEN kBytes = sizeof(buffer);
  constexpr size_t kUnits = std::size(buffer) - 1;  // room for the terminating NUL
  for (;;) {
    SQLRETURN rc = SQLGetData(stmt_, index, SQL_C_WCHAR, buffer, kBytes, &indicator);
    if (rc == SQL_NO_DATA) break;
    Check(rc, action);
    if (indicator == SQL_NULL_DATA) {
      into = Value();
      return;
    }
    bool complete = indicator != SQL_NO_TOTAL && indicator <= kBytes - SQLLEN{sizeof(SQLWCHAR)};
    size_t units = complete ? static_cast<size_t>(indicator) / sizeof(SQLWCHAR) : kUnits;
    if (maxUnits != 0 &&
        (text.size() + units > maxUnits ||
         (indicator != SQL_NO_TOTAL &&
          static_cast<size_t>(indicator) / sizeof(SQLWCHAR) > maxUnits - text.size()))) {
      *tooLong = true;  // the rest stays unread; the next column or row discards it
      into = Value();
      return;
    }
    text.append(reinterpret_cast<const char16_t*>(buffer), units);
    if (complete) break;
  }
  if (FetchAs(column.type) == ReadAs::kDecimal) {
    Value number = DecimalValue(text, column.digits);
    into = std::move(number);
  }
}

ResultData Statement::ReadAll() {
  ResultData result;
  result.columns = Describe();
  while (Fetch()) {
    std::vector<Value> row;
    row.reserve(result.columns.size());
    for (size_t i = 0; i < result.columns.size(); ++i) {
      row.push_back(Get(static_cast<int>(i), result.columns[i]));
    }
    result.rows.push_back(std::move(row));
  }
  Finish();
  return result;
}

void Statement::Finish() {
  for (;;) {
    SQLRETURN rc = SQLMoreResults(stmt_);
    if (rc == SQL_NO_DATA) break;
    Check(rc, "Query failed");
  }
  SQLFreeStmt(stmt_, SQL_CLOSE);
}

}  // namespace wq::db::odbc
