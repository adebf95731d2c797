// A stand-in for the method body (frame/method_body.h), the presence update, for testing the
// frame alone. It answers with a checksum of its arguments, so that a caller that only sees the
// result can still tell exactly which arguments arrived, and it keeps the last call's arguments
// for in-process tests.
#pragma once

#include <cstdint>

#include "platform/text/text.h"

namespace wq::presence::stub {

struct Call {
  Text conn;
  int16_t self_state = 0;
  Text mod_name;
  bool mod_login = false;
  int calls = 0;  // how many calls so far
};

// The last call's arguments on this process.
const Call& LastCall();

// The checksum the stub returns: FNV-1a (32 bits) over the connection string's UTF-16 units,
// a 0xFFFF separator, SelfState's two bytes, the module name's units, a 0xFFFF separator and
// ModLogin as 1 or 0, with the top bit cleared. The C host computes the same.
int32_t Checksum(const Text& conn, int16_t self_state, const Text& mod_name, bool mod_login);

}  // namespace wq::presence::stub
