// Distances between clock readings, the calendar check, and the durations operators type.
#include "presence/age.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>

#include "platform/db/date_time.h"
#include "platform/error.h"

namespace wq::presence {
namespace {

using db::AddSeconds;
using db::DateTime;
using db::SecondsBetween;

TEST(RecordAge, SecondsCrossDaysMonthsLeapYearsAndCenturies) {
  EXPECT_EQ(SecondsBetween({2026, 3, 7, 9, 5, 2}, {2026, 3, 7, 9, 5, 2}), 0);
  EXPECT_EQ(SecondsBetween({2026, 3, 7, 23, 59, 59}, {2026, 3, 8, 0, 0, 0}), 1);
  EXPECT_EQ(SecondsBetween({2024, 2, 28, 0, 0, 0}, {2024, 3, 1, 0, 0, 0}), 2 * 86400);
  EXPECT_EQ(SecondsBetween({2100, 2, 28, 0, 0, 0}, {2100, 3, 1, 0, 0, 0}), 86400);
  EXPECT_EQ(SecondsBetween({2000, 2, 28, 0, 0, 0}, {2000, 3, 1, 0, 0, 0}), 2 * 86400);
  EXPECT_EQ(SecondsBetween({2026, 12, 31, 23, 0, 0}, {2027, 1, 1, 1, 0, 0}), 7200);
  EXPECT_EQ(SecondsBetween({2027, 1, 1, 1, 0, 0}, {2026, 12, 31, 23, 0, 0}), -7200);
  EXPECT_EQ(SecondsBetween({1, 1, 1, 0, 0, 0}, {9999, 12, 31, 23, 59, 59}), 315537897599);
}

TEST(RecordAge, AddSecondsIsTheInverse) {
  const DateTime start{2024, 2, 28, 23, 59, 30};
  for (int64_t s : {0LL, 29LL, 30LL, 86400LL, -86400LL, -1LL, 366LL * 86400, -40000000000LL}) {
    const DateTime t = AddSeconds(start, s);
    EXPECT_EQ(SecondsBetween(start, t), s) << s;
  }
  EXPECT_EQ(AddSeconds(start, 30), (DateTime{2024, 2, 29, 0, 0, 0}));
  EXPECT_EQ(AddSeconds({2026, 1, 1, 0, 0, 0}, -1), (DateTime{2025, 12, 31, 23, 59, 59}));
}

TEST(RecordAge, OnlyDaysThatExistAreValid) {
  EXPECT_TRUE(db::IsValidDateTime({2024, 2, 29, 23, 59, 59}));
  EXPECT_TRUE(db::IsValidDateTime({2000, 2, 29, 0, 0, 0}));
  EXPECT_TRUE(db::IsValidDateTime({9999, 12, 31, 0, 0, 0}));
  for (const DateTime& bad : {DateTime{2100, 2, 29, 0, 0, 0}, DateTime{2026, 4, 31, 0, 0, 0},
                              DateTime{2026, 13, 1, 0, 0, 0}, DateTime{2026, 1, 257, 0, 0, 0},
                              DateTime{2026, 257, 1, 0, 0, 0}, DateTime{0, 1, 1, 0, 0, 0},
                              DateTime{10000, 1, 1, 0, 0, 0}, DateTime{2026, 1, 1, 24, 0, 0},
                              DateTime{2026, 1, 1, 0, 60, 0}, DateTime{2026, 1, 1, 0, 0, -1}}) {
    EXPECT_FALSE(db::IsValidDateTime(bad)) << bad.year << "-" << bad.month << "-" << bad.day;
  }
}

TEST(Duration, UnitsAreSecondsMinutesHoursDays) {
  EXPECT_EQ(ParseDuration("90s"), 90);
  EXPECT_EQ(ParseDuration("10m"), 600);
  EXPECT_EQ(ParseDuration("2h"), 7200);
  EXPECT_EQ(ParseDuration("1d"), 86400);
  EXPECT_EQ(ParseDuration("007m"), 420);
  EXPECT_EQ(ParseDuration("36600d"), 36600LL * 86400);
}

TEST(Duration, AnythingElseIsRefused) {
  for (const char* text : {"", "s", "10", "0s", "00m", "-5m", "+5m", "1.5h", "10x", "10M", "1d2h",
                           " 1d", "1d ", "1 d", "1e3s", "٣s", "10m\n"}) {
    EXPECT_THROW(ParseDuration(text), Error) << text;
  }
  try {
    ParseDuration("99999999999999999999999d");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kOverflow);
  }
  EXPECT_THROW(ParseDuration("36700d"), Error);
  EXPECT_THROW(ParseDuration("9223372036854775807s"), Error);
}

// A zone that is `standard` seconds ahead of UTC, and `summer` from the instant `spring` (Unix
// seconds) to the instant `autumn`: the injected clock of the tests below.
struct TwoOffsets {
  int64_t standard, summer, spring, autumn;
  int64_t operator()(int64_t t) const { return t >= spring && t < autumn ? summer : standard; }
};

int64_t Utc(const DateTime& t) { return db::SecondsSinceEpoch(t); }

// 2026 in Berlin: 02:00 -> 03:00 on March 29 (01:00 UTC), 03:00 -> 02:00 on October 25.
const TwoOffsets kBerlin{3600, 7200, Utc({2026, 3, 29, 1, 0, 0}), Utc({2026, 10, 25, 1, 0, 0})};
// 2026 in New York: 02:00 -> 03:00 on March 8 (07:00 UTC), 02:00 -> 01:00 on November 1.
const TwoOffsets kNewYork{-5 * 3600, -4 * 3600, Utc({2026, 3, 8, 7, 0, 0}),
                          Utc({2026, 11, 1, 6, 0, 0})};

struct DstCase {
  const char* what;
  const TwoOffsets* zone;
  DateTime when, now;
  int64_t leastAge;
};

TEST(RecordAge, LeastAgeHoldsUnderEveryReadingAcrossOffsetChanges) {
  const DstCase cases[] = {
      // Spring: the hour after the jump looks an hour older than it is.
      {"Berlin, stamped just before the jump", &kBerlin, {2026, 3, 29, 1, 59, 0}, {2026, 3, 29, 3, 1, 0}, 120},
      {"Berlin, stamped 21 min before", &kBerlin, {2026, 3, 29, 1, 40, 0}, {2026, 3, 29, 3, 1, 0}, 1260},
      {"Berlin, a skipped reading", &kBerlin, {2026, 3, 29, 2, 30, 0}, {2026, 3, 29, 3, 5, 0}, -1500},
      {"New York, stamped just before the jump", &kNewYork, {2026, 3, 8, 1, 58, 0}, {2026, 3, 8, 3, 0, 30}, 150},
      // Autumn: the repeated hour may be either pass.
      {"Berlin, both in the repeated hour", &kBerlin, {2026, 10, 25, 2, 30, 0}, {2026, 10, 25, 2, 50, 0}, -2400},
      {"Berlin, now in the repeated hour", &kBerlin, {2026, 10, 25, 1, 50, 0}, {2026, 10, 25, 2, 20, 0}, 1800},
      {"Berlin, later pass looks earlier", &kBerlin, {2026, 10, 25, 2, 55, 0}, {2026, 10, 25, 2, 10, 0}, -6300},
      {"New York, stamped in the repeated hour", &kNewYork, {2026, 11, 1, 1, 45, 0}, {2026, 11, 1, 2, 5, 0}, 1200},
      // Far from a change, the plain difference.
      {"Berlin, summer", &kBerlin, {2026, 7, 1, 9, 0, 0}, {2026, 7, 1, 9, 11, 0}, 660},
      {"New York, winter", &kNewYork, {2026, 12, 31, 23, 55, 0}, {2027, 1, 1, 0, 5, 0}, 600},
  };
  for (const DstCase& c : cases) {
    EXPECT_EQ(LeastAge(c.when, c.now, *c.zone), c.leastAge) << c.what;
    // Never more than the plain difference, so nothing the plain reading keeps is pruned.
    EXPECT_LE(LeastAge(c.when, c.now, *c.zone), SecondsBetween(c.when, c.now)) << c.what;
  }
}

// The machine's zone as the C library reads it agrees with the injected clocks above.
TEST(RecordAge, LocalOffsetFollowsTheZoneDatabase) {
  const char* saved = std::getenv("TZ");
  const std::string before = saved ? saved : "";
  for (auto [name, zone] : {std::pair{"Europe/Berlin", &kBerlin}, {"America/New_York", &kNewYork}}) {
    setenv("TZ", name, 1);
    tzset();
    for (int64_t t : {zone->spring - 1, zone->spring, zone->autumn - 1, zone->autumn,
                      Utc({2026, 7, 1, 0, 0, 0})}) {
      EXPECT_EQ(db::LocalUtcOffset(t), (*zone)(t)) << name << " at " << t;
    }
  }
  if (saved) {
    setenv("TZ", before.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

}  // namespace
}  // namespace wq::presence
