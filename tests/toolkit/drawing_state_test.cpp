#include "toolkit/drawing_state.hpp"

#include <gtest/gtest.h>

#include <thread>

#include "drawing_fixture.hpp"
#include "toolkit/drawing.hpp"

namespace {

using toolkit_test::DrawingWindow;
using Rows = std::vector<std::string>;

TEST(DrawingColours, ComponentsAreCutToEightBits) {
  EXPECT_EQ(gk::creatergb(255, 128, 0), 33023);
  EXPECT_EQ(gk::getgreenvalue(33023), 128);
  EXPECT_EQ(gk::creatergb(256 + 1, -1, 2), 1 + 255 * 256 + 2 * 65536);
  EXPECT_EQ(gk::getredvalue(gk::creatergb(12, 34, 56)), 12);
  EXPECT_EQ(gk::getbluevalue(gk::creatergb(12, 34, 56)), 56);
  EXPECT_EQ(gk::systemcolor(5), 0xFFFFFF);  // window background
}

TEST(DrawingLineStyles, UserPatternsBecomeDashArraysOfPeriodSixteen) {
  struct Case {
    uint16_t pattern;
    std::vector<int> dashes;
  };
  const Case cases[] = {
      {0x0000, {0, 16}},
      {0x00FF, {7, 9}},
      {0xFFFF, {15, 1}},
      {0xF0F0, {3, 5, 3, 5}},  // last run ends at the top bit: last gap s + 1
      {0x0F0F, {3, 5, 3, 5}},
      {0x0036, {1, 2, 1, 12}},  // runs 2, 2 with one clear bit between
      {0x8000, {0, 16}},
      {0x5555, {0, 2, 0, 2, 0, 2, 0, 2, 0, 2, 0, 2, 0, 2, 0, 2}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.pattern);
    const std::vector<int> d = gk::CreateUserStyle(k.pattern);
    EXPECT_EQ(d, k.dashes);
    int period = 0;
    for (int v : d) period += v;
    EXPECT_EQ(period, 16);
  }
  EXPECT_EQ(gk::line_style_dashes(2, 0), (std::vector<int>{3, 4, 7, 4}));
}

TEST_F(DrawingWindow, DefaultsAreWhiteOnBlackWithTheWholeWindowAsViewport) {
  EXPECT_EQ(gk::getcolor(), 0xFFFFFF);
  EXPECT_EQ(gk::getbkcolor(), 0);
  EXPECT_EQ(gk::getmaxx(), kWidth - 1);
  EXPECT_EQ(gk::getmaxy(), kHeight - 1);
  gk::viewporttype v{};
  gk::getviewsettings(&v);
  EXPECT_EQ(v.right, kWidth);
  EXPECT_EQ(v.clip, 0);
  gk::linesettingstype l{};
  gk::getlinesettings(&l);
  EXPECT_EQ(l.linestyle, 0);
  EXPECT_EQ(l.thickness, 1);
  EXPECT_EQ(l.transparency, 1);
  EXPECT_EQ(count(0), kWidth * kHeight);  // the page starts black
}

TEST_F(DrawingWindow, ViewportMovesTheOriginAndClipsToWindowPixels) {
  gk::setviewport(10, 10, 110, 60, 1);
  gk::line(0, 0, 200, 200);
  EXPECT_EQ(pixel(10, 10), 0xFFFFFFu);
  EXPECT_EQ(pixel(59, 59), 0xFFFFFFu);
  EXPECT_EQ(pixel(60, 60), 0u);
  EXPECT_EQ(count(0xFFFFFF), 50);
  EXPECT_EQ(gk::getx(), 0);
  EXPECT_EQ(gk::getpixel(0, 0), 0xFFFFFF);
  EXPECT_EQ(gk::getpixel(-1, -1), -1);  // outside the clip region
}

TEST_F(DrawingWindow, ClearViewportFillsExactlyTheViewport) {
  gk::setbkcolor(gk::creatergb(0, 0, 255));
  gk::setviewport(10, 10, 110, 60, 0);
  gk::moveto(5, 5);
  gk::clearviewport();
  EXPECT_EQ(count(0xFF0000), 100 * 50);
  EXPECT_EQ(pixel(10, 10), 0xFF0000u);
  EXPECT_EQ(pixel(109, 59), 0xFF0000u);
  EXPECT_EQ(pixel(110, 59), 0u);
  EXPECT_EQ(pixel(109, 60), 0u);
  EXPECT_EQ(gk::getx(), 0);
  EXPECT_EQ(gk::gety(), 0);
}

TEST_F(DrawingWindow, InvalidFillStyleChangesNothing) {
  gk::setfillstyle(9, 0x00FF00);
  gk::setfillstyle(13, 0x0000FF);
  gk::fillsettingstype f{};
  gk::getfillsettings(&f);
  EXPECT_EQ(f.pattern, 9);
  EXPECT_EQ(f.color, 0x00FF00);
  EXPECT_EQ(rec_->graphics_result, gk::kInvalidFillStyle);
  gk::setfillstyle(12, 0x0000FF);  // the user pattern stays; no error
  gk::getfillsettings(&f);
  EXPECT_EQ(f.pattern, 9);
}

TEST_F(DrawingWindow, FillPatternIsStoredAndDrawnInTheFillColour) {
  const uint8_t stripes[8] = {0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0};
  gk::setfillpattern(stripes, 0x0000FF);
  uint8_t back[8] = {};
  gk::getfillpattern(back);
  EXPECT_TRUE(std::equal(back, back + 8, stripes));
  gk::bar(0, 0, 4, 4);
  EXPECT_EQ(rows(0, 0, 5, 4), (Rows{"oooo.", ".....", "oooo.", "....."}));
  EXPECT_EQ(pixel(0, 0), 0x0000FFu);
  // The drawing colour is back as the page's text colour after the fill.
  EXPECT_EQ(rec_->page_dcs[rec_->active_page]->text_color(), 0xFFFFFFu);
}

TEST_F(DrawingWindow, WriteModeXorTwiceRestoresThePage) {
  gk::setfillstyle(1, 0x123456);
  gk::bar(5, 5, 60, 40);
  std::vector<uint32_t> before;
  for (int32_t y = 0; y < 80; ++y)
    for (int32_t x = 0; x < 80; ++x) before.push_back(pixel(x, y));
  gk::setwritemode(1);
  gk::setlinestyle(3, 0, 3);
  for (int i = 0; i < 2; ++i) {
    gk::line(0, 0, 70, 50);
    gk::rectangle(2, 2, 50, 30);
    gk::circle(30, 30, 20);
  }
  size_t i = 0;
  for (int32_t y = 0; y < 80; ++y)
    for (int32_t x = 0; x < 80; ++x) ASSERT_EQ(pixel(x, y), before[i++]) << x << "," << y;
}

TEST_F(DrawingWindow, DashGapsFollowTheLineTransparency) {
  gk::setbkcolor(0x0000FF);
  gk::setlinestyle(1, 0, 1);  // 4 on, 3 off
  gk::line(0, 0, 14, 0);
  EXPECT_EQ(rows(0, 0, 15, 1)[0], "####...####....");
  gk::setlinetransparency(0);
  gk::line(0, 1, 14, 1);
  EXPECT_EQ(rows(0, 1, 15, 2)[0], "####ooo####ooo.");
  gk::setlinestyle(4, 0x00FF, 1);  // 8 on, 8 off
  gk::setlinetransparency(1);
  gk::line(0, 2, 20, 2);
  EXPECT_EQ(rows(0, 2, 20, 3)[0], "########........####");
  gk::setlinestyle(4, 0x5555, 1);  // single set bits: every other pixel
  gk::line(0, 3, 20, 3);
  EXPECT_EQ(rows(0, 3, 20, 4)[0], "#.#.#.#.#.#.#.#.#.#.");
  gk::setlinestyle(4, 0x8000, 1);  // one pixel in 16
  gk::line(0, 4, 20, 4);
  EXPECT_EQ(rows(0, 4, 20, 5)[0], "#...............#...");
  gk::setlinestyle(4, 0, 1);  // nothing at all, gaps included
  gk::setlinetransparency(0);
  gk::line(0, 5, 20, 5);
  EXPECT_EQ(rows(0, 5, 20, 6)[0], "....................");
}

TEST_F(DrawingWindow, DisplayColourIsTheColourItself) {
  gk::putpixel(0, 0, 0x00FF00);
  EXPECT_EQ(gk::getdisplaycolor(0x123456), 0x123456);
  EXPECT_EQ(pixel(0, 0), 0x00FF00u);  // put back
}

TEST_F(DrawingWindow, VisualPageReachesTheScreenOnlyByTheRefreshRule) {
  const platform::Hwnd h = handle(index_);
  gk::setfillstyle(1, 0x0000FF);
  gk::bar(10, 10, 20, 20);
  ASSERT_TRUE(user.settle(h));
  EXPECT_EQ(user.shown(h).at(15, 15), platform::to_pixel(0x0000FF));

  // A hidden page changes nothing on screen, not even with refreshall ...
  gk::setactivepage(1);
  gk::bar(30, 30, 40, 40);
  gk::refreshall();
  ASSERT_TRUE(user.settle(h));
  EXPECT_EQ(user.shown(h).at(35, 35), 0u);
  // ... until it is shown.
  gk::setvisualpage(1);
  ASSERT_TRUE(user.settle(h));
  EXPECT_EQ(user.shown(h).at(35, 35), platform::to_pixel(0x0000FF));

  // With the refresh flag off, drawing waits for refreshall.
  gk::setrefreshing(0);
  EXPECT_EQ(gk::getrefreshingbgi(), 0);
  gk::bar(50, 50, 60, 60);
  gk::RefreshWindow(nullptr);  // follows the refresh rule: nothing
  ASSERT_TRUE(user.settle(h));
  EXPECT_EQ(user.shown(h).at(55, 55), 0u);
  gk::refreshall();
  ASSERT_TRUE(user.settle(h));
  EXPECT_EQ(user.shown(h).at(55, 55), platform::to_pixel(0x0000FF));
}

TEST_F(DrawingWindow, SizesAddTheFrameOfTheClassicStyle) {
  // Fixed frame 3, caption 23 on a 1024 x 768 headless screen.
  EXPECT_EQ(gk::getwindowwidth(), kWidth + 6);
  EXPECT_EQ(gk::getwindowheight(), kHeight + 23 + 6);
  EXPECT_EQ(gk::getmaxwidth(), 1024 - 6);
  EXPECT_EQ(gk::getmaxheight(), 768 - 23 - 6);
}

TEST_F(DrawingWindow, RefreshCoversThickPensAndExplicitRectangles) {
  const platform::Hwnd h = handle(index_);
  gk::setlinestyle(0, 0, 5);
  gk::line(50, 50, 100, 50);  // the pen reaches rows 48..52
  ASSERT_TRUE(user.settle(h));
  EXPECT_EQ(user.shown(h).at(60, 48), 0xFFFFFFu);
  EXPECT_EQ(user.shown(h).at(60, 52), 0xFFFFFFu);

  gk::setrefreshing(0);
  gk::setviewport(10, 10, 200, 150, 0);
  gk::setfillstyle(1, 0x0000FF);
  gk::bar(100, 100, 120, 120);
  gk::refreshrect(115, 115, 100, 100);  // corners sorted, logical coordinates
  ASSERT_TRUE(user.settle(h));
  const platform::Pixel red = platform::to_pixel(0x0000FF);
  EXPECT_EQ(user.shown(h).at(110, 110), red);
  EXPECT_EQ(user.shown(h).at(124, 124), red);
  EXPECT_EQ(user.shown(h).at(126, 126), 0u);  // drawn but not yet shown
  EXPECT_EQ(pixel(126, 126), 0x0000FFu);
}

TEST_F(DrawingWindow, LeaseHoldsTheLockOfItsOwnWindow) {
  gk::DcLease lease = gk::GK__GetCompatDC(0);
  ASSERT_TRUE(lease);
  EXPECT_EQ(&lease.record(), rec_.get());
  EXPECT_EQ(&lease.dc(), rec_->page_dcs[rec_->active_page].get());
  gk::GK__ReleaseCompatDC(lease);
  EXPECT_FALSE(lease);
  gk::closewindow(index_);
  EXPECT_FALSE(gk::GK__GetFoundDC(rec_));  // a closed window gives no device context
}

}  // namespace

namespace {

// Several threads draw on one window while its thread paints: every call holds the DC lock,
// so each figure drawn twice in exclusive-or mode leaves its area as it was.
TEST_F(DrawingWindow, ThreadsDrawingOnOneWindowAreSerialised) {
  gk::setfillstyle(1, 0x00FF00);
  gk::setwritemode(1);
  auto lines = [] {
    for (int i = 0; i < 100; ++i) gk::line(0, i % 40, 150, 40 - i % 40);
  };
  auto ellipses = [] {  // bar would not do: its fill ignores the write mode
    for (int i = 0; i < 100; ++i) gk::fillellipse(50 + i % 50, 90, 40, 25);
  };
  std::thread a(lines), b(ellipses), c(lines), d(ellipses);
  for (int i = 0; i < 20; ++i) {
    gk::refreshall();
    user.settle(handle(index_));
  }
  a.join();
  b.join();
  c.join();
  d.join();
  EXPECT_EQ(count(0), kWidth * kHeight);
}

}  // namespace
