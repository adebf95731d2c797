#include "platform/text/ansi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "platform/error.h"

namespace wq {
namespace {

using ByteVector = std::vector<uint8_t>;

TEST(AnsiCp1252, SingleBytesBothWays) {
  const auto cp = AnsiCodePage::Open("CP1252");
  EXPECT_EQ(cp->Encode(u"A€é\u00FF"), ByteVector({0x41, 0x80, 0xE9, 0xFF}));
  EXPECT_EQ(cp->Decode(ByteVector{0x41, 0x80, 0xE9, 0xFF}), u"A€é\u00FF");
  EXPECT_EQ(cp->CharCode(u'€'), 0x80u);
  EXPECT_EQ(cp->CharCode(u'A'), 0x41u);
  // Long pure-ASCII stretches take the fast path; a non-ASCII character inside one does not.
  const Text text = Text(40, u'x') + u"€" + Text(40, u'y');
  ByteVector expected(81, 'x');
  expected[40] = 0x80;
  std::fill(expected.begin() + 41, expected.end(), 'y');
  EXPECT_EQ(cp->Encode(text), expected);
}

TEST(AnsiCp1252, UnrepresentableBecomesQuestionMarkAndUndecodableReplacement) {
  const auto cp = AnsiCodePage::Open("CP1252");
  // One '?' per UTF-16 unit, also for a surrogate pair and lone surrogates.
  EXPECT_EQ(cp->Encode(u"中\U0001F600!"), ByteVector({'?', '?', '?', '!'}));
  EXPECT_EQ(cp->Encode(Text{0xDC00, u'a', 0xD800}), ByteVector({'?', 'a', '?'}));
  EXPECT_EQ(cp->CharCode(u'中'), uint32_t{'?'});
  EXPECT_EQ(cp->Decode(ByteVector{0x81, 'a'}), u"\uFFFDa");
}

TEST(AnsiSingleByte, BulkConversionAgreesWithCharCode) {
  // Every character up to U+02FF in a scrambled order, in blocks that are partly ASCII, partly
  // Latin-1 and partly beyond, for code pages with and without a Latin-1 upper half.
  Text text;
  for (uint32_t k = 0; k < 0x300 * 3; ++k) text.push_back(static_cast<char16_t>(k * 97 % 0x300));
  for (uint32_t k = 0; k < 64; ++k) text.append(Text(15, u'a') + static_cast<char16_t>(0x80 + k));
  for (const char* name : {"CP1252", "ISO-8859-1", "CP437", "KOI8-R"}) {
    const auto cp = AnsiCodePage::Open(name);
    const ByteVector bytes = cp->Encode(text);
    ASSERT_EQ(bytes.size(), text.size());
    std::vector<uint8_t> codes(text.size());
    cp->CodeBytes(text, codes.data());
    EXPECT_EQ(codes, bytes) << name;
    for (size_t k = 0; k < text.size(); ++k) {
      ASSERT_EQ(bytes[k], cp->CharCode(text[k])) << name << " U+" << std::hex << uint32_t{text[k]};
    }
  }
  const auto latin1 = AnsiCodePage::Open("ISO-8859-1");
  EXPECT_EQ(latin1->Encode(u"ÿĀ"), ByteVector({0x80, 0xFF, '?'}));
}

TEST(AnsiCp936, DoubleByteCharactersTakeTwoBytes) {
  const auto cp = AnsiCodePage::Open("CP936");
  const ByteVector bytes = {0xD6, 0xD0, 0xCE, 0xC4, 'a', 'b'};
  EXPECT_EQ(cp->Encode(u"中文ab"), bytes);
  EXPECT_EQ(cp->Decode(bytes), u"中文ab");
  EXPECT_EQ(cp->Encode(Text(u"a\0\x7F", 3)), ByteVector({'a', 0, 0x7F}));  // ASCII alone
  EXPECT_EQ(cp->CharCode(u'中'), 0xD6D0u);
  EXPECT_EQ(cp->CharCode(u'a'), uint32_t{'a'});
  EXPECT_EQ(cp->Encode(u"中\u0E01\U0001F600"), ByteVector({0xD6, 0xD0, '?', '?', '?'}));
  uint8_t codes[2];
  cp->CodeBytes(u"中a", codes);
  EXPECT_EQ(ByteVector(codes, codes + 2), ByteVector({0xD0, 'a'}));
}

TEST(AnsiCp936, BrokenSequencesDecodeWithoutLoss) {
  const auto cp = AnsiCodePage::Open("CP936");
  EXPECT_EQ(cp->Decode(ByteVector{'a', 0xD6}), u"a\uFFFD");  // lead byte at the end
  EXPECT_EQ(cp->Decode(ByteVector{0xFF, 'b'}), u"\uFFFDb");
  // Arbitrary bytes never fail and always give something back.
  ByteVector noise;
  for (int k = 0; k < 4096; ++k) noise.push_back(static_cast<uint8_t>(k * 37 + k / 256));
  EXPECT_FALSE(cp->Decode(noise).empty());
}

TEST(AnsiUtf8, MultiByteCodes) {
  const auto cp = AnsiCodePage::Open("UTF-8");
  EXPECT_EQ(cp->Encode(u"é中"), ByteVector({0xC3, 0xA9, 0xE4, 0xB8, 0xAD}));
  EXPECT_EQ(cp->Decode(ByteVector{0xC3, 0xA9, 0xC3}), u"é\uFFFD");
  EXPECT_EQ(cp->CharCode(u'é'), 0xC3A9u);
}

TEST(AnsiOpen, UnknownOrUnsuitableNamesAreErrors) {
  for (const char* name : {"NO-SUCH-CODEPAGE", "", "UTF-16", "CP1252//TRANSLIT"}) {
    try {
      AnsiCodePage::Open(name);
      ADD_FAILURE() << name;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kInvalidProcedureCall);
      EXPECT_NE(std::string(e.what()).find(std::string("\"") + name + "\""), std::string::npos)
          << e.what();
    }
  }
}

TEST(AnsiOpen, ConcurrentMultiByteConversionsAgree) {
  const auto cp = AnsiCodePage::Open("CP936");
  const Text text = u"工作站 PC-7,2024-1-2 3:04:05";
  const ByteVector expected = cp->Encode(text);
  std::vector<std::thread> threads;
  std::atomic<int> mismatches{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int k = 0; k < 500; ++k) {
        if (cp->Encode(text) != expected || cp->Decode(expected) != text) ++mismatches;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches, 0);
}

// The process code page is chosen once per process, so each case runs in a fresh one.
class AnsiProcess : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

void ExpectProcessCodePage(const char* configured, const char* locale, const char* expected) {
  if (configured) {
    setenv("WEBQUORREL_CODEPAGE", configured, 1);
  } else {
    unsetenv("WEBQUORREL_CODEPAGE");
  }
  setenv("LC_ALL", locale, 1);
  std::string name;
  try {
    name = AnsiCodePage::Process().name();
  } catch (const Error& e) {
    // Chosen once: a failing choice fails again the same way.
    try {
      AnsiCodePage::Process();
    } catch (const Error& again) {
      name = std::string(e.what()) == again.what() ? "error " + std::to_string(e.number()) : "";
    }
  }
  std::exit(name == expected ? 0 : 1);
}

TEST_F(AnsiProcess, ConfiguredNameWins) {
  EXPECT_EXIT(ExpectProcessCodePage("CP936", "C.UTF-8", "CP936"), testing::ExitedWithCode(0), "");
}

TEST_F(AnsiProcess, UnknownConfiguredNameIsAnError) {
  EXPECT_EXIT(ExpectProcessCodePage("BOGUS", "C", "error 5"), testing::ExitedWithCode(0), "");
}

TEST_F(AnsiProcess, LocaleDecidesOtherwise) {
  EXPECT_EXIT(ExpectProcessCodePage(nullptr, "C", "CP1252"), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ExpectProcessCodePage(nullptr, "C.UTF-8", "UTF-8"), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace wq
