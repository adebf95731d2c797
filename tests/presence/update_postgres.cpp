// The presence suite on PostgreSQL through ODBC (the server scripts/test starts).
#include <cstdlib>

#include "tests/presence/presence_suite.h"

namespace wq::testing {

INSTANTIATE_TEST_SUITE_P(Postgres, PresenceUpdate, ::testing::Values(PostgresEngine()), EngineName);

}  // namespace wq::testing
