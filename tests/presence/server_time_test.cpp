// Formatting the server's clock and telling a date from anything else.
#include "presence/server_time.h"

#include <gtest/gtest.h>

#include "platform/error.h"

namespace wq::presence {
namespace {

Text Fmt(int y, int mo, int d, int h, int mi, int s) {
  return FormatServerTime(db::Value(db::DateTime{y, mo, d, h, mi, s}));
}

TEST(FormatServerTime, DateTimesUseTheShortPattern) {
  EXPECT_EQ(Fmt(2026, 3, 7, 9, 5, 2), u"2026-3-7 9:05:02");
  EXPECT_EQ(Fmt(2026, 12, 31, 23, 59, 59), u"2026-12-31 23:59:59");
  EXPECT_EQ(Fmt(2026, 1, 1, 0, 0, 0), u"2026-1-1 0:00:00");
  EXPECT_EQ(Fmt(987, 6, 5, 4, 3, 2), u"0987-6-5 4:03:02");
}

TEST(FormatServerTime, TextsThatReadAsDatesAreFormatted) {
  EXPECT_EQ(FormatServerTime(db::Value(u"2026-03-07 09:05:02")), u"2026-3-7 9:05:02");
  EXPECT_EQ(FormatServerTime(db::Value(u"2026-03-07 09:05:02.997")), u"2026-3-7 9:05:02");
  EXPECT_EQ(FormatServerTime(db::Value(u"2026/12/31")), u"2026-12-31 0:00:00");
}

TEST(FormatServerTime, JunkPassesThroughAndNullFails) {
  EXPECT_EQ(FormatServerTime(db::Value(u"tomorrow")), u"tomorrow");
  EXPECT_EQ(FormatServerTime(db::Value(u"")), u"");
  EXPECT_EQ(FormatServerTime(db::Value(u"2026-02-30 10:00:00")), u"2026-02-30 10:00:00");
  EXPECT_EQ(FormatServerTime(db::Value(int64_t{46088})), u"46088");
  EXPECT_EQ(FormatServerTime(db::Value(1.5)), u"1.5");
  try {
    FormatServerTime(db::Value(db::Null{}));
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kInvalidUseOfNull);
  }
}

TEST(IsDate, AcceptsDatesWithOptionalTimes) {
  for (const char16_t* t : {u"2026-3-7 9:05:02", u"2026-03-07 09:05:02", u"2026-3-7", u"2026/3/7",
                            u"2026-3-7 9:05", u"2026-3-7 23:59:59.123456789", u"2024-2-29",
                            u"2000-2-29 0:00", u"0001-1-1", u"9999-12-31 23:59:59"}) {
    EXPECT_TRUE(IsDate(t)) << ToUtf8(t);
  }
}

TEST(IsDate, RejectsAnythingElse) {
  const Text nul = Text(u"2026-3-7") + u'\0';
  for (const Text& t : std::vector<Text>{u"",
                                         u" ",
                                         u"never",
                                         u"2026-2-29",
                                         u"1900-2-29",
                                         u"2026-13-1",
                                         u"2026-0-1",
                                         u"2026-1-0",
                                         u"2026-1-32",
                                         u"2026-4-31",
                                         u"0000-1-1",
                                         u"26-3-7",
                                         u"20260-3-7",
                                         u"2026-003-7",
                                         u"2026-3-7 24:00",
                                         u"2026-3-7 23:60",
                                         u"2026-3-7 23:59:60",
                                         u"2026-3-7 9:5",
                                         u"2026-3-7 9",
                                         u"2026-3-7 9:",
                                         u"2026-3-7 9:05:",
                                         u"2026-3-7 9:05:2",
                                         u"2026-3-7 9:05:02.",
                                         u"2026-3-7 9:05:02.1234567890",
                                         u"2026-3-7 9:05:02 AM",
                                         u"2026-3/7",
                                         u"2026.3.7",
                                         u"2026-3-7T09:05:02",
                                         u"2026-3-7  9:05",
                                         u" 2026-3-7",
                                         u"2026-3-7 ",
                                         nul,
                                         u"２０２６-3-7",
                                         u"-2026-3-7",
                                         u"+2026-3-7",
                                         u"2026--3-7",
                                         u"2026-3-7 9:05:02Z",
                                         u"2026-3-7 -1:05",
                                         u"99999999999999999999-1-1",
                                         u"2026-3-7\r\n"}) {
    EXPECT_FALSE(IsDate(t)) << ToUtf8(t);
  }
}

TEST(IsDate, EveryFormattedDatePassesAndReadsBack) {
  const int kLastDay[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int kLeapYears[] = {4, 1896, 2000, 2024, 9996};
  const int kPlainYears[] = {1, 1900, 2026, 2100, 9999};
  for (const int* years : {kLeapYears, kPlainYears}) {
    for (int k = 0; k < 5; ++k) {
      const int y = years[k];
      for (int m = 1; m <= 12; ++m) {
        const int last = kLastDay[m - 1] + (m == 2 && years == kLeapYears ? 1 : 0);
        for (int d : {1, 10, last}) {
          for (int h : {0, 9, 23}) {
            const db::DateTime when{y, m, d, h, h * 2 + 13, 59 - h};
            const Text t = FormatServerTime(db::Value(when));
            EXPECT_LE(t.size(), 19u);
            EXPECT_EQ(ParseDate(t), when) << ToUtf8(t);
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace wq::presence
