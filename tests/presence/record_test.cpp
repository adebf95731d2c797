// The presence record format: marker, sealing, how a stored record is classified, and ids.
#include "presence/record.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "presence/module_state.h"
#include "presence/record_id.h"

namespace wq::presence {
namespace {

TEST(PresenceRecord, MarkerAndSealMatchReferenceValues) {
  // Python: hashlib.md5(b"PresenceLedgerSeal"), and RC4 keyed with the same bytes.
  EXPECT_EQ(PresenceMarker(), u"7dcf6b01b0e2335121eafa2ea0211819");
  EXPECT_EQ(SealPayload(u"PC-7,2026-3-7 9:05:02"), u"478434DC0A14D1EB2EC2DE689D3DBA93ECABA88507");
  // Every call starts a fresh keystream.
  EXPECT_EQ(SealPayload(u"PC-7,2026-3-7 9:05:02"), SealPayload(u"PC-7,2026-3-7 9:05:02"));
}

TEST(PresenceRecord, UnsealUndoesSealAndRejectsBadHex) {
  const Text payload = MakePayload(u"PC-7", u"");
  EXPECT_EQ(payload, u"PC-7,");
  EXPECT_EQ(UnsealPayload(SealPayload(payload)), payload);
  EXPECT_EQ(UnsealPayload(u"478434dc0a14d1eb2ec2de689d3dba93ecaba88507"), u"PC-7,2026-3-7 9:05:02");
  for (const Text& bad : {Text(u""), Text(u"ABC"), Text(u"ZZ"), Text(u"4 84")}) {
    EXPECT_THROW(UnsealPayload(bad), Error) << ToUtf8(bad);
  }
}

struct Case {
  db::Value option;
  RecordKind kind;
  const char16_t* workstation;
  const char16_t* time;
};

TEST(PresenceRecord, ClassifiesEveryStoredForm) {
  const auto seal = [](const char16_t* p) { return db::Value(SealPayload(p)); };
  const std::vector<Case> cases = {
      {seal(u"PC-7,2026-3-7 9:05:02"), RecordKind::kOwn, u"PC-7", u"2026-3-7 9:05:02"},
      {seal(u"pc-7,"), RecordKind::kOwn, u"pc-7", u""},
      {seal(u"PC-7 ,2026-3-7"), RecordKind::kLive, u"PC-7 ", u"2026-3-7"},
      {seal(u"PC-3,2026-3-7 9:05:02,x,y"), RecordKind::kLive, u"PC-3", u"2026-3-7 9:05:02"},
      {seal(u"PC-3,"), RecordKind::kDamaged, u"PC-3", u""},
      {seal(u",2026-3-7"), RecordKind::kLive, u"", u"2026-3-7"},
      {seal(u"PC-3,never"), RecordKind::kDamaged, u"PC-3", u"never"},
      {seal(u"PC-3,,2026-3-7"), RecordKind::kDamaged, u"PC-3", u""},
      {seal(u","), RecordKind::kDamaged, u"", u""},
      // Payloads of 16 bytes and more: commas and non-ASCII bytes in the last, partial block.
      {seal(u"ABCDEFGHIJKLMNOP,"), RecordKind::kDamaged, u"ABCDEFGHIJKLMNOP", u""},
      {seal(u"ABCDEFGHIJ,2026-3-7,x"), RecordKind::kLive, u"ABCDEFGHIJ", u"2026-3-7"},
      {seal(u"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345,2026-3-7,x"), RecordKind::kLive,
       u"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", u"2026-3-7"},
      {seal(u"PC-3,2026-3-7 9:05:02é"), RecordKind::kDamaged, u"PC-3", u"2026-3-7 9:05:02é"},
      {seal(u"PC-3 2026-3-7"), RecordKind::kUnreadable, nullptr, nullptr},
      {db::Value(db::Null{}), RecordKind::kUnreadable, nullptr, nullptr},
      {db::Value(int64_t{4784}), RecordKind::kUnreadable, nullptr, nullptr},
      {db::Value(u""), RecordKind::kUnreadable, nullptr, nullptr},
      {db::Value(u"478"), RecordKind::kUnreadable, nullptr, nullptr},
      {db::Value(u"47GG"), RecordKind::kUnreadable, nullptr, nullptr},
      {db::Value(u"47 4"), RecordKind::kUnreadable, nullptr, nullptr},
  };
  RecordReader reader;  // one reader for all: nothing may leak from one record to the next
  for (const Case& c : cases) {
    const RecordKind kind = reader.Classify(c.option, u"PC-7");
    EXPECT_EQ(KindName(kind), std::string(KindName(c.kind)));
    if (c.workstation != nullptr) {
      EXPECT_EQ(reader.workstation(), TextView(c.workstation));
      EXPECT_EQ(reader.time(), TextView(c.time));
    } else {
      EXPECT_FALSE(reader.problem().empty());
    }
  }
  // Without a workstation name no record is anybody's own.
  EXPECT_EQ(reader.Classify(cases[0].option, std::nullopt), RecordKind::kLive);
  EXPECT_EQ(reader.Classify(cases[1].option, std::nullopt), RecordKind::kDamaged);
}

TEST(PresenceRecord, WholeNumberIsTheUpdatesRuleForIds) {
  EXPECT_EQ(WholeNumber(db::Value(int64_t{-4})), -4);
  EXPECT_EQ(WholeNumber(db::Value(12.0)), 12);
  EXPECT_EQ(WholeNumber(db::Value(u"007")), 7);
  EXPECT_EQ(WholeNumber(db::Value(u"9223372036854775807")), INT64_MAX);  // 19 digits
  for (const db::Value& bad :
       {db::Value(12.5), db::Value(1e19), db::Value(u"9223372036854775808"), db::Value(u""),
        db::Value(u"-1"), db::Value(u" 1"), db::Value(u"1 OR 1=1"), db::Value(db::Null{})}) {
    EXPECT_FALSE(WholeNumber(bad).has_value());
  }
}

}  // namespace
}  // namespace wq::presence
