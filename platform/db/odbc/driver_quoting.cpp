#include "platform/db/odbc/driver_quoting.h"

#include <string>

#include "platform/db/connection_string.h"
#include "platform/db/odbc/ado_pairs.h"
#include "platform/error.h"

namespace wq::db::odbc {
namespace {

[[noreturn]] void Refuse(TextView key, TextView driver, const std::string& why) {
  std::string whom = driver.empty() ? std::string("the driver of this data source (not known, so "
                                                  "the strictest rule applies)")
                                    : "the " + ToUtf8(driver) + " driver";
  throw Error::InvalidProcedureCall("Cannot open the database: the value of " + ToUtf8(key) +
                                    " cannot be passed to " + whom + ": " + why);
}

}  // namespace

ValueReader ReaderOf(TextView driver) {
  driver = TrimSpacesAndTabs(driver);
  if (EqualsIgnoreCase(driver, u"FreeTDS")) return ValueReader::kBracesToSemicolon;
  if (StartsWithIgnoreCase(driver, u"ODBC Driver ") || StartsWithIgnoreCase(driver, u"SQL Server") ||
      StartsWithIgnoreCase(driver, u"PostgreSQL")) {
    return ValueReader::kBracesDoubled;
  }
  return ValueReader::kNoBraces;
}

void AppendPairFor(Text& out, TextView key, TextView value, ValueReader reader, TextView driver) {
  if (value.find(u'\0') != TextView::npos) Refuse(key, driver, "it holds a NUL character");
  switch (reader) {
    case ValueReader::kBracesDoubled:
      AppendPair(out, key, value);
      return;
    case ValueReader::kBracesToSemicolon: {
      // Bare up to ';' where that is enough; braces also for outer blanks and a leading quote,
      // which other readers of the string would trim or take as quoting.
      const bool braces =
          value.find(u';') != TextView::npos ||
          (!value.empty() &&
           (value.front() == u'{' || value.front() == u'"' || value.front() == u'\'' ||
            IsSpaceOrTab(value.front()) || IsSpaceOrTab(value.back())));
      if (braces) {
        if (value.find(u"};") != TextView::npos) Refuse(key, driver, "it holds \"};\"");
        // A last '}' and the closing one would read as "}}" to the driver manager.
        if (value.back() == u'}') Refuse(key, driver, "it needs braces and ends with '}'");
        // The driver manager ends a braced value at a single '}': no ';' may follow one, or it
        // would read a pair of its own there.
        const size_t brace = value.find(u'}');
        if (brace != TextView::npos && value.find(u';', brace) != TextView::npos) {
          Refuse(key, driver, "it holds ';' after '}'");
        }
      }
      out += key;
      out += braces ? u"={" : u"=";
      out += value;
      out += braces ? u"};" : u";";
      return;
    }
    case ValueReader::kNoBraces: {
      if (value.find(u';') != TextView::npos) Refuse(key, driver, "it holds ';'");
      const TextView trimmed = TrimSpacesAndTabs(value);
      if (!trimmed.empty() && trimmed.front() == u'{') {
        Refuse(key, driver, "it begins with '{'");
      }
      out += key;
      out += u'=';
      out += value;
      out += u';';
      return;
    }
  }
}

void AppendDriver(Text& out, TextView name) {
  if (name.find_first_of(u";{}") != TextView::npos || name.find(u'\0') != TextView::npos) {
    throw Error::InvalidProcedureCall(
        "Cannot open the database: a driver name holds ';', a brace or a NUL character");
  }
  out += u"Driver={";
  out += name;
  out += u"};";
}

}  // namespace wq::db::odbc
