// The site's settings file (/etc/webquorrel/webquorrel.env): NAME='value' lines that systemd's
// EnvironmentFile= and a POSIX shell's "." both read the same way. The format is deliberately
// narrower than either reader's:
//   - a blank line, or a line whose first non-blank character is '#', says nothing;
//   - NAME=VALUE with NAME of ASCII letters, digits and '_' (not starting with a digit), no
//     blank around '=';
//   - VALUE is either bare, made only of letters, digits and _ . / : , @ % + = -, or enclosed in
//     single quotes and holding anything but a single quote, '$', '\' and a control character;
//     nothing but blanks may follow the closing quote.
// Everything else (double quotes, "export", line continuations, carriage returns, NUL bytes,
// text that is not UTF-8) is refused with the line's number, so that a file cannot mean one thing
// to the units and another to the command.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wq::cli {

struct Setting {
  std::string name;
  std::string value;  // UTF-8
  int line = 0;
};

// The settings in file order (a later line for the same name wins, as with both readers).
// Raises wq::Error (invalid procedure call) naming `where` and the line for a line it refuses;
// the message never quotes a value, which may be a password.
std::vector<Setting> ParseSettings(std::string_view text, const std::string& where);

}  // namespace wq::cli
