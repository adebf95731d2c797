// The presence suite on SQLite.
#include "tests/presence/presence_suite.h"

namespace wq::testing {

INSTANTIATE_TEST_SUITE_P(Sqlite, PresenceUpdate, ::testing::Values(SqliteEngine()), EngineName);

}  // namespace wq::testing
