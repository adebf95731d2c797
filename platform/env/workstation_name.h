// The workstation name: the one reading of the computer name that records and traces carry.
#pragma once

#include "platform/env/env.h"
#include "platform/text/text.h"

namespace wq {

// The computer name as a 16-byte buffer in the ANSI code page gives it: blanks around the name
// trimmed, one trailing NUL removed, upper-cased. Raises invalid procedure call when nothing is
// left (the call failed, or the name is blank).
Text ReadWorkstationName(Env& env);

}  // namespace wq
