// Dates and times as SQLite stores them: text "YYYY-MM-DD HH:MM:SS".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/db/value.h"

namespace wq::db::sqlite {

// "YYYY-MM-DD HH:MM:SS". Raises kInvalidProcedureCall for a value that is no calendar date
// and time (month 13, February 30, year 10000...).
std::string FormatDateTime(const DateTime& value);

// Reads "YYYY-MM-DD HH:MM:SS" exactly, or, when lenient, also "YYYY-MM-DD", "YYYY-MM-DD HH:MM"
// and either with 'T' for the blank and a fraction of a second (dropped). nullopt for anything
// else, a date that does not exist included.
std::optional<DateTime> ParseDateTime(std::string_view text, bool lenient);

// The machine's local date and time now: Env's clock in the zone of /etc/localtime, whatever the
// TZ of the process, so that every writer of one register stamps the same clock.
DateTime LocalNow();

}  // namespace wq::db::sqlite
