// Where the command's settings come from, highest first: its options, the environment, then the
// settings file (--config PATH, else the site's file that the systemd units read too). Loading the
// file puts the names it sets that the environment lacks into the environment, so every reader of
// WEBQUORREL_CONN and the others sees one answer; Origin says which one it was.
#pragma once

#include <optional>
#include <string>

namespace wq::cli {

// The site's settings file, the one the systemd units read; empty where there is none (Windows).
const std::string& DefaultSettingsPath();

// Reads the settings file once: `path` when given (it must exist and be readable), else the
// default one (which may be absent; when it cannot be read this is remembered for
// DescribeRegister, not raised). Raises wq::Error for a malformed file; FileAccessError when
// the named file cannot be read.
void LoadSettings(const std::optional<std::string>& path);

// "the environment", "<file>" or "" (not set) for an environment variable after LoadSettings.
std::string Origin(const char* name);

// One line naming the register that a command with this --conn works on and where that choice
// came from, for `list`, `doctor` and --verbose. Passwords are masked.
std::string DescribeRegister(const std::optional<std::string>& conn);

// Whether --verbose was given: error numbers and their names are shown, and every command that
// opens the register first says which one on stderr.
bool Verbose();
void SetVerbose(bool on);

}  // namespace wq::cli
