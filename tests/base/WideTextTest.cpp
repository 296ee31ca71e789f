#include "base/WideText.h"

#include <gtest/gtest.h>

TEST(WideText, RoundTripsEveryPlane) {
  const std::u16string Samples[] = {u"",
                                    u"plain ASCII\r\n",
                                    u"Größe",
                                    u"\u00FF\u0100\u07FF\u0800\uFFFD\uFFFF",
                                    u"\U0001F600 and \U0010FFFF",
                                    u"日本語"};
  for (const auto& Wide : Samples) {
    const std::string Narrow = Utf16ToUtf8(Wide);
    const auto Back = TryUtf8ToUtf16(Narrow);
    ASSERT_TRUE(Back.has_value()) << Narrow;
    EXPECT_EQ(*Back, Wide) << Narrow;
  }
  EXPECT_EQ(Utf16ToUtf8(u"\u00E4\u20AC\U0001F600"), "\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(WideText, StrictDecodingRejectsMalformedSequences) {
  const char* Invalid[] = {
      "\x80",             // continuation without a lead
      "ab\xC3",           // cut at the end
      "\xC3\x28",         // lead followed by ASCII
      "\xC0\xAF",         // overlong '/'
      "\xE0\x80\xAF",     // overlong, three bytes
      "\xED\xA0\x80",     // a surrogate
      "\xF4\x90\x80\x80", // above U+10FFFF
      "\xFF",
  };
  for (const char* Text : Invalid) {
    EXPECT_FALSE(TryUtf8ToUtf16(Text).has_value()) << Text;
  }
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b\xC3"),
            u"a\uFFFDb\uFFFD");
}

TEST(WideText, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::u16string Lone = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
  EXPECT_EQ(Utf16ToUtf8(Lone), "a\xEF\xBF\xBD"
                               "b\xEF\xBF\xBD");
}
