#include "crypto/rc4.h"

#include <gtest/gtest.h>

#include "crypto/hex.h"
#include "platform/error.h"
#include "tests/crypto/openssl_reference.h"
#include "tests/error_of.h"

namespace wq {
namespace {

using ByteVector = std::vector<uint8_t>;

ByteVector FromHex(std::string_view hex) {
  ByteVector out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

ByteVector Ascii(std::string_view s) { return ByteVector(s.begin(), s.end()); }

class Rc4Test : public ::testing::Test {
 protected:
  std::unique_ptr<AnsiCodePage> cp1252_ = AnsiCodePage::Open("CP1252");
  clsRC4 rc4_{*cp1252_};

  ByteVector Encrypt(ByteVector data, const Text& key = {}) {
    ByteArray array = std::move(data);
    rc4_.EncryptByte(array, key);
    return *array;
  }
};

TEST_F(Rc4Test, MatchesPublishedVectors) {
  EXPECT_EQ(Encrypt(Ascii("Plaintext"), u"Key"), FromHex("BBF316E8D940AF0AD3"));
  EXPECT_EQ(Encrypt(Ascii("pedia"), u"Wiki"), FromHex("1021BF0420"));
  EXPECT_EQ(Encrypt(Ascii("Attack at dawn"), u"Secret"), FromHex("45A01F645FC35B383552544B9BF5"));
  // RFC 6229, 40-bit key 0x0102030405: keystream at offsets 0 and 16.
  const ByteVector stream = Encrypt(ByteVector(32, 0), u"\x01\x02\x03\x04\x05");
  EXPECT_EQ(ByteVector(stream.begin(), stream.begin() + 16),
            FromHex("b2396305f03dc027ccc3524a0a1118a8"));
  EXPECT_EQ(ByteVector(stream.begin() + 16, stream.end()),
            FromHex("6982944f18fc82d589c403a47a0d0919"));
}

TEST_F(Rc4Test, MatchesOpenSslForRandomKeysAndLengths) {
  std::mt19937 rng(1321);
  for (size_t size : {1u, 2u, 15u, 16u, 255u, 256u, 257u, 1000u, 16384u}) {
    for (int round = 0; round < 5; ++round) {
      // Keys of CP1252 letters 0x20..0x7E and 0xA0..0xFF, 1 to 40 characters long.
      Text key;
      ByteVector keyBytes;
      const size_t keyLength = 1 + rng() % 40;
      while (key.size() < keyLength) {
        const uint8_t b = static_cast<uint8_t>(rng());
        if (b < 0x20 || (b >= 0x7F && b < 0xA0)) continue;
        key.push_back(b);
        keyBytes.push_back(b);
      }
      const ByteVector data = reference::RandomBytes(rng, size);
      EXPECT_EQ(Encrypt(data, key), reference::Rc4(keyBytes, data)) << "size " << size;
      // Deciphering with the same key gives the data back.
      ByteArray array = Encrypt(data, key);
      rc4_.DecryptByte(array, key);
      EXPECT_EQ(*array, data);
    }
  }
}

// Every length the kept keystream serves, grown a byte at a time under one key and then with
// the key changing on every call, and lengths around the end of what is kept.
TEST_F(Rc4Test, EveryLengthMatchesOpenSslAsTheKeptKeystreamGrowsAndKeysChange) {
  std::mt19937 rng(600);
  const ByteVector data = reference::RandomBytes(rng, clsRC4::kKeystreamCache + 80);
  const Text keys[] = {u"PresenceLedgerSeal", u"alpha", u"Alpha"};
  auto check = [&](size_t size, size_t key) {
    const ByteVector part(data.begin(), data.begin() + size);
    const std::string bytes(keys[key].begin(), keys[key].end());
    ASSERT_EQ(Encrypt(part, keys[key]), reference::Rc4(Ascii(bytes), part))
        << "size " << size << " key " << key;
  };
  for (size_t size = 0; size <= 600; ++size) check(size, 0);
  for (size_t size = 0; size <= 600; ++size) check(size, size % 3);
  for (size_t size : {1023u, 1024u, 1025u, 1104u, 5u, 1024u}) check(size, 1);
}

// The one-pass unsealing gives what its two steps give, errors and key state included.
TEST_F(Rc4Test, DecryptHexIsHexToByteArrayThenDecryptByte) {
  const Text longHex = ByteArrayToHex(ByteVector(clsRC4::kKeystreamCache + 1, 0xA5));
  for (const Text& key : {Text(u"Key"), Text(u"other"), Text()}) {
    for (const Text& hex : {Text(u"BBF316E8D940AF0AD3"), Text(u"bbf316e8d940af0ad3"), Text(u"0"),
                            Text(), Text(u"ABC"), Text(u"12G4"), Text(u"12\u0660"), longHex}) {
      clsRC4 stepwise(*cp1252_);
      stepwise.Key(u"Key");
      rc4_.Key(u"Key");
      ByteArray expected = ByteVector{9};
      ByteArray actual = ByteVector{9};
      const int32_t error = ErrorOf([&] {
                              HexToByteArray(hex, expected);
                              stepwise.DecryptByte(expected, key);
                            }).number();
      EXPECT_EQ(ErrorOf([&] { rc4_.DecryptHex(hex, actual, key); }).number(), error);
      EXPECT_EQ(actual, expected);
      // The same key is in force afterwards.
      ByteArray probe = Ascii("probe");
      ByteArray stepwiseProbe = Ascii("probe");
      rc4_.EncryptByte(probe);
      stepwise.EncryptByte(stepwiseProbe);
      EXPECT_EQ(probe, stepwiseProbe);
    }
  }
}

TEST_F(Rc4Test, KeyScheduleRunsOnlyWhenTheKeyChanges) {
  const ByteVector data = Ascii("presence payload");
  const ByteVector first = Encrypt(data, u"alpha");
  EXPECT_EQ(Encrypt(data, u"alpha"), first);  // fresh keystream every call
  EXPECT_EQ(rc4_.key_schedules(), 1u);
  EXPECT_EQ(Encrypt(data), first);  // omitted key: the earlier one
  const ByteVector other = Encrypt(data, u"beta");
  EXPECT_NE(other, first);
  EXPECT_EQ(Encrypt(data, u"alpha"), first);
  EXPECT_EQ(rc4_.key_schedules(), 3u);
  // Letter case counts.
  EXPECT_NE(Encrypt(data, u"Alpha"), first);
  EXPECT_EQ(rc4_.key_schedules(), 4u);
  rc4_.Key(u"Alpha");
  EXPECT_EQ(rc4_.key_schedules(), 4u);
}

TEST_F(Rc4Test, NewInstanceLeavesDataUnchangedAndIgnoresEmptyKey) {
  EXPECT_EQ(Encrypt(Ascii("abc")), Ascii("abc"));
  EXPECT_EQ(ErrorOf([&] { rc4_.Key(u""); }).number(), 0);
  EXPECT_EQ(Encrypt(Ascii("abc")), Ascii("abc"));
  EXPECT_EQ(rc4_.key_schedules(), 0u);
}

TEST_F(Rc4Test, EmptyKeyOnKeyedInstanceLeavesIdentityStateAndNoKey) {
  const ByteVector keyed = Encrypt(ByteVector(4, 0), u"Key");
  EXPECT_EQ(ErrorOf([&] { rc4_.Key(u""); }).number(), kDivisionByZero);
  // The identity state's keystream: 2, 5, 7, 13, ...
  EXPECT_EQ(Encrypt(ByteVector(4, 0)), (ByteVector{2, 5, 7, 13}));
  // The stored key is empty now: the empty key again is no change, and the old key runs the
  // schedule again.
  EXPECT_EQ(ErrorOf([&] { rc4_.Key(u""); }).number(), 0);
  const uint64_t schedules = rc4_.key_schedules();
  EXPECT_EQ(Encrypt(ByteVector(4, 0), u"Key"), keyed);
  EXPECT_EQ(rc4_.key_schedules(), schedules + 1);
}

TEST_F(Rc4Test, ArraysWithoutStorageFailAfterTheKeyIsSet) {
  ByteArray none;
  EXPECT_EQ(ErrorOf([&] { rc4_.EncryptByte(none, u"Key"); }).number(), kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { rc4_.DecryptByte(none); }).number(), kSubscriptOutOfRange);
  Text dest = u"kept";
  EXPECT_EQ(ErrorOf([&] { rc4_.DecryptByteToStr(none, dest); }).number(), kSubscriptOutOfRange);
  EXPECT_EQ(dest, u"kept");
  EXPECT_FALSE(none.has_value());
  EXPECT_EQ(Encrypt(Ascii("Plaintext")), FromHex("BBF316E8D940AF0AD3"));
}

TEST_F(Rc4Test, EmptyArraySucceedsAndStillSetsTheKey) {
  ByteArray empty = ByteVector{};
  rc4_.EncryptByte(empty, u"Key");
  EXPECT_TRUE(empty->empty());
  EXPECT_EQ(Encrypt(Ascii("Plaintext")), FromHex("BBF316E8D940AF0AD3"));
}

TEST_F(Rc4Test, DecryptByteToStrAppendsBigEndianUnits) {
  ByteArray array = Encrypt({0x00, 0x41, 0x4E, 0x2D}, u"k");
  Text dest = u"x";
  EXPECT_TRUE(rc4_.DecryptByteToStr(array, dest, u"k"));
  EXPECT_EQ(dest, u"xA\u4E2D");
  EXPECT_EQ(*array, (ByteVector{0x41, 0x00, 0x2D, 0x4E}));

  ByteArray empty = ByteVector{};
  EXPECT_TRUE(rc4_.DecryptByteToStr(empty, dest));
  EXPECT_EQ(dest, u"xA\u4E2D");
}

TEST_F(Rc4Test, DecryptByteToStrWithOddCountSwapsCompletePairsAndAppendsNothing) {
  ByteArray array = Encrypt({1, 2, 3}, u"k");
  Text dest = u"x";
  EXPECT_EQ(ErrorOf([&] { rc4_.DecryptByteToStr(array, dest); }).number(), kSubscriptOutOfRange);
  EXPECT_EQ(dest, u"x");
  EXPECT_EQ(*array, (ByteVector{2, 1, 3}));
}

TEST_F(Rc4Test, StringOperations) {
  EXPECT_EQ(rc4_.EncryptString(u"", u"Key"), u"");
  EXPECT_EQ(rc4_.DecryptString(u""), u"");
  EXPECT_EQ(rc4_.EncryptString(u"Plaintext", u"Key"),
            cp1252_->Decode(FromHex("BBF316E8D940AF0AD3")));
  // Where every byte is a character (Latin-1), text round trips.
  const auto latin1 = AnsiCodePage::Open("ISO-8859-1");
  clsRC4 rc4(*latin1);
  const Text text = u"Grüße, Straße 7";
  const Text sealed = rc4.EncryptString(text, u"schlüssel");
  EXPECT_NE(sealed, text);
  EXPECT_EQ(rc4.DecryptString(sealed, u"schlüssel"), text);
}

TEST(Rc4CodePage, KeyBytesAreTheAnsiBytesOfTheKey) {
  const auto cp936 = AnsiCodePage::Open("CP936");
  clsRC4 rc4(*cp936);
  const ByteVector data(32, 0x5A);
  ByteArray array = data;
  // Two double-byte characters: a four-byte key, every byte of which counts.
  rc4.EncryptByte(array, u"中文");
  EXPECT_EQ(*array, reference::Rc4({0xD6, 0xD0, 0xCE, 0xC4}, data));
  ByteArray other = data;
  rc4.EncryptByte(other, u"中国");  // same first character, different last byte
  EXPECT_NE(*other, *array);

  // In CP1252 a character from 128 to 255 is its own byte.
  const auto cp1252 = AnsiCodePage::Open("CP1252");
  clsRC4 western(*cp1252);
  ByteArray euro = data;
  western.EncryptByte(euro, u"€é");
  EXPECT_EQ(*euro, reference::Rc4({0x80, 0xE9}, data));
}

}  // namespace
}  // namespace wq
