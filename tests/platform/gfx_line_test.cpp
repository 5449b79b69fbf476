#include <gtest/gtest.h>

#include <vector>

#include "gfx_pages.hpp"
#include "platform/gfx/device_context.hpp"

namespace {

using gfx_test::picture;
using platform::BkMode;
using platform::DeviceContext;
using platform::MixMode;
using platform::Page;
using platform::Pen;
using platform::Point;

constexpr platform::Color kWhite = 0xFFFFFF;

struct Canvas {
  Page page;
  DeviceContext dc;
  Canvas(int w, int h) : page(w, h), dc(page) { dc.select_pen(platform::stock_white_pen()); }
  void line(Point a, Point b) {
    dc.move_to(a);
    dc.line_to(b);
  }
};

TEST(GfxLine, LeavesOutTheEndPixel) {
  Canvas c(12, 3);
  c.line({0, 1}, {10, 1});
  EXPECT_EQ(picture(c.page, 0, 0, 12, 3),
            (std::vector<std::string>{"............", "##########..", "............"}));
  EXPECT_EQ(c.dc.position(), (Point{10, 1}));
}

TEST(GfxLine, StepsOnePixelAlongTheMajorAxis) {
  struct Case {
    const char* name;
    Point a, b;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"gentle slope", {0, 0}, {6, 2}, {"##.....", "..###..", ".....#.", "......."}},
      {"steep slope", {0, 0}, {2, 5}, {"#..", "#..", ".#.", ".#.", "..#", "..."}},
      {"diagonal", {0, 0}, {4, 4}, {"#....", ".#...", "..#..", "...#.", "....."}},
      {"leftward", {5, 0}, {0, 0}, {".#####"}},
      {"upward", {0, 3}, {0, 0}, {".", "#", "#", "#"}},
      {"zero length", {2, 2}, {2, 2}, {"...", "...", "..."}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const int h = static_cast<int>(k.expected.size());
    const int w = static_cast<int>(k.expected[0].size());
    Canvas c(w, h);
    c.line(k.a, k.b);
    EXPECT_EQ(picture(c.page, 0, 0, w, h), k.expected);
  }
}

// A segment to a far-away point inks exactly the pixels the same segment inks on a page
// large enough to hold it, and costs no more than its visible part.
TEST(GfxLine, FarEndpointsAreClippedExactly) {
  Canvas small(40, 30);
  small.line({-1000, -700}, {2000, 1400});
  Canvas big(4000, 3000);
  big.line({0, 0}, {3000, 2100});
  EXPECT_EQ(picture(small.page, 0, 0, 40, 30), picture(big.page, 1000, 700, 1040, 730));
  EXPECT_GT(gfx_test::count(small.page, 0xFFFFFF), 25);

  Canvas huge(20, 20);
  huge.line({-2147483647, 5}, {2147483647, 5});  // must not hang or overflow
  EXPECT_EQ(gfx_test::count(huge.page, 0xFFFFFF), 20);
}

TEST(GfxLine, ClosedPolylineOutlinesElevenPixelsSquare) {
  Canvas c(13, 13);
  const Point square[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}};
  c.dc.set_mix_mode(MixMode::Xor);  // every pixel inked once, corners too
  c.dc.polyline(square);
  const auto rows = picture(c.page, 0, 0, 13, 13);
  EXPECT_EQ(rows[0], "###########..");
  EXPECT_EQ(rows[5], "#.........#..");
  EXPECT_EQ(rows[10], "###########..");
  EXPECT_EQ(rows[11], ".............");
  EXPECT_EQ(gfx_test::count(c.page, 0xFFFFFF), 40);
}

TEST(GfxLine, XorTwiceRestoresThePage) {
  Canvas c(50, 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 50; ++x) c.page.at(x, y) = static_cast<platform::Pixel>(x * 977 + y * 131);
  const Page before = c.page;
  c.dc.set_mix_mode(MixMode::Xor);
  c.dc.select_pen(Pen::create(5, 0x00FF80, {3, 4, 7, 4}));
  c.dc.set_bk_mode(BkMode::Opaque);
  c.dc.set_bk_color(0x123456);
  // A self-crossing polyline: overlapping squares and crossings must be inked once.
  const Point zigzag[] = {{2, 2}, {45, 30}, {5, 35}, {40, 3}, {2, 2}};
  for (int i = 0; i < 2; ++i) {
    c.dc.polyline(zigzag);
    c.dc.move_to({0, 20});
    c.dc.line_to({49, 21});
  }
  EXPECT_EQ(picture(c.page, 0, 0, 50, 40), picture(before, 0, 0, 50, 40));
  EXPECT_TRUE(std::equal(c.page.data(), c.page.data() + 50 * 40, before.data()));
}

TEST(GfxLine, ViewportOriginAndClipRegion) {
  Canvas c(130, 80);
  c.dc.set_origin({10, 10});
  c.dc.set_clip(platform::Rect{10, 10, 110, 60});
  c.line({0, 0}, {200, 200});
  // The diagonal starts at window pixel (10, 10) and stops at the clip's last row, 59.
  EXPECT_EQ(c.page.at(10, 10), 0xFFFFFFu);
  EXPECT_EQ(c.page.at(59, 59), 0xFFFFFFu);
  EXPECT_EQ(c.page.at(60, 60), 0u);
  EXPECT_EQ(gfx_test::count(c.page, 0xFFFFFF), 50);
  EXPECT_EQ(c.dc.get_pixel({0, 0}), kWhite);
  EXPECT_EQ(c.dc.get_pixel({-1, 0}), platform::kInvalidColor);  // left of the clip
}

}  // namespace
