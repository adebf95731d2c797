// Internal to the failure trace: what it needs from the machine (trace_win.cpp, trace_posix.cpp).
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/text/text.h"

namespace wq::frame::trace_platform {

// Hands the line to the debugger; nothing where there is none to hand it to.
void ToDebugger(const Text& line) noexcept;

// The configured trace file: WEBQUORREL_TRACE, else the registry value where there is one;
// empty when neither names a file.
Text TraceFile();

uint32_t ProcessId() noexcept;

// Appends line and the platform's line end to path in one write. When the file already holds
// limit bytes or more, it first becomes path + ".1" (replacing an older one); concurrent writers
// rotate it once and lose no line. The file is created readable by its owner only; a link or
// reparse point in its place is not followed, and (Linux) a file of another user or with a
// second name is not written. Returns false when anything failed; then nothing else happens.
bool AppendLine(const Text& path, std::string_view line, uint64_t limit) noexcept;

}  // namespace wq::frame::trace_platform
