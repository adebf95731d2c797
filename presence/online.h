// Who is online, grouped by module, with the age of each record by the server's clock: what the
// web page and its JSON endpoint show.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/text/text.h"
#include "presence/presence_rows.h"

namespace wq::presence {

struct OnlineEntry {
  PresenceRow row;                    // a live record
  std::optional<int64_t> ageSeconds;  // none when the server time text is not a date
};

struct OnlineModule {
  Text module;
  std::vector<OnlineEntry> entries;  // by upper-cased workstation name, then ssID
};

struct OnlineSnapshot {
  Text serverTime;
  std::vector<OnlineModule> modules;  // by module text
  int64_t damaged = 0;                // records not shown: time text not a date
  int64_t unreadable = 0;             // records not shown: payload unreadable
};

// Reads the server time and every presence record over a connection of its own.
OnlineSnapshot ReadOnline(const Text& connectionString);

}  // namespace wq::presence
