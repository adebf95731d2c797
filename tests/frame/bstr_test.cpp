// The BSTR layout of the COM stand-in: what a host written against Windows' layout relies on.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/com/com.h"

namespace {

uint32_t BytePrefix(BSTR b) {
  uint32_t n;
  std::memcpy(&n, reinterpret_cast<const char*>(b) - 4, 4);
  return n;
}

TEST(Bstr, LengthPrefixCharactersAndTerminator) {
  BSTR b = SysAllocString(u"abc");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(BytePrefix(b), 6u);
  EXPECT_EQ(SysStringLen(b), 3u);
  EXPECT_EQ(SysStringByteLen(b), 6u);
  EXPECT_EQ(std::u16string_view(b, 4), std::u16string_view(u"abc\0", 4));
  SysFreeString(b);

  const char16_t with_nul[] = {u'a', 0, u'b'};
  b = SysAllocStringLen(with_nul, 3);
  EXPECT_EQ(SysStringLen(b), 3u);
  EXPECT_EQ(b[1], 0);
  EXPECT_EQ(b[3], 0);
  SysFreeString(b);

  b = SysAllocStringLen(nullptr, 2);  // room for two characters, zeroed
  EXPECT_EQ(SysStringLen(b), 2u);
  EXPECT_EQ(b[0], 0);
  SysFreeString(b);
}

TEST(Bstr, NullAndOversizedRequests) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  // A length whose byte count does not fit the 32-bit prefix is refused, not truncated.
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
}

TEST(Bstr, VariantClearFreesTheString) {
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(v.vt, VT_EMPTY);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"owned");
  EXPECT_EQ(VariantClear(&v), S_OK);  // the leak checker of the sanitizer build watches this
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

}  // namespace
