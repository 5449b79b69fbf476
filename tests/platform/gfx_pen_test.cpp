#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx_pages.hpp"
#include "platform/gfx/device_context.hpp"

namespace {

using gfx_test::picture;
using platform::BkMode;
using platform::DeviceContext;
using platform::Page;
using platform::Pen;

// Row 0 of a 40-pixel line from (0, 0) to (40, 0) drawn with `dashes`.
std::string dashed_row(std::vector<int> dashes, BkMode mode) {
  Page page(40, 1);
  DeviceContext dc(page);
  dc.select_pen(Pen::create(1, 0xFFFFFF, dashes));
  dc.set_bk_mode(mode);
  dc.set_bk_color(0x0000FF);  // red, shown as 'r'
  dc.line_to({40, 0});
  return picture(page, 0, 0, 40, 1, {{0xFF0000, 'r'}})[0];
}

TEST(GfxPen, DashRunsAlongALine) {
  struct Case {
    const char* name;
    std::vector<int> dashes;
    std::string transparent;
  };
  const Case cases[] = {
      {"solid", {16, 0}, std::string(40, '#')},
      {"dotted 3,4: 4 on 3 off", {3, 4}, "####...####...####...####...####...####."},
      {"dashed 7,4: 8 on 3 off", {7, 4}, "########...########...########...#######"},
      {"7,9: 8 on 8 off", {7, 9}, "########........########........########"},
      {"centre 3,4,7,4", {3, 4, 7, 4}, "####...########...####...########...####"},
      {"0,16: one in 16", {0, 16}, "#...............#...............#......."},
      {"0,2: every other pixel", {0, 2}, "#.#.#.#.#.#.#.#.#.#.#.#.#.#.#.#.#.#.#.#."},
      {"empty array: solid", {}, std::string(40, '#')},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ASSERT_EQ(k.transparent.size(), 40u);
    EXPECT_EQ(dashed_row(k.dashes, BkMode::Transparent), k.transparent);
    std::string opaque = k.transparent;
    for (char& ch : opaque)
      if (ch == '.') ch = 'r';
    EXPECT_EQ(dashed_row(k.dashes, BkMode::Opaque), opaque);
  }
}

TEST(GfxPen, InksStepsByThePattern) {
  auto pen = Pen::create(1, 0, {2, 3});  // 3 on, 2 off
  const bool expected[] = {true, true, true, false, false, true, true, true, false, false};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(pen->inks(i), expected[i]) << i;
  EXPECT_TRUE(pen->inks(5'000'000'000));  // 5e9 mod 5 = 0
  EXPECT_TRUE(Pen::create(1, 0, {16, 0})->solid());
  EXPECT_FALSE(Pen::null()->inks(0));
  EXPECT_FALSE(Pen::create(1, 0, {0, 0})->inks(0));
}

TEST(GfxPen, DashContinuesAcrossPolylineVertices) {
  Page page(12, 6);
  DeviceContext dc(page);
  dc.select_pen(Pen::create(1, 0xFFFFFF, {3, 4}));
  dc.set_bk_mode(BkMode::Transparent);
  const platform::Point path[] = {{0, 0}, {5, 0}, {5, 5}};
  dc.polyline(path);
  EXPECT_EQ(
      picture(page, 0, 0, 7, 6),
      (std::vector<std::string>{"####...", ".......", ".....#.", ".....#.", ".....#.", "......."}));
}

TEST(GfxPen, DashesRunOnAlongPathsLongerThanOnePieceOfTracing) {
  // 10 segments of 10,000 pixels: the path is gathered a piece at a time, and the dash
  // pattern (4 on, 3 off) continues across the pieces.
  Page page(100'001, 1);
  DeviceContext dc(page);
  dc.select_pen(Pen::create(1, 0xFFFFFF, {3, 4}));
  dc.set_bk_mode(BkMode::Transparent);
  std::vector<platform::Point> path;
  for (int x = 0; x <= 100'000; x += 10'000) path.push_back({x, 0});
  dc.polyline(path);
  int wrong = 0;
  for (int x = 0; x < 100'000; ++x) wrong += (page.at(x, 0) == 0xFFFFFF) != (x % 7 < 4);
  EXPECT_EQ(wrong, 0);
}

TEST(GfxPen, ThickPenStampsASquareOnEachSpinePixel) {
  Page page(12, 7);
  DeviceContext dc(page);
  dc.select_pen(Pen::create(3, 0xFFFFFF));
  dc.move_to({2, 3});
  dc.line_to({8, 3});
  EXPECT_EQ(picture(page, 0, 0, 12, 7),
            (std::vector<std::string>{"............",
                                      "............",
                                      ".########...",
                                      ".########...",
                                      ".########...",
                                      "............",
                                      "............"}));
  Page even(6, 6);
  DeviceContext dc2(even);
  dc2.select_pen(Pen::create(2, 0xFFFFFF));
  dc2.move_to({2, 2});
  dc2.line_to({3, 2});  // one spine pixel: a 2 x 2 square reaching right and down
  EXPECT_EQ(picture(even, 0, 0, 6, 6),
            (std::vector<std::string>{"......", "......", "..##..", "..##..", "......", "......"}));
}

TEST(GfxPen, ThickDashesWinOverGapsWhereTheyOverlap) {
  Page page(16, 5);
  DeviceContext dc(page);
  dc.select_pen(Pen::create(3, 0xFFFFFF, {1, 4}));  // 2 on, 3 off
  dc.set_bk_color(0x0000FF);
  dc.move_to({1, 2});
  dc.line_to({15, 2});
  EXPECT_EQ(picture(page, 0, 0, 16, 5, {{0xFF0000, 'r'}})[2], "####r####r####rr");
}

TEST(GfxPen, NullPenInksNothingAndWidthIsBounded) {
  Page page(8, 8);
  DeviceContext dc(page);
  dc.select_pen(Pen::null());
  dc.line_to({7, 7});
  EXPECT_EQ(gfx_test::count(page, 0), 64);
  EXPECT_EQ(Pen::create(0, 0)->width(), 1);
  EXPECT_EQ(Pen::create(1 << 30, 0)->width(), Pen::kMaxWidth);
}

}  // namespace
