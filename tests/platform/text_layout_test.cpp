#include "platform/text/text_layout.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "platform/text/clipboard.hpp"

namespace platform {
namespace {

constexpr Pixel kWhite = 0xFFFFFF;
constexpr Pixel kRed = 0xFF0000;
constexpr Pixel kBlue = 0x0000FF;

std::shared_ptr<const Font> sans(int height, int weight = 400) {
  auto font = Font::create({height, weight, FontFamily::Swiss, "", false});
  EXPECT_NE(font, nullptr);
  return font;
}

struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // inclusive bounds
  bool any() const { return right >= 0; }
};

Ink ink_of(const Page& page, Pixel background) {
  Ink ink;
  for (int y = 0; y < page.height(); ++y) {
    for (int x = 0; x < page.width(); ++x) {
      if (page.at(x, y) != background) {
        ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
      }
    }
  }
  return ink;
}

TEST(Font, FamiliesMatchTheirFaces) {
  struct Case {
    FontFamily family;
    int weight;
    const char* expected;
  };
  const Case cases[] = {{FontFamily::Swiss, 400, "Liberation Sans"},
                        {FontFamily::DontCare, 700, "Liberation Sans"},
                        {FontFamily::Roman, 400, "Liberation Serif"},
                        {FontFamily::Modern, 400, "Liberation Mono"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    auto font = Font::create({20, c.weight, c.family, "", false});
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->family_name(), c.expected);
  }
}

TEST(Font, PositiveHeightIsTheCellNegativeTheEm) {
  for (int h : {8, 12, 13, 20, 37, 100}) {
    SCOPED_TRACE(h);
    EXPECT_EQ(sans(h)->height(), h);
    // The em is smaller than the cell, so a font of em h has a taller cell.
    EXPECT_GT(sans(-h)->height(), h);
  }
}

TEST(Font, HugeHeightsAreCut) {
  EXPECT_EQ(sans(1 << 30)->height(), kMaxFontHeight);
  EXPECT_EQ(sans(INT32_MIN)->request().height, -kMaxFontHeight);
}

TEST(Font, BoldIsWiderThanRegular) {
  const std::u16string text = u"Weight and width";
  EXPECT_GT(measure_text(*sans(24, 700), text).width, measure_text(*sans(24, 400), text).width);
}

TEST(Font, DefaultGuiFontIsASansFontOfItsDocumentedEm) {
  auto font = Font::default_gui();
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->request().height, kDefaultGuiFontHeight);
  EXPECT_EQ(font, Font::default_gui());
  EXPECT_EQ(font->family_name(), "Liberation Sans");
}

TEST(Font, AnAllowanceBoundsTheGlyphsRendered) {
  // Measuring text, and drawing it where no glyph can reach the clip, renders nothing. The
  // first glyph rendered spends the whole allowance; the glyphs after it, of either font
  // sharing it, keep their advances but have no coverage. Glyphs rendered before stay.
  const FontRequest request{-40, 400, FontFamily::Swiss, "", false};
  const auto free_font = Font::create(request);
  const auto allowance = std::make_shared<GlyphAllowance>(1);
  const auto bounded = Font::create(request, allowance);
  const auto other = Font::create({-30, 400, FontFamily::Swiss, "", false}, allowance);
  ASSERT_TRUE(free_font && bounded && other);
  EXPECT_EQ(measure_text(*bounded, u"ABC").width, measure_text(*free_font, u"ABC").width);
  Page page(20, 20);
  for (const Point at : {Point{-100000, 0}, Point{40, 0}, Point{0, 100000}, Point{0, -200}})
    draw_text(page, *bounded, at.x, at.y, u"ABC", {}, {0, 0, 20, 20});
  EXPECT_FALSE(allowance->spent());
  EXPECT_FALSE(bounded->glyph(U'A').coverage.empty());
  EXPECT_TRUE(allowance->spent());
  for (const char32_t c : {U'B', U'C'}) {
    EXPECT_TRUE(bounded->glyph(c).coverage.empty());
    EXPECT_EQ(bounded->glyph(c).advance, free_font->glyph(c).advance);
  }
  EXPECT_TRUE(other->glyph(U'A').coverage.empty());
  EXPECT_EQ(bounded->glyph(U'A').coverage, free_font->glyph(U'A').coverage);
}

TEST(TextLayout, WidthsBeyondTheIntRangeAreTheLargestInt) {
  const std::u16string wide(1'200'000, u'W');  // about 2.3e9 pixels at this size
  EXPECT_EQ(measure_text(*sans(-kMaxFontHeight), wide).width, std::numeric_limits<int>::max());
}

TEST(TextLayout, BlocksMeasureLineBreaksAndNoWrapping) {
  auto font = sans(12);
  const int line = font->line_height();
  EXPECT_EQ(line, 12);  // this face has no external leading at 12 pixels
  const int a = measure_text(*font, u"A").width;
  struct Case {
    std::u16string text;
    int lines;
  };
  const Case cases[] = {
      {u"", 1}, {u"A", 1}, {u"A\nB", 2}, {u"A\rB", 2}, {u"A\r\nB", 2}, {u"A\n\nB", 3}, {u"A\n", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    EXPECT_EQ(measure_text(*font, c.text).height, c.lines * line);
  }
  EXPECT_EQ(measure_text(*font, u"").width, 0);
  EXPECT_EQ(measure_text(*font, u"AA\nA").width, 2 * a);
  EXPECT_GT(measure_text(*font, u"&A").width, a);  // '&' is a character, not a prefix
}

// With tab stops a TAB moves the pen to the next stop of its line, a whole stop on from a pen
// standing on one; without, it is a character like any other.
TEST(TextLayout, TabsMoveToTheNextStopOfTheirLine) {
  auto font = sans(12);
  const int stop = tab_stop_width(*font), a = measure_text(*font, u"A").width;
  EXPECT_EQ(stop, 8 * average_char_width(*font));
  const std::u16string full(static_cast<size_t>(stop / a + 1), u'A');  // past the first stop
  struct Case {
    std::u16string text;
    int width;
  };
  const Case cases[] = {{u"\t", stop},
                        {u"\t\t", 2 * stop},
                        {u"A\tA", stop + a},
                        {full + u"\t", 2 * stop},
                        {u"A\n\tA", stop + a}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.size());
    EXPECT_EQ(measure_text(*font, c.text, stop).width, c.width);
  }
  EXPECT_EQ(measure_text(*font, u"\t").width, font->glyph(U'\t').advance);
  // Drawn: the A after the TAB stands where an A drawn at the stop stands.
  Page tabbed(300, 20), placed(300, 20);
  tabbed.fill(kWhite);
  placed.fill(kWhite);
  draw_text(tabbed, *font, 7, 2, u"A\tA", {kBlue, 0, false}, {0, 0, 300, 20}, stop);
  draw_text(placed, *font, 7, 2, u"A", {kBlue, 0, false}, {0, 0, 300, 20});
  draw_text(placed, *font, 7 + stop, 2, u"A", {kBlue, 0, false}, {0, 0, 300, 20});
  EXPECT_TRUE(std::equal(tabbed.data(), tabbed.data() + 300 * 20, placed.data()));
}

TEST(TextLayout, LargeFontsAddTheirExternalLeading) {
  auto font = sans(100);
  EXPECT_GT(font->external_leading(), 0);
  EXPECT_EQ(measure_text(*font, u"A\nB").height, 2 * (100 + font->external_leading()));
}

TEST(TextLayout, TransparentTextLeavesTheBackgroundAndInksInsideItsBox) {
  auto font = sans(20);
  Page page(200, 60);
  page.fill(kBlue);
  draw_text(page, *font, 10, 5, u"Hg", {kWhite, kRed, false}, {0, 0, 200, 60});
  const Ink ink = ink_of(page, kBlue);
  ASSERT_TRUE(ink.any());
  const TextExtent e = measure_text(*font, u"Hg");
  EXPECT_GE(ink.left, 10);
  EXPECT_LT(ink.right, 10 + e.width);
  EXPECT_GE(ink.top, 5);
  EXPECT_LT(ink.bottom, 5 + e.height);
  EXPECT_GT(ink.bottom, 5 + font->ascent());  // the g descends below the baseline
  for (int y = 0; y < page.height(); ++y) {
    for (int x = 0; x < page.width(); ++x) ASSERT_NE(page.at(x, y), kRed);
  }
}

TEST(TextLayout, OpaqueTextFillsItsBoxAndNothingElse) {
  auto font = sans(16);
  Page page(120, 60);
  page.fill(kBlue);
  const std::u16string text = u"ab\nlonger";
  draw_text(page, *font, 7, 3, text, {kWhite, kRed, true}, {0, 0, 120, 60});
  const int line = font->line_height();
  const int w1 = measure_text(*font, u"ab").width;
  const int w2 = measure_text(*font, u"longer").width;
  EXPECT_EQ(page.at(7, 3), kRed);
  EXPECT_EQ(page.at(7 + w1 - 1, 3), kRed);
  EXPECT_EQ(page.at(7 + w1, 3), kBlue);  // the first line's box ends with its text
  EXPECT_EQ(page.at(7 + w2 - 1, 3 + 2 * line - 1), kRed);
  EXPECT_EQ(page.at(7 + w2, 3 + line), kBlue);
  EXPECT_EQ(page.at(7, 3 + 2 * line), kBlue);
  EXPECT_EQ(page.at(6, 3), kBlue);
  EXPECT_EQ(ink_of(page, kBlue).right, 7 + w2 - 1);
}

TEST(TextLayout, DrawingStaysInsideTheClipAndThePage) {
  auto font = sans(30);
  Page page(50, 40);
  page.fill(kBlue);
  draw_text(page, *font, -20, -10, u"WWWW\nWWWW", {kWhite, kRed, true}, {5, 6, 30, 25});
  const Ink ink = ink_of(page, kBlue);
  ASSERT_TRUE(ink.any());
  EXPECT_EQ(ink.left, 5);
  EXPECT_EQ(ink.top, 6);
  EXPECT_EQ(ink.right, 29);
  EXPECT_EQ(ink.bottom, 24);
  draw_text(page, *font, 45, 35, u"W", {kWhite, kRed, true}, {-100, -100, 500, 500});
  EXPECT_EQ(page.at(49, 39), kRed);  // a clip beyond the page is cut to it
}

TEST(TextLayout, CharactersOutsideTheBasicPlaneAreOneCharacter) {
  auto font = sans(20);
  const std::u16string pair = u"\U0001F600";
  const std::u16string broken = {char16_t(0xD83D), char16_t(0xD83D)};
  EXPECT_EQ(measure_text(*font, pair).width, measure_text(*font, u"\uFFFD").width);
  EXPECT_EQ(measure_text(*font, broken).width, 2 * measure_text(*font, u"\uFFFD").width);
}

TEST(TextLayout, OneFontDrawsTheSameOnManyThreads) {
  auto font = sans(18);
  const std::u16string text = u"Shared glyph cache 0123456789";
  Page expected(400, 30);
  draw_text(expected, *font, 0, 0, text, {kWhite, 0, false}, {0, 0, 400, 30});
  std::vector<Page> pages(4, Page(400, 30));
  {
    auto fresh = sans(18);  // a cold cache, filled by all threads at once
    std::vector<std::thread> threads;
    for (Page& page : pages) {
      threads.emplace_back([&fresh, &page, &text] {
        draw_text(page, *fresh, 0, 0, text, {kWhite, 0, false}, {0, 0, 400, 30});
      });
    }
    for (std::thread& t : threads) t.join();
  }
  for (const Page& page : pages) {
    EXPECT_TRUE(std::equal(page.data(), page.data() + 400 * 30, expected.data()));
  }
}

TEST(Clipboard, HoldsTheLastText) {
  clipboard::reset();
  EXPECT_FALSE(clipboard::text().has_value());
  clipboard::set_text("first");
  clipboard::set_text("second");
  EXPECT_EQ(clipboard::text(), "second");
  clipboard::reset();
  EXPECT_FALSE(clipboard::text().has_value());
}

}  // namespace
}  // namespace platform
