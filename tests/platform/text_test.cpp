#include "platform/text/text.h"

#include <gtest/gtest.h>

namespace wq {
namespace {

TEST(Utf8, RoundTripsEveryPlane) {
  const Text text = u"PC-7 计算机 \U0001F600 é";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(u"abc"), "abc");
}

TEST(Utf8, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(FromUtf8("\xC0\xAF"), Text(u"\uFFFD\uFFFD"));      // overlong
  EXPECT_EQ(FromUtf8("\xED\xA0\x80"), Text(u"\uFFFD"));  // encoded surrogate
  EXPECT_EQ(FromUtf8("a\xE4\xB8"), Text(u"a\uFFFD\uFFFD"));     // truncated at the end
  EXPECT_EQ(FromUtf8("\xF5\x80\x80\x80").size(), 4u);
  EXPECT_EQ(ToUtf8(Text(1, char16_t(0xD800))), "\xEF\xBF\xBD");  // lone surrogate
}

TEST(Upper, MapsLettersOfCommonScriptsAndLeavesTheRest) {
  EXPECT_EQ(ToUpper(u"pc-7 éß ÿ ά ж"), Text(u"PC-7 Éß Ÿ ά Ж"));
  EXPECT_EQ(ToUpper(u"计算机,123"), Text(u"计算机,123"));
  EXPECT_TRUE(EqualsIgnoreCase(u"pc-7", u"PC-7"));
  EXPECT_FALSE(EqualsIgnoreCase(u"pc-7", u"PC-8"));
  EXPECT_FALSE(EqualsIgnoreCase(u"pc", u"pc "));
}

}  // namespace
}  // namespace wq
