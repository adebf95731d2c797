// The Linux environment: computer name and message notifier.
#include "platform/env/env.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace wq {
namespace {

class ComputerName : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv("WEBQUORREL_COMPUTERNAME"); }
  // The name written into a buffer of that size, or nullopt when the call fails.
  static std::optional<std::string> Read(uint32_t size = 16) {
    std::string buf(size + 4, '#');
    if (!Env::Default().GetComputerNameA(buf.data(), size)) {
      EXPECT_EQ(buf, std::string(size + 4, '#'));  // untouched on failure
      return std::nullopt;
    }
    EXPECT_EQ(buf[size], '#');  // nothing written past the buffer
    const auto nul = buf.find('\0');
    EXPECT_LT(nul, size);
    return buf.substr(0, nul);
  }
};

TEST_F(ComputerName, OverrideIsUsedAsGivenAndCutTo15Bytes) {
  setenv("WEBQUORREL_COMPUTERNAME", "pc-7", 1);
  EXPECT_EQ(Read(), "pc-7");
  setenv("WEBQUORREL_COMPUTERNAME", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 1);
  EXPECT_EQ(Read(), "ABCDEFGHIJKLMNO");
  EXPECT_EQ(Read(5), std::nullopt);  // no room for the name and its NUL
  EXPECT_EQ(Read(0), std::nullopt);
}

TEST_F(ComputerName, WithoutOverrideTheHostNameIsUsed) {
  setenv("WEBQUORREL_COMPUTERNAME", "", 1);  // empty counts as unset
  char host[HOST_NAME_MAX + 1] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  std::string expected(host);
  expected = expected.substr(0, expected.find('.')).substr(0, 15);
  for (char& c : expected) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(Read(), expected);
}

TEST(EnvMessage, GoesToTheNotifierOrStderr) {
  std::vector<Text> seen;
  SetMessageNotifier([&](const Text& m) { seen.push_back(m); });
  Env::Default().ShowMessage(u"a\r\nb");
  SetMessageNotifier(nullptr);
  EXPECT_EQ(seen, std::vector<Text>{u"a\r\nb"});

  ::testing::internal::CaptureStderr();
  Env::Default().ShowMessage(u"时间");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "时间\n");
}

TEST(EnvDefault, CanBeReplacedAndRestored) {
  struct Quiet : Env {
    bool GetComputerNameA(char*, uint32_t) override { return false; }
    void ShowMessage(const Text&) override {}
  } quiet;
  Env& real = Env::Default();
  Env::SetDefault(&quiet);
  EXPECT_EQ(&Env::Default(), &quiet);
  Env::SetDefault(nullptr);
  EXPECT_EQ(&Env::Default(), &real);
}

}  // namespace
}  // namespace wq
