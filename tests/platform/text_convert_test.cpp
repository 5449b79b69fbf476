#include "platform/text/text_convert.hpp"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(TextConvert, Utf8RoundTripsEveryLength) {
  const std::string samples[] = {
      "", "plain", "caf\xC3\xA9", "\xE2\x82\xAC 5", "\xF0\x9F\x98\x80 face", "a\xF4\x8F\xBF\xBFz"};
  for (const std::string& s : samples) {
    SCOPED_TRACE(s);
    EXPECT_EQ(utf16_to_utf8(utf8_to_utf16(s)), s);
  }
}

TEST(TextConvert, FourByteCharacterBecomesSurrogatePair) {
  EXPECT_EQ(utf8_to_utf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(utf8_to_utf16("\xF0\x9F\x98\x80").size(), 2u);
}

TEST(TextConvert, InvalidUtf8BecomesReplacementCharacters) {
  struct Case {
    const char* in;
    std::u16string out;
  };
  const Case cases[] = {
      {"a\xFF"
       "b",
       u"a\uFFFDb"},
      {"\xC3", u"\uFFFD"},  // truncated at the end
      {"\xC3"
       "A",
       u"\uFFFDA"},                   // a truncated sequence does not swallow the next character
      {"\xC0\xAF", u"\uFFFD\uFFFD"},  // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xE2\x82"
       "x",
       u"\uFFFDx"},  // maximal subpart replaced once
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(utf8_to_utf16(c.in), c.out);
  }
}

TEST(TextConvert, LoneSurrogatesBecomeReplacementCharacters) {
  const std::u16string high_alone = {u'a', char16_t(0xD83D), u'b'};
  const std::u16string low_alone = {char16_t(0xDE00)};
  EXPECT_EQ(utf16_to_utf8(high_alone),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(utf16_to_utf8(low_alone), "\xEF\xBF\xBD");
}

TEST(TextConvert, AnsiCodePageIsWindows1252) {
  EXPECT_EQ(to_utf16("\xE9", CodePage::Ansi), u"\u00E9");
  EXPECT_EQ(to_utf16("\x80\x9F", CodePage::Ansi), u"\u20AC\u0178");
  EXPECT_EQ(to_utf16("\x81", CodePage::Ansi), u"\u0081");
  EXPECT_EQ(from_utf16(u"\u00E9\u20AC\u2122", CodePage::Ansi), "\xE9\x80\x99");
  EXPECT_EQ(from_utf16(u"\u4E2D", CodePage::Ansi), "?");   // not in the code page
  EXPECT_EQ(to_utf16("\xE9", CodePage::Utf8), u"\uFFFD");  // not UTF-8 on its own
}

TEST(TextConvert, AnsiRoundTripsEveryByte) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(utf16_to_cp1252(cp1252_to_utf16(all)), all);
}

}  // namespace
}  // namespace platform
