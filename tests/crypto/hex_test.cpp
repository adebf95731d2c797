#include "crypto/hex.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/error.h"
#include "tests/error_of.h"

namespace wq {
namespace {

using ByteVector = std::vector<uint8_t>;

TEST(ByteArrayToHex, WritesTwoUpperCaseDigitsPerByte) {
  EXPECT_EQ(ByteArrayToHex(ByteVector{0, 15, 160, 255}), u"000FA0FF");
  EXPECT_EQ(ByteArrayToHex(ByteVector{7}), u"07");
  EXPECT_EQ(ByteArrayToHex(ByteVector{0}), u"00");
  EXPECT_EQ(ByteArrayToHex(ByteVector{}), u"");
  EXPECT_EQ(ErrorOf([] { ByteArrayToHex(std::nullopt); }).number(), kSubscriptOutOfRange);
}

TEST(HexToByteArray, DecodesEitherCaseAndReplacesTheArray) {
  ByteArray array = ByteVector{9, 9, 9, 9, 9, 9};
  HexToByteArray(u"000FA0FF", array);
  EXPECT_EQ(array, ByteVector({0, 15, 160, 255}));
  HexToByteArray(u"0fa0", array);
  EXPECT_EQ(array, ByteVector({15, 160}));
  ByteArray none;
  HexToByteArray(u"Ff", none);
  EXPECT_EQ(none, ByteVector({255}));
}

TEST(HexToByteArray, RoundTripsEveryLength) {
  std::mt19937 rng(7);
  for (size_t size = 1; size < 300; size += 7) {
    ByteVector bytes(size);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    ByteArray back;
    HexToByteArray(ByteArrayToHex(bytes), back);
    EXPECT_EQ(back, bytes);
  }
}

TEST(HexToByteArray, BadPairKeepsEarlierPairsAndTheNewSize) {
  ByteArray array = ByteVector{1, 2, 3, 4, 5};
  EXPECT_EQ(ErrorOf([&] { HexToByteArray(u"12G4", array); }).number(), kTypeMismatch);
  EXPECT_EQ(array, ByteVector({0x12, 0}));
}

TEST(HexToByteArray, EmptyOrOddTextIsRejectedBeforeDecoding) {
  for (const Text text : {u"", u"1", u"123", u"12345", u"0FA"}) {
    ByteArray array = ByteVector{1, 2};
    EXPECT_EQ(ErrorOf([&] { HexToByteArray(text, array); }).number(), kSubscriptOutOfRange)
        << ToUtf8(text);
    EXPECT_EQ(array, ByteVector({1, 2}));
    ByteArray none;
    EXPECT_EQ(ErrorOf([&] { HexToByteArray(text, none); }).number(), kSubscriptOutOfRange);
    EXPECT_FALSE(none.has_value());
  }
}

TEST(HexToByteArray, RejectsAnythingButAsciiHexDigits) {
  const Text hostile[] = {
      u"0x",           u" 1", u"1 ", u"+1", u"-1", u"&H", u"G7", Text(u"1\0", 2), Text(u"\0\0", 2),
      u"\u0661\u0662",  // Arabic-Indic digits
      u"\uFF10\uFF21",  // fullwidth 0 and A
      u"\u0141\u0130",  // units whose low bytes are 'A' and '0'
      u"\u00B9\u00B2",  // superscript digits
  };
  for (const Text& text : hostile) {
    ByteArray array;
    EXPECT_EQ(ErrorOf([&] { HexToByteArray(u"AB" + text, array); }).number(), kTypeMismatch)
        << ToUtf8(text);
    EXPECT_EQ(array, ByteVector({0xAB, 0}));
  }
}

TEST(HexToByteArray, BadDigitAnywhereInALongTextStopsAtItsPair) {
  ByteVector bytes(43);  // five whole blocks of eight bytes and a partial one
  for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(k * 29 + 1);
  const Text good = ByteArrayToHex(bytes);
  for (char16_t bad : {u'G', u'g', u' ', u'\0', u'/', u':', u'@', u'`', u'\u0130', u'\uFF10',
                       u'\u0100', char16_t(0x80)}) {
    for (size_t at = 0; at < good.size(); at += 3) {
      Text text = good;
      text[at] = bad;
      ByteArray array;
      ASSERT_EQ(ErrorOf([&] { HexToByteArray(text, array); }).number(), kTypeMismatch);
      ByteVector expected(bytes.size(), 0);
      std::copy(bytes.begin(), bytes.begin() + at / 2, expected.begin());
      ASSERT_EQ(array, expected) << "digit " << at << " is U+" << std::hex << uint32_t{bad};
    }
  }
}

}  // namespace
}  // namespace wq
