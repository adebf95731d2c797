// The online snapshot as the web page's JSON endpoint serves it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "presence/online.h"

namespace wq::cli {

// {"serverTime": T, "serverTimeIso": T|null, "modules": [{"module": M, "records": [R, ...]}],
//  "damaged": N, "unreadable": N}, each record R as `list --json` shows it (RecordJson).
// '<', '>' and '&' are written as \u escapes, so the text never reads as HTML. With staleAfter,
// "staleAfterSeconds": N follows: the age beyond which the page marks a record.
std::string OnlineJson(const presence::OnlineSnapshot& snapshot,
                       std::optional<int64_t> staleAfter = std::nullopt);

// {"error": TEXT}, escaped the same way.
std::string ErrorJson(const std::string& utf8Message);

}  // namespace wq::cli
