// What this process's ODBC statements met, for tests and operators.
#pragma once

#include <cstdint>

namespace wq::db::odbc {

// Statements run a second time because the server chose them as a deadlock victim and rolled
// them back whole (SQL Server error 1205, SQLSTATE 40001; PostgreSQL 40P01).
uint64_t DeadlockRetries();

}  // namespace wq::db::odbc
