// What each presence record adds to an update on the loopback PostgreSQL server through ODBC:
// one process, unpooled, updating as one workstation beside N live records of others. The cost
// per record is the slope between two sizes, (time at 10000 - time at 100) / 9900.
//
// DriverFloor/N is what the driver alone needs to deliver the same rows: the update's query of
// presence records run on one open connection through the ODBC API, every column of every row
// read as text with SQLGetData, nothing kept. Its slope is the least any update can cost.
//
//   scripts/bench-postgres --benchmark_filter='Records|DriverFloor' --benchmark_repetitions=5
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <string>

#include "bench/db/odbc/live_records.h"
#include "platform/db/register.h"
#include "platform/db/connection_string.h"
#include "presence/record.h"
#include "presence/update.h"

namespace wq {
namespace {

Text Unpooled(const std::string& conn) {
  Text out;
  const db::ConnectionString parsed = db::ConnectionString::Parse(FromUtf8(conn));
  for (const auto& [key, value] : parsed.pairs()) {
    db::AppendPair(out, key,
                   EqualsIgnoreCase(key, u"Driver") ? u"PostgreSQL Unicode NoPool" : value);
  }
  return out;
}

void BM_UpdateBesideRecords(benchmark::State& state) {
  const char* env = std::getenv("WEBQUORREL_TEST_PG_CONN");
  if (env == nullptr || *env == '\0') {
    state.SkipWithError("WEBQUORREL_TEST_PG_CONN is not set (see scripts/bench-postgres)");
    return;
  }
  const Text conn = Unpooled(env);
  const int live = static_cast<int>(state.range(0));
  bench::FillLiveRecords(conn, live, u"Bench");
  for (auto _ : state) {
    presence::UpdateResult result = presence::UpdateOnlineState(conn, 2, u"Bench", false);
    if (!result.ok() || result.count != live + 1) {
      state.SkipWithError(result.ok() ? "unexpected count" : result.error->what());
      return;
    }
  }
  state.counters["records"] = live;
}
BENCHMARK(BM_UpdateBesideRecords)
    ->Arg(100)
    ->Arg(10000)
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_DriverFloor(benchmark::State& state) {
  const char* env = std::getenv("WEBQUORREL_TEST_PG_CONN");
  if (env == nullptr || *env == '\0') {
    state.SkipWithError("WEBQUORREL_TEST_PG_CONN is not set (see scripts/bench-postgres)");
    return;
  }
  const int live = static_cast<int>(state.range(0));
  bench::FillLiveRecords(Unpooled(env), live, u"Bench");
  SQLHENV henv = SQL_NULL_HENV;
  SQLHDBC hdbc = SQL_NULL_HDBC;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &henv);
  SQLSetEnvAttr(henv, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, henv, &hdbc);
  std::string conn = env;
  if (!SQL_SUCCEEDED(SQLDriverConnect(hdbc, nullptr, reinterpret_cast<SQLCHAR*>(conn.data()),
                                      SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT))) {
    state.SkipWithError("the driver did not connect");
  } else {
    std::string sql =
        "SELECT * FROM SystemSetting WHERE ssDesc = '" + ToUtf8(presence::PresenceMarker()) + "'";
    for (auto _ : state) {
      SQLHSTMT stmt = SQL_NULL_HSTMT;
      SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &stmt);
      SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS);
      SQLSMALLINT columns = 0;
      SQLNumResultCols(stmt, &columns);
      int rows = 0;
      while (SQL_SUCCEEDED(SQLFetch(stmt))) {
        ++rows;
        for (SQLUSMALLINT c = 1; c <= columns; ++c) {
          SQLWCHAR text[512];
          SQLLEN indicator = 0;
          SQLGetData(stmt, c, SQL_C_WCHAR, text, sizeof text, &indicator);
        }
      }
      SQLFreeHandle(SQL_HANDLE_STMT, stmt);
      if (rows != live) {
        state.SkipWithError("unexpected number of rows");
        break;
      }
    }
    SQLDisconnect(hdbc);
  }
  SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
  SQLFreeHandle(SQL_HANDLE_ENV, henv);
}
BENCHMARK(BM_DriverFloor)
    ->Arg(100)
    ->Arg(10000)
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace wq

BENCHMARK_MAIN();
