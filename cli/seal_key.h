// The --key option shared by seal and unseal.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "platform/error.h"
#include "platform/text/text.h"
#include "presence/record.h"

namespace wq::cli {

inline CLI::Option* AddKeyOption(CLI::App& command, std::string& key) {
  key = ToUtf8(presence::kPresenceKey);
  return command.add_option("--key", key, "RC4 key text (default: the presence key)");
}

// An empty key would leave the cipher unkeyed, so the text would not be sealed at all.
inline Text KeyText(const std::string& key) {
  if (key.empty()) throw Error::InvalidProcedureCall("the key must not be empty");
  return FromUtf8(key);
}

}  // namespace wq::cli
