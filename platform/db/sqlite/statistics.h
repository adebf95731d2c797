// How much work this process's SQLite statements have done, for tests and benchmarks that check
// that an operation does not read a table's rows.
#pragma once

#include <cstdint>

namespace wq::db::sqlite {

// The virtual machine steps run by every statement finalized so far. Reading a row takes
// several steps, so scanning a table of n rows adds at least n.
uint64_t VmSteps();

}  // namespace wq::db::sqlite
