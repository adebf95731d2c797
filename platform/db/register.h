// The presence register as the component sees it: rows of the host's table SystemSetting that
// carry a marker in ssDesc, and the database server's clock. One adapter per engine
// (platform/db/sqlite, platform/db/odbc); the statements they send are in register_sql.h.
//
//   auto reg = db::Register::Open(u"Provider=SQLite;Data Source=/tmp/p.db");
//   std::optional<db::Value> now = reg->ServerClock();
//   reg->ScanMarked(marker, [&](const db::MarkedRow& row) { ... });
//
// A register belongs to the thread that uses it: one thread at a time, never shared.
// Every failure raises wq::Error (Error::Database for the engine's own, with its native code
// and SQLSTATE); no description shows a password.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/value.h"
#include "platform/text/text.h"

namespace wq::db {

enum class Access {
  kReadWrite,  // an embedded database file (and its folder) is created when missing
  kReadOnly,   // nothing is written or created; a missing file is an error that names it
};

// The longest ssOption, in UTF-16 units, that is read: far more than any record's sealed
// payload. A longer value is left unread, so a hostile row costs no memory.
inline constexpr size_t kMaxOptionUnits = 4096;

// A marked row as stored.
struct MarkedRow {
  Value id;                    // ssID
  Value option;                // ssOption; null when too long
  Value module;                // ssModeName
  Value state;                 // ssState
  bool optionTooLong = false;  // ssOption holds more than kMaxOptionUnits units
};

class Register {
 public:
  // Opens the database that an ADO-style connection string names (Provider=SQLite;Data
  // Source=PATH, a SQL Server provider, MSDASQL or an ODBC string).
  static std::unique_ptr<Register> Open(const Text& connectionString,
                                        Access access = Access::kReadWrite);

  virtual ~Register() = default;  // closes

  // The server's clock as GETDATE() gives it; none when the query gave no row.
  virtual std::optional<Value> ServerClock() = 0;
  // Reads every row whose ssDesc is the marker, in the order the database gives them, and hands
  // each to visit before the next is read. The row is reused, so visit copies what it keeps; it
  // must not write to this register, whose read is still under way. Nothing is kept between
  // rows, so the read costs the same memory for ten rows or a million. A missing ssID, ssOption,
  // ssModeName or ssState column raises kItemNotFound.
  virtual void ScanMarked(const Text& marker,
                          const std::function<void(const MarkedRow&)>& visit) = 0;
  // Adds one row: ssDesc = marker, ssOption, ssState, ssModeName; the database fills the rest.
  virtual void Add(const Text& marker, const Text& option, int16_t state, const Text& module) = 0;
  // Deletes the rows of these ids (each as ScanMarked gave it) that carry the marker, in one
  // statement; with a module, only rows of that module (the empty module matches a null
  // ssModeName too). An empty list sends nothing.
  virtual void DeleteMarked(const Text& marker, const std::vector<Value>& ids,
                            const std::optional<Text>& module) = 0;
  // How many rows carry the marker.
  virtual int64_t CountMarked(const Text& marker) = 0;

  // For creating the table: the product ("sqlite", "PostgreSQL", "Microsoft SQL Server", ...)
  // and one statement of its schema script.
  virtual std::string product() const = 0;
  virtual void RunSchemaStatement(const Text& sql) = 0;

  virtual void Close() = 0;
};

}  // namespace wq::db
