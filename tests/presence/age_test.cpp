// Distances between clock readings, the calendar check, and the durations operators type.
#include "presence/age.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace wq::presence
