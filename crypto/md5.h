// MD5 (RFC 1321) of a text, one message byte per character (its ANSI code page code).
#pragma once

#include "platform/text/ansi.h"
#include "platform/text/text.h"

namespace wq {

// 32 lower-case hex digits. A character whose code takes two bytes contributes its low byte.
Text MD5Digest(TextView text, const AnsiCodePage& codePage = AnsiCodePage::Process());

}  // namespace wq
