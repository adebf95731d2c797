#include "crypto/md5.h"

#include <gtest/gtest.h>

#include <thread>

#include "presence/record.h"
#include "tests/crypto/openssl_reference.h"

namespace wq {
namespace {

class Md5Test : public ::testing::Test {
 protected:
  std::unique_ptr<AnsiCodePage> cp1252_ = AnsiCodePage::Open("CP1252");
  Text Digest(TextView text) { return MD5Digest(text, *cp1252_); }
};

TEST_F(Md5Test, Rfc1321TestSuite) {
  EXPECT_EQ(Digest(u""), u"d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Digest(u"a"), u"0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Digest(u"abc"), u"900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Digest(u"message digest"), u"f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Digest(u"abcdefghijklmnopqrstuvwxyz"), u"c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Digest(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            u"d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(Digest(u"1234567890123456789012345678901234567890123456789012345678901234567890123"
                   u"4567890"),
            u"57edf4a22be3c955ac49da2e2107b67a");
}

TEST_F(Md5Test, BlockBoundariesAndLongTextsMatchOpenSsl) {
  std::mt19937 rng(55);
  // Around the padding boundaries and the chunks in which the text is converted.
  for (size_t size : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 121u, 4095u, 4096u, 4097u, 10000u}) {
    Text text;
    std::vector<uint8_t> bytes;
    for (size_t k = 0; k < size; ++k) {
      // Mostly ASCII with some Latin-1 letters, so both conversion paths run.
      const uint8_t b = rng() % 8 == 0 ? static_cast<uint8_t>(0xC0 + rng() % 64)
                                       : static_cast<uint8_t>(0x20 + rng() % 95);
      text.push_back(b);
      bytes.push_back(b);
    }
    const Text digest = Digest(text);
    EXPECT_EQ(digest, reference::Md5(bytes)) << "length " << size;
    ASSERT_EQ(digest.size(), 32u);
    for (char16_t c : digest) EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'));
  }
}

TEST_F(Md5Test, EveryCharacterGivesOneByte) {
  // U+0000 is an ordinary character.
  EXPECT_EQ(Digest(Text(u"a\0b", 3)), reference::Md5({'a', 0, 'b'}));
  EXPECT_NE(Digest(Text(u"a\0b", 3)), Digest(u"ab"));
  // Code page bytes 128-255 are exactly that byte.
  EXPECT_EQ(Digest(u"€é\u00FF"), reference::Md5({0x80, 0xE9, 0xFF}));
  // What the code page can't write is '?'.
  EXPECT_EQ(Digest(u"中\U0001F600"), Digest(u"???"));
  // A double-byte character contributes its low byte.
  const auto cp936 = AnsiCodePage::Open("CP936");
  EXPECT_EQ(MD5Digest(u"中a", *cp936), reference::Md5({0xD0, 'a'}));
}

TEST(Md5Marker, PresenceKeyGivesTheSameMarkerEverywhere) {
  const Text key = presence::kPresenceKey;
  const std::vector<uint8_t> ascii(key.begin(), key.end());
  const Text marker = MD5Digest(key);
  EXPECT_EQ(marker, reference::Md5(ascii));
  Text fromThread;
  std::thread([&] { fromThread = MD5Digest(key); }).join();
  EXPECT_EQ(fromThread, marker);
}

}  // namespace
}  // namespace wq
