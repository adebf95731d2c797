#include "platform/db/register_sql.h"

#include <charconv>
#include <cmath>
#include <string>

#include "platform/error.h"

namespace wq::db {
namespace {

void AppendId(const Value& id, Text& out) {
  if (id.IsInteger() || (id.IsReal() && std::isfinite(id.real()) &&
                         id.real() == std::trunc(id.real()) && std::fabs(id.real()) < 9.2e18)) {
    const std::string digits =
        std::to_string(id.IsInteger() ? id.integer() : static_cast<int64_t>(id.real()));
    out.append(digits.begin(), digits.end());
  } else if (id.IsText()) {
    out += QuoteLiteral(id.text());
  } else {
    throw Error::TypeMismatch("ssID is neither a whole number nor a text");
  }
}

}  // namespace

Text QuoteLiteral(TextView text) {
  Text out = u"'";
  for (char16_t c : text) {
    if (c == u'\'') out.push_back(u'\'');
    out.push_back(c);
  }
  out.push_back(u'\'');
  return out;
}

Text MarkedRowsQuery(const Text& marker) {
  return u"SELECT * FROM SystemSetting WHERE ssDesc = " + QuoteLiteral(marker);
}

Text CountQuery(const Text& marker) {
  return u"SELECT COUNT(*) AS n FROM SystemSetting WHERE ssDesc = " + QuoteLiteral(marker);
}

DeleteStatement MakeDelete(const Text& marker, const std::vector<Value>& ids,
                           const std::optional<Text>& module) {
  DeleteStatement d;
  d.sql = u"DELETE FROM SystemSetting WHERE ssID IN (";
  for (size_t i = 0; i < ids.size(); ++i) {
    if (i > 0) d.sql.push_back(u',');
    AppendId(ids[i], d.sql);
  }
  d.sql += u") AND ssDesc = " + QuoteLiteral(marker);
  if (module) {
    // The module travels as a parameter, never as SQL text.
    d.sql += module->empty() ? u" AND (ssModeName = ? OR ssModeName IS NULL)"
                             : u" AND ssModeName = ?";
    d.params.emplace_back(*module);
  }
  return d;
}

MarkedColumns FindMarkedColumns(const std::vector<Text>& names) {
  auto find = [&](TextView name) {
    for (size_t i = 0; i < names.size(); ++i) {
      if (EqualsIgnoreCase(names[i], name)) return static_cast<int>(i);
    }
    throw Error(kItemNotFound, "Item cannot be found in the collection: " + ToUtf8(name));
  };
  MarkedColumns c;
  c.id = find(u"ssID");
  c.option = find(u"ssOption");
  c.module = find(u"ssModeName");
  c.state = find(u"ssState");
  return c;
}

int64_t CountOf(const Value& v) {
  if (v.IsNull()) return 0;
  if (v.IsInteger()) return v.integer();
  if (v.IsText()) {
    const std::string s = ToUtf8(v.text());
    int64_t n = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (ec == std::errc() && end == s.data() + s.size() && !s.empty()) return n;
  }
  if (v.IsReal() && v.real() == std::trunc(v.real())) return static_cast<int64_t>(v.real());
  throw Error::TypeMismatch("the count is not a whole number");
}

}  // namespace wq::db
