// Reading the pairs of a parsed ADO connection string: keys ignore case and outer blanks, and
// the last pair of a key wins, as ADO reads them.
#pragma once

#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include "platform/text/text.h"

namespace wq::db::odbc {

using AdoPairs = std::vector<std::pair<Text, Text>>;

// The blanks that ADO and the driver managers trim around keys and values: space and tab only,
// fewer than the connection string grammar's own (IsBlank).
inline bool IsSpaceOrTab(char16_t c) { return c == u' ' || c == u'\t'; }
inline TextView TrimSpacesAndTabs(TextView s) {
  while (!s.empty() && IsSpaceOrTab(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpaceOrTab(s.back())) s.remove_suffix(1);
  return s;
}

inline bool StartsWithIgnoreCase(TextView s, TextView prefix) {
  return s.size() >= prefix.size() && EqualsIgnoreCase(s.substr(0, prefix.size()), prefix);
}

// The value of the last pair whose key is one of keys, or nullptr.
inline const Text* LastOf(const AdoPairs& pairs, std::initializer_list<TextView> keys) {
  const Text* found = nullptr;
  for (const auto& [key, value] : pairs) {
    for (TextView k : keys) {
      if (EqualsIgnoreCase(TrimSpacesAndTabs(key), k)) found = &value;
    }
  }
  return found;
}

// An ADO boolean: true, yes, 1 (and SSPI, for Integrated Security) or false, no, 0.
inline std::optional<bool> AdoBool(TextView v) {
  v = TrimSpacesAndTabs(v);
  for (TextView t : {u"true", u"yes", u"1", u"sspi"}) {
    if (EqualsIgnoreCase(v, t)) return true;
  }
  for (TextView f : {u"false", u"no", u"0"}) {
    if (EqualsIgnoreCase(v, f)) return false;
  }
  return std::nullopt;
}

}  // namespace wq::db::odbc
