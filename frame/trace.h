// The failure trace: a failed UpdateOnlineState still answers 0 and says nothing to the host, but
// leaves one line where administrators look. On Windows the line goes to the debugger
// (OutputDebugStringW, read with DebugView); on every platform it is also appended to the trace
// file when one is configured: WEBQUORREL_TRACE, else (Windows) the registry value
// HKLM\SOFTWARE\webQuorrel\TraceFile. The file is rotated once (file -> file.1) at 1 MiB.
#pragma once

#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/text/text.h"

namespace wq::frame {

// The size at which the trace file is moved to "<file>.1" before the next line.
constexpr uint64_t kTraceFileLimit = 1024 * 1024;

// "UpdateOnlineState failed in step 'open': error N: description (SQLSTATE S, native code N)"
// on one line, every password value of the connection string masked.
std::string DescribeFailure(const Error& error, std::string_view step,
                            const Text& connectionString);

// Sends the failure's line to the debugger and the trace file. Never throws, and a trace that
// cannot be written is dropped without a word.
void TraceFailure(const Error& error, std::string_view step, const Text& connectionString) noexcept;

}  // namespace wq::frame
