#include "tests/fuzz/fuzz_input.h"

#include <cstdio>
#include <cstdlib>

namespace wq::fuzz {

void Violated(const char* what) {
  std::fprintf(stderr, "property violated: %s\n", what);
  std::abort();
}

}  // namespace wq::fuzz
