#include "toolkit/text_conversion.hpp"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/text/clipboard.hpp"
#include "toolkit/clipboard.hpp"

namespace gk {
namespace {

class TextConversion : public ::testing::Test {
 protected:
  void SetUp() override { reset_text_conversion(); }
  void TearDown() override { reset_text_conversion(); }
};

TEST_F(TextConversion, Utf8RoundTripsAndReportsItsSizePlusOne) {
  const char* text = "\xF0\x9F\x98\x80 caf\xC3\xA9";
  const auto wide = utf8_to_wide(text);
  ASSERT_TRUE(wide.has_value());
  EXPECT_EQ(*wide, u"\U0001F600 caf\u00E9");
  int32_t size = -1;
  const auto back = wide_to_utf8(wide->c_str(), &size);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, text);
  EXPECT_EQ(size, static_cast<int32_t>(std::strlen(text)) + 2);
}

TEST_F(TextConversion, NullTextsGiveNothing) {
  EXPECT_FALSE(utf8_to_wide(nullptr).has_value());
  int32_t size = -1;
  EXPECT_FALSE(wide_to_utf8(nullptr, &size).has_value());
  EXPECT_EQ(size, 0);
  EXPECT_EQ(wide_to_utf8(u"", &size), "");
  EXPECT_EQ(size, 2);
}

TEST_F(TextConversion, InvalidBytesBecomeReplacementCharacters) {
  EXPECT_EQ(utf8_to_wide("a\xE9z"), u"a\uFFFDz");
}

TEST_F(TextConversion, AnsiModeReadsByteE9AsEAcute) {
  useansitext();
  EXPECT_EQ(utf8_to_wide("caf\xE9"), u"caf\u00E9");
  EXPECT_EQ(wide_to_utf8(u"\u00E9\u20AC"), "\xE9\x80");
}

TEST(Clipboard, TextRoundTripsAndEmptyTextKeepsTheOld) {
  platform::clipboard::reset();
  char buffer[16] = "untouched";
  EXPECT_EQ(getclipboardtextlength(), 0);
  EXPECT_EQ(getfromclipboard(buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "untouched");
  sendtoclipboard("hello");
  sendtoclipboard("");
  sendtoclipboard(nullptr);
  EXPECT_EQ(getclipboardtextlength(), 5);
  EXPECT_EQ(getfromclipboard(buffer, sizeof buffer), 5);
  EXPECT_STREQ(buffer, "hello");
  platform::clipboard::reset();
}

TEST(Clipboard, ShortBufferGetsAPrefixAndTerminators) {
  platform::clipboard::reset();
  sendtoclipboard("hello");
  char buffer[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(getfromclipboard(buffer, 4), 3);
  EXPECT_EQ(std::string(buffer, 4), std::string("hel\0", 4));
  EXPECT_EQ(buffer[4], 'x');  // nothing beyond the given size
  EXPECT_EQ(getfromclipboard(buffer, 1), 0);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(getfromclipboard(buffer, 0), 0);
  EXPECT_EQ(getfromclipboard(nullptr, 10), 0);
  platform::clipboard::reset();
}

}  // namespace
}  // namespace gk
