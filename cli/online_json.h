// The online snapshot as the web page's JSON endpoint serves it.
#pragma once

#include <string>

#include "presence/online.h"

namespace wq::cli {

// {"serverTime": T, "serverTimeIso": T|null, "modules": [{"module": M, "records": [R, ...]}],
//  "damaged": N, "unreadable": N}, each record R as `list --json` shows it (RecordJson).
// '<', '>' and '&' are written as \u escapes, so the text never reads as HTML.
std::string OnlineJson(const presence::OnlineSnapshot& snapshot);

// {"error": TEXT}, escaped the same way.
std::string ErrorJson(const std::string& utf8Message);

}  // namespace wq::cli
