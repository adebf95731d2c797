// Tests that need PostgreSQL skip where no server was started for them, but fail under
// scripts/test, which always starts one and exports WEBQUORREL_TEST_REQUIRE_PG=1: a server that
// went missing must not let those tests pass quietly.
//   if (!conn) WQ_SKIP_WITHOUT_POSTGRES() << "WEBQUORREL_TEST_PG_CONN is not set";
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace wq::testing {

inline bool PostgresRequired() {
  const char* v = std::getenv("WEBQUORREL_TEST_REQUIRE_PG");
  return v && std::strcmp(v, "1") == 0;
}

}  // namespace wq::testing

#define WQ_SKIP_WITHOUT_POSTGRES()                                         \
  return GTEST_MESSAGE_("", ::wq::testing::PostgresRequired()              \
                                ? ::testing::TestPartResult::kFatalFailure \
                                : ::testing::TestPartResult::kSkip)
