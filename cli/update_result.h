// What the update-running subcommands (update, register, withdraw, agent) share.
#pragma once

#include <optional>
#include <string>

#include "platform/error.h"
#include "presence/update.h"

namespace wq::cli {

// Throws the failure of r (which must have failed), `before` in front of its description, as a
// failure of the register (exit status 1, or 3 for a missing permission); with badInputApart, a
// connection string that cannot be used at all stays bad input (status 2).
[[noreturn]] void ThrowFailureOf(const presence::UpdateResult& r, const std::string& before = {},
                                 bool badInputApart = true);

// Once per process: warns on stderr when the computer name is longer than the 15 characters a
// workstation name holds, since the records then carry the cut name and two machines may share it.
void WarnWhenNameIsCut();

// Runs the update with --conn (or the default register, prepared first); a failure to prepare
// comes back as the result's error.
presence::UpdateResult RunOnRegister(const std::optional<std::string>& conn, int16_t state,
                                     const std::string& module, bool login);

}  // namespace wq::cli
