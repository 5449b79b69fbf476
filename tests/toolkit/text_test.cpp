#include "toolkit/text.hpp"

#include <gtest/gtest.h>

#include "toolkit/drawing_state.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/text.hpp"
#include "toolkit_fixture.hpp"

namespace gk {
namespace {

using platform::Page;
using platform::Pixel;

constexpr uint32_t kRedColor = 0x0000FF;  // colour value: red + 256 green + 65536 blue
constexpr Pixel kRedPixel = 0xFF0000;

class Text : public toolkit_test::HeadlessToolkit {
 protected:
  void SetUp() override {
    HeadlessToolkit::SetUp();
    install_drawing();
    install_text();
    index = initwindow(300, 200, "Text", kDefaultPos, kDefaultPos, 0, 0);
    ASSERT_GE(index, 0);
    rec = record(index);
    ASSERT_NE(rec, nullptr);
  }
  Page& page() { return rec->pages[static_cast<size_t>(rec->active_page.load())]; }

  struct Ink {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // inclusive
  };
  Ink ink(Pixel background = 0) {
    Ink k;
    for (int y = 0; y < rec->height; ++y) {
      for (int x = 0; x < rec->width; ++x) {
        if (page().at(x, y) != background) {
          k.left = std::min(k.left, x), k.right = std::max(k.right, x);
          k.top = std::min(k.top, y), k.bottom = std::max(k.bottom, y);
        }
      }
    }
    return k;
  }
  void clear() {
    std::lock_guard<platform::CriticalSection> g(rec->dc_lock);
    page().fill(0);
  }

  int32_t index = -1;
  WindowRef rec;
};

TEST_F(Text, SettingsRoundTrip) {
  settextstyle(2, 1, 30);
  settextjustify(1, 0);
  settexttransparency(1);
  settexttransparency(5);  // refused
  textsettingstype s{};
  gettextsettings(&s);
  EXPECT_EQ(s.font, 2);
  EXPECT_EQ(s.direction, 1);
  EXPECT_EQ(s.charsize, 30);
  EXPECT_EQ(s.horiz, 1);
  EXPECT_EQ(s.vert, 0);
  EXPECT_EQ(s.transparency, 1);
  settextstyle(4, kKeepDirection, 20);
  gettextsettings(&s);
  EXPECT_EQ(s.direction, 1);
  settextsettings({6, 0, 14, 2, 2, 0});
  settextsettings_from_pointer(nullptr);
  gettextsettings(&s);
  EXPECT_EQ(s.font, 6);
  EXPECT_EQ(s.charsize, 14);
  EXPECT_EQ(s.horiz, 2);
  gettextsettings(nullptr);
}

TEST_F(Text, MatchThemeStyleUsesTheDefaultGuiFont) {
  setmatchthemetextstyle();
  textsettingstype s{};
  gettextsettings(&s);
  EXPECT_EQ(s.font, 7);
  EXPECT_EQ(s.charsize, platform::kDefaultGuiFontHeight);
  EXPECT_EQ(rec->current_font, platform::Font::default_gui());
}

TEST_F(Text, HeightIsTheCharacterSizePerLine) {
  settextstyle(1, 0, 12);
  EXPECT_EQ(textheight("A"), 12);
  EXPECT_EQ(textheight("A\nB"), 24);
  EXPECT_EQ(textheight(""), 12);
  EXPECT_EQ(textwidth(""), 0);
  EXPECT_GT(textwidth("AB"), textwidth("A"));
  EXPECT_EQ(textwidth(nullptr), -1);
  EXPECT_EQ(textheight(nullptr), -1);
}

TEST_F(Text, JustificationPlacesTheInk) {
  settextstyle(1, 0, 20);
  const int32_t w = textwidth("Wide text");
  struct Case {
    int32_t horiz;
    int expected_left;  // of the text box
  };
  for (const Case c : {Case{0, 150}, Case{1, 150 - w / 2}, Case{2, 150 - w}}) {
    SCOPED_TRACE(c.horiz);
    clear();
    settextjustify(c.horiz, 2);
    outtextxy(150, 50, "Wide text");
    const Ink k = ink();
    EXPECT_GE(k.left, c.expected_left);
    EXPECT_LE(k.left, c.expected_left + 3);  // the W's side bearing
    EXPECT_LE(k.right, c.expected_left + w - 1);
    EXPECT_GE(k.right, c.expected_left + w - 4);
  }
}

TEST_F(Text, OpaqueTextFillsItsBoxTransparentTextDoesNot) {
  settextstyle(1, 0, 16);
  rec->background_color = kRedColor;
  const int32_t w = textwidth("box"), h = textheight("box");
  outtextxy(20, 30, "box");
  for (int y = 30; y < 30 + h; ++y) {
    for (int x = 20; x < 20 + w; ++x) ASSERT_NE(page().at(x, y), 0u) << x << "," << y;
  }
  EXPECT_EQ(page().at(19, 30), 0u);
  EXPECT_EQ(page().at(20 + w, 30), 0u);
  EXPECT_EQ(page().at(20, 30 + h), 0u);
  clear();
  settexttransparency(1);
  outtextxy(20, 30, "box");
  for (int y = 0; y < rec->height; ++y) {
    for (int x = 0; x < rec->width; ++x) ASSERT_NE(page().at(x, y), kRedPixel);
  }
}

TEST_F(Text, VerticalTextIsHorizontalTextTurnedCounterClockwise) {
  settextstyle(2, 0, 18);
  const int32_t w = textwidth("Up 42"), h = textheight("Up 42");
  outtextxy(10, 10, "Up 42");
  Page flat(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) flat.at(x, y) = page().at(10 + x, 10 + y);
  }
  clear();
  settextstyle(2, 1, 18);
  outtextxy(100, 20, "Up 42");
  // Bitmap pixel (i, j) lands on page pixel (left + j, top + w - i).
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) {
      ASSERT_EQ(page().at(100 + j, 20 + w - i), flat.at(i, j)) << i << "," << j;
    }
  }
  textsettingstype s{};
  gettextsettings(&s);
  EXPECT_EQ(rec->text_position.x, 100 + w);  // x moves past the unrotated block
}

TEST_F(Text, VerticalTextCutAtThePageEdgesKeepsItsVisiblePart) {
  settextstyle(2, 1, 18);
  outtextxy(100, 40, "Up 42");
  const Page whole = page();
  clear();
  outtextxy(-5, -30, "Up 42");  // 105 columns left and 70 rows up: cut at both edges
  for (int y = 0; y + 70 < rec->height; ++y) {
    for (int x = 0; x + 105 < rec->width; ++x) {
      ASSERT_EQ(page().at(x, y), whole.at(x + 105, y + 70)) << x << "," << y;
    }
  }
}

TEST_F(Text, HugeVerticalTextDrawsOnlyWhatThePageShows) {
  settextstyle(1, 1, 1 << 20);        // cut to the largest font
  rec->background_color = kRedColor;  // opaque: the visible part of the box turns red
  const std::string text(300, 'W');
  outtextxy(0, 0, text.c_str());
  EXPECT_GT(textwidth(text.c_str()), 100000);
  EXPECT_EQ(page().at(0, 1), kRedPixel);
  EXPECT_EQ(page().at(rec->width - 1, rec->height - 1), kRedPixel);
  EXPECT_EQ(page().at(0, 0), 0u);  // the block starts one row below its corner
}

TEST_F(Text, OuttextMovesDownOuttextxyStartsAgain) {
  settextstyle(1, 0, 12);
  outtextxy(10, 10, "A");
  EXPECT_EQ(rec->text_position.x, 10);
  EXPECT_EQ(rec->text_position.y, 22);
  outtext("B");
  EXPECT_EQ(rec->text_position.y, 34);
  const Ink below = ink();
  EXPECT_GE(below.bottom, 22);  // the B is on the second line
  clear();
  outtextxy(10, 10, "A");
  outtextxy(10, 10, "A");  // the position is set again: the same place
  const Ink same = ink();
  EXPECT_LT(same.bottom, 22);
  settextjustify(0, 0);  // bottom: the text ends on the position, which stays
  outtextxy(10, 100, "A");
  EXPECT_EQ(rec->text_position.y, 100);
}

TEST_F(Text, NewWindowsWriteWithFontZeroAtTwelvePixels) {
  EXPECT_EQ(textheight("A"), 12);
  const int32_t bold = textwidth("Bold");
  graphdefaults();  // forgets the current font; the pages keep it
  EXPECT_EQ(rec->current_font, nullptr);
  EXPECT_EQ(textwidth("Bold"), bold);
  settextstyle(1, 0, 12);
  EXPECT_LT(textwidth("Bold"), bold);  // font 1 is not bold
}

TEST_F(Text, NullTextDrawsNothing) {
  outtextxy(5, 5, nullptr);
  EXPECT_EQ(ink().right, -1);
  EXPECT_EQ(rec->text_position.y, 5);
}

}  // namespace
}  // namespace gk
