#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx_pages.hpp"
#include "platform/gfx/device_context.hpp"

namespace {

using gfx_test::picture;
using platform::BkMode;
using platform::Brush;
using platform::DeviceContext;
using platform::HatchStyle;
using platform::MixMode;
using platform::Page;
using platform::Pen;
using platform::Point;
using platform::Rect;
using Rows = std::vector<std::string>;

const std::map<platform::Pixel, char> kLegend = {{0xFF0000, 'r'}, {0x0000FF, 'b'}};

TEST(GfxFill, FillRectIsHalfOpenAndIgnoresTheMixMode) {
  Page page(12, 12);
  DeviceContext dc(page);
  dc.set_mix_mode(MixMode::Xor);
  dc.fill_rect({0, 0, 10, 10}, *Brush::solid(0xFFFFFF));
  dc.fill_rect({0, 0, 10, 10}, *Brush::solid(0xFFFFFF));
  EXPECT_EQ(gfx_test::count(page, 0xFFFFFF), 100);
  EXPECT_EQ(page.at(9, 9), 0xFFFFFFu);
  EXPECT_EQ(page.at(10, 9), 0u);
}

TEST(GfxFill, RectangleOutlinesInsideItsRightAndBottomEdges) {
  struct Case {
    const char* name;
    bool null_pen;
    Rows expected;
  };
  const Case cases[] = {
      {"pen and brush", false, {"#####.", "#bbb#.", "#bbb#.", "#####.", "......"}},
      {"null pen", true, {"bbbb..", "bbbb..", "bbbb..", "......", "......"}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Page page(6, 5);
    DeviceContext dc(page);
    dc.select_pen(k.null_pen ? Pen::null() : platform::stock_white_pen());
    dc.select_brush(Brush::solid(0xFF0000));  // colour value: blue
    dc.rectangle({0, 0, 5, 4});
    EXPECT_EQ(picture(page, 0, 0, 6, 5, kLegend), k.expected);
  }
}

TEST(GfxFill, PatternBrushesAlignToPagePixels) {
  // Checkerboard of 2 x 2 cells: rows CC 33 CC 33 ...
  const platform::MonoPattern checker{0xCC, 0x33, 0xCC, 0x33, 0xCC, 0x33, 0xCC, 0x33};
  Page page(8, 4);
  DeviceContext dc(page);
  dc.set_origin({3, 1});  // the pattern must not move with the origin
  dc.set_text_color(0xFFFFFF);
  dc.set_bk_color(0xFF0000);
  dc.set_bk_mode(BkMode::Opaque);
  dc.select_pen(Pen::null());
  dc.select_brush(Brush::pattern(checker));
  dc.rectangle({-3, -1, 6, 4});  // device 0..7 x 0..3
  EXPECT_EQ(picture(page, 0, 0, 8, 4, kLegend),
            (Rows{"##bb##bb", "bb##bb##", "##bb##bb", "bb##bb##"}));

  page.fill(0x000080);
  dc.set_bk_mode(BkMode::Transparent);  // gaps stay untouched
  dc.rectangle({-3, -1, 6, 4});
  EXPECT_EQ(picture(page, 0, 0, 8, 2, {{0x000080, 'n'}}), (Rows{"##nn##nn", "nn##nn##"}));
}

TEST(GfxFill, HatchesAreMonoPatterns) {
  struct Case {
    HatchStyle style;
    Rows first_rows;
  };
  const Case cases[] = {
      {HatchStyle::Horizontal, {"########", "........", "........"}},
      {HatchStyle::Falling, {"#.......", ".#......", "..#....."}},
      {HatchStyle::Rising, {".......#", "......#.", ".....#.."}},
      {HatchStyle::Cross, {"########", "#.......", "#......."}},
      {HatchStyle::DiagonalCross, {"#......#", ".#....#.", "..#..#.."}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(static_cast<int>(k.style));
    Page page(8, 8);
    DeviceContext dc(page);
    dc.set_text_color(0xFFFFFF);
    dc.set_bk_color(0);
    dc.fill_rect({0, 0, 8, 8}, *Brush::hatch(k.style));
    EXPECT_EQ(picture(page, 0, 0, 8, 3), k.first_rows);
  }
}

TEST(GfxFill, PolygonUsesTheEvenOddRule) {
  Page page(31, 31);
  DeviceContext dc(page);
  dc.select_pen(Pen::null());
  dc.select_brush(Brush::solid(0xFFFFFF));
  const Point star[] = {{15, 1}, {24, 28}, {1, 10}, {29, 10}, {6, 28}};
  dc.polygon(star);
  EXPECT_EQ(page.at(15, 16), 0u);  // centre pentagon empty
  EXPECT_EQ(page.at(15, 13), 0u);
  EXPECT_EQ(page.at(15, 5), 0xFFFFFFu);  // top point filled
  EXPECT_EQ(page.at(4, 11), 0xFFFFFFu);  // left point filled
  EXPECT_EQ(page.at(7, 26), 0xFFFFFFu);  // lower left point filled

  Page square(12, 12);
  DeviceContext dc2(square);
  dc2.select_pen(Pen::null());
  const Point corners[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  dc2.polygon(corners);
  EXPECT_EQ(gfx_test::count(square, 0xFFFFFF), 100);
  EXPECT_EQ(square.at(9, 9), 0xFFFFFFu);
}

// Zigzags whose edges all cross every row, 10 of them and 1000: a pixel is inside when an odd
// number of edges cross its row at or left of its centre, counted here in exact integers (the
// rows are 64 high, so the rasteriser's slopes are exact too).
TEST(GfxFill, ZigzagsOfManyEdgesKeepTheEvenOddRule) {
  constexpr int kWidth = 100, kHeight = 64;
  for (const int n : {10, 1000}) {
    SCOPED_TRACE(n);
    std::vector<Point> points;
    for (int i = 0; i < n; ++i) points.push_back({i * kWidth / n, i % 2 ? kHeight : 0});
    Page page(kWidth, kHeight);
    DeviceContext dc(page);
    dc.select_pen(Pen::null());
    dc.polygon(points);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        int crossings = 0;
        for (size_t i = 0; i < points.size(); ++i) {
          Point lo = points[i], hi = points[(i + 1) % points.size()];
          if (lo.y > hi.y) std::swap(lo, hi);
          if (y < lo.y || y >= hi.y) continue;
          // lo.x + (y - lo.y) (hi.x - lo.x) / (hi.y - lo.y) <= x
          crossings += (lo.x - x) * (hi.y - lo.y) + (y - lo.y) * (hi.x - lo.x) <= 0;
        }
        ASSERT_EQ(page.at(x, y), crossings % 2 ? 0xFFFFFFu : 0u) << x << "," << y;
      }
    }
  }
}

TEST(GfxFill, PolyPolygonFillsItsRingsTogether) {
  Page page(16, 12);
  DeviceContext dc(page);
  dc.select_pen(Pen::null());
  dc.select_brush(Brush::solid(0xFFFFFF));
  // A square with a square hole, a separate triangle, and a count past the points left.
  const Point points[] = {{0, 0},
                          {10, 0},
                          {10, 10},
                          {0, 10},
                          {3, 3},
                          {7, 3},
                          {7, 7},
                          {3, 7},
                          {12, 0},
                          {15, 0},
                          {12, 4}};
  const int counts[] = {4, 4, 99};
  dc.poly_polygon(points, counts);
  EXPECT_EQ(picture(page, 0, 0, 16, 11),
            (Rows{"##########..###.",
                  "##########..###.",
                  "##########..##..",
                  "###....###..#...",
                  "###....###......",
                  "###....###......",
                  "###....###......",
                  "##########......",
                  "##########......",
                  "##########......",
                  "................"}));
  // With the pen each ring has its own closed outline.
  Page outlined(12, 12);
  DeviceContext dc2(outlined);
  dc2.select_pen(platform::stock_white_pen());
  dc2.select_brush(platform::stock_null_brush());
  dc2.poly_polygon(std::span(points, 8), std::span(counts, 2));
  EXPECT_EQ(picture(outlined, 0, 0, 12, 12),
            (Rows{"###########.",
                  "#.........#.",
                  "#.........#.",
                  "#..#####..#.",
                  "#..#...#..#.",
                  "#..#...#..#.",
                  "#..#...#..#.",
                  "#..#####..#.",
                  "#.........#.",
                  "#.........#.",
                  "###########.",
                  "............"}));
}

TEST(GfxFill, PolygonsSharingAnEdgeShareNoPixel) {
  Page page(20, 12);
  DeviceContext dc(page);
  dc.select_pen(Pen::null());
  dc.select_brush(Brush::solid(0xFFFFFF));
  dc.set_mix_mode(MixMode::Xor);
  const Point left[] = {{0, 0}, {13, 0}, {7, 11}, {0, 11}};
  const Point right[] = {{13, 0}, {19, 0}, {19, 11}, {7, 11}};
  dc.polygon(left);
  dc.polygon(right);
  // Together they tile 0..18 x 0..10 with each pixel written once.
  EXPECT_EQ(gfx_test::count(page, 0xFFFFFF), 19 * 11);
}

TEST(GfxFill, OutlinedShapesInkEachPixelOnceUnderXor) {
  Page page(60, 50);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 60; ++x) page.at(x, y) = static_cast<platform::Pixel>(x * 7 + y * 1000);
  const Page before = page;
  DeviceContext dc(page);
  dc.set_mix_mode(MixMode::Xor);
  dc.select_pen(Pen::create(3, 0x00FF00, {3, 4}));
  dc.select_brush(Brush::hatch(HatchStyle::DiagonalCross));
  dc.set_text_color(0x0000FF);
  const Point hexagon[] = {{5, 20}, {20, 2}, {40, 2}, {55, 20}, {40, 45}, {20, 45}};
  for (int i = 0; i < 2; ++i) {
    dc.polygon(hexagon);
    dc.rectangle({3, 3, 30, 30});
    dc.ellipse({10, 10, 50, 40});
    dc.pie({0, 0, 60, 50}, {60, 10}, {0, 45});
    dc.chord({2, 4, 58, 48}, {0, 0}, {60, 30});
    dc.round_rect({8, 6, 52, 44}, 20, 12);
    const int counts[] = {3, 3};
    dc.poly_polygon(std::span(hexagon, 6), counts);
  }
  EXPECT_TRUE(std::equal(page.data(), page.data() + 60 * 50, before.data()));
}

}  // namespace
