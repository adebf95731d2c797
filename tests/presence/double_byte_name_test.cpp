// Computer names with double-byte characters, in a process whose ANSI code page is CP936.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/env/env.h"
#include "platform/text/ansi.h"
#include "presence/module_state.h"
#include "presence/record.h"
#include "tests/presence/fake_env.h"

namespace wq {
namespace {

// Chosen before anything asks for the process code page.
const bool kCodePageChosen = [] { return setenv("WEBQUORREL_CODEPAGE", "CP936", 1) == 0; }();

TEST(DoubleByteName, EnvCutsWithoutSplittingACharacter) {
  ASSERT_TRUE(kCodePageChosen);
  ASSERT_EQ(AnsiCodePage::Process().Encode(u"工").size(), 2u);
  // 7 characters of two bytes and one of one: 15 bytes, kept whole.
  setenv("WEBQUORREL_COMPUTERNAME", "工作站工作站工A", 1);
  char buf[16];
  ASSERT_TRUE(Env::Default().GetComputerNameA(buf, sizeof buf));
  EXPECT_EQ(AnsiCodePage::Process().Decode(reinterpret_cast<uint8_t*>(buf), std::strlen(buf)),
            u"工作站工作站工A");
  // 8 double-byte characters: the eighth does not fit and is left out whole.
  setenv("WEBQUORREL_COMPUTERNAME", "工作站工作站工作", 1);
  ASSERT_TRUE(Env::Default().GetComputerNameA(buf, sizeof buf));
  EXPECT_EQ(std::strlen(buf), 14u);
  EXPECT_EQ(AnsiCodePage::Process().Decode(reinterpret_cast<uint8_t*>(buf), 14), u"工作站工作站工");
  unsetenv("WEBQUORREL_COMPUTERNAME");
}

TEST(DoubleByteName, WorkstationNameAndPayloadKeepTheCharacters) {
  testing::FakeEnv env;
  testing::ScopedEnv scoped(&env);
  env.SetName(u"工作站-a");
  const Text name = testing::OnFreshThread([] { return presence::WorkstationName(); });
  EXPECT_EQ(name, u"工作站-A");
  const Text payload = presence::MakePayload(name, u"2026-3-7 9:05:02");
  const Text sealed = presence::SealPayload(payload);
  EXPECT_EQ(sealed.size(), 2 * (payload.size() + 3));  // three characters of two bytes
  EXPECT_EQ(presence::UnsealPayload(sealed), payload);

  presence::RecordReader reader;
  EXPECT_EQ(reader.Classify(db::Value(sealed), u"工作站-A"), presence::RecordKind::kOwn);
  EXPECT_EQ(reader.Classify(db::Value(presence::SealPayload(u"PC-1,x")), u"工作站-A"),
            presence::RecordKind::kDamaged);
  EXPECT_EQ(reader.Classify(db::Value(sealed), u"PC-1"), presence::RecordKind::kLive);
  EXPECT_EQ(reader.workstation(), u"工作站-A");
}

}  // namespace
}  // namespace wq
