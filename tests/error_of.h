// The error a statement raises, for tests that check its number or text.
#pragma once

#include "platform/error.h"

namespace wq {

// Runs statement and returns the error it raises; number 0 and an empty text when it raises
// none.
template <typename F>
Error ErrorOf(F&& statement) {
  try {
    statement();
  } catch (const Error& e) {
    return e;
  }
  return Error(0, "");
}

}  // namespace wq
