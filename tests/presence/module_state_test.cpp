// The per-thread workstation name and shared cipher.
#include "presence/module_state.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/presence/fake_env.h"

namespace wq::presence {
namespace {

using testing::FakeEnv;
using testing::OnFreshThread;
using testing::ScopedEnv;

class ModuleState : public ::testing::Test {
 protected:
  Text NameOnFreshThread() {
    return OnFreshThread([] { return WorkstationName(); });
  }
  FakeEnv env_;
  ScopedEnv scoped_{&env_};
};

TEST_F(ModuleState, NameIsUpperCasedAndKeptWhole) {
  env_.SetName(u"pc-7");
  EXPECT_EQ(NameOnFreshThread(), u"PC-7");
  env_.SetName(u"abcdefghijklmno");  // 15 bytes, the most there is room for
  EXPECT_EQ(NameOnFreshThread(), u"ABCDEFGHIJKLMNO");
  env_.SetName(u"  ws 1");  // blanks before the name go, inner ones stay
  EXPECT_EQ(NameOnFreshThread(), u"WS 1");
}

TEST_F(ModuleState, EmptyOrUnreadableNameIsAnErrorAndIsReadAgain) {
  for (std::optional<std::string> bytes :
       {std::optional<std::string>(), std::optional<std::string>(""),
        std::optional<std::string>("   "), std::optional<std::string>("0123456789abcdef")}) {
    env_.SetNameBytes(bytes);
    const int error = OnFreshThread([] {
      try {
        WorkstationName();
        return 0;
      } catch (const Error& e) {
        return e.number();
      }
    });
    EXPECT_EQ(error, kInvalidProcedureCall);
  }
  // On one thread, a failed read is tried again at the next use.
  env_.SetNameBytes(std::nullopt);
  const Text name = OnFreshThread([this] {
    EXPECT_THROW(WorkstationName(), Error);
    env_.SetName(u"later");
    return WorkstationName();
  });
  EXPECT_EQ(name, u"LATER");
}

TEST_F(ModuleState, EachThreadReadsOnceAndHasItsOwnCipher) {
  env_.SetName(u"first");
  const clsRC4* cipherOfThread1 = nullptr;
  const int readsAfterThread1 = OnFreshThread([&] {
    const Text& a = WorkstationName();
    env_.SetName(u"second");
    EXPECT_EQ(&WorkstationName(), &a);
    EXPECT_EQ(WorkstationName(), u"FIRST");
    cipherOfThread1 = &SharedRC4();
    EXPECT_EQ(&SharedRC4(), cipherOfThread1);
    return env_.reads();
  });
  EXPECT_EQ(readsAfterThread1, 1);
  OnFreshThread([&] {
    EXPECT_EQ(WorkstationName(), u"SECOND");
    EXPECT_EQ(env_.reads(), 2);
    return 0;
  });
}

}  // namespace
}  // namespace wq::presence
