// The maintenance suite on PostgreSQL through ODBC (the server scripts/test starts).
#include "tests/presence/maintenance_suite.h"

namespace wq::testing {

INSTANTIATE_TEST_SUITE_P(Postgres, PresenceMaintenance, ::testing::Values(PostgresEngine()),
                         EngineName);

}  // namespace wq::testing
