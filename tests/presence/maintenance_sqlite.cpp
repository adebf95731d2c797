// The maintenance suite on SQLite.
#include "tests/presence/maintenance_suite.h"

namespace wq::testing {

INSTANTIATE_TEST_SUITE_P(Sqlite, PresenceMaintenance, ::testing::Values(SqliteEngine()),
                         EngineName);

}  // namespace wq::testing
