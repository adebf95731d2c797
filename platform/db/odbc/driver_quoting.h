// How each ODBC driver reads a value after "key=" in its connection string, and writing pairs
// that the driver manager and the driver both read back as meant: a value that could end early
// or open a pair of its own is refused, naming the keyword and never the value.
#pragma once

#include "platform/text/text.h"

namespace wq::db::odbc {

enum class ValueReader {
  // {...} with "}}" for '}' (the ODBC rule): Microsoft's drivers, psqlODBC, the driver managers.
  kBracesDoubled,
  // {...} up to the first "};", '}' left single: FreeTDS 1.3.17 (later builds refuse a single
  // '}' inside braces, so what it cannot read fails, never reads otherwise).
  kBracesToSemicolon,
  // No braces at all, a value runs to the next ';' and the first pair of a key wins: the SQLite
  // ODBC driver. Also the rule for any driver not known here (a DSN, a driver named by path).
  kNoBraces,
};

// The reader of the driver named `driver` (as in Driver={...}); kNoBraces when unknown.
ValueReader ReaderOf(TextView driver);

// Appends "key=value;" as `reader` needs it. `driver` names the driver in the refusal (Raises
// wq::Error, invalid procedure call, for a value that cannot travel: a NUL; for kNoBraces a ';'
// or a leading '{'; for kBracesToSemicolon a braced value holding "};", a ';' after a '}', or
// ending with '}').
void AppendPairFor(Text& out, TextView key, TextView value, ValueReader reader, TextView driver);

// Appends "Driver={name};"; refuses a name holding ';', a brace or a NUL (no driver has one).
void AppendDriver(Text& out, TextView name);

}  // namespace wq::db::odbc
