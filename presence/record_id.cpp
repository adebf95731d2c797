#include "presence/record_id.h"

#include <charconv>
#include <cmath>
#include <string>

namespace wq::presence {

std::optional<int64_t> WholeNumber(const db::Value& id) {
  if (id.IsInteger()) return id.integer();
  if (id.IsReal()) {
    const double v = id.real();
    if (std::trunc(v) == v && std::fabs(v) < 9.2e18) return static_cast<int64_t>(v);
    return std::nullopt;  // a fraction, too large, infinite or not a number
  }
  if (!id.IsText() || id.text().empty()) return std::nullopt;
  std::string digits;
  for (char16_t c : id.text()) {
    if (c < u'0' || c > u'9') return std::nullopt;
    digits.push_back(static_cast<char>(c));
  }
  int64_t n = 0;
  const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (r.ec != std::errc()) return std::nullopt;  // beyond 64 bits
  return n;
}

}  // namespace wq::presence
