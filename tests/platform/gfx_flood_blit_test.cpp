#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx_pages.hpp"
#include "platform/gfx/blit.hpp"
#include "platform/gfx/device_context.hpp"

namespace {

using gfx_test::picture;
using platform::Brush;
using platform::DeviceContext;
using platform::MixMode;
using platform::Page;
using platform::Pen;
using platform::Point;
using platform::RasterOp;
using platform::Rect;
using Rows = std::vector<std::string>;

const std::map<platform::Pixel, char> kLegend = {{0xFF0000, 'r'}, {0x0000FF, 'b'}};

// A white outline with a gap-free diagonal wall, drawn on black.
struct Outline {
  Page page{12, 9};
  DeviceContext dc{page};
  Outline() {
    dc.select_pen(platform::stock_white_pen());
    const Point shape[] = {{1, 1}, {9, 1}, {9, 7}, {5, 7}, {1, 3}, {1, 1}};
    dc.polyline(shape);
    dc.select_brush(Brush::solid(0xFF0000));  // blue
  }
};

TEST(GfxFlood, FillsExactlyTheInsideOfAnOutline) {
  Outline o;
  EXPECT_TRUE(o.dc.flood_fill({4, 3}, 0xFFFFFF));
  EXPECT_EQ(picture(o.page, 0, 0, 12, 9, kLegend),
            (Rows{"............",
                  ".#########..",
                  ".#bbbbbbb#..",
                  ".#bbbbbbb#..",
                  "..#bbbbbb#..",
                  "...#bbbbb#..",
                  "....#bbbb#..",
                  ".....#####..",
                  "............"}));
}

TEST(GfxFlood, SeedOnTheBorderOrOutsideTheClipFillsNothing) {
  Outline o;
  const Page before = o.page;
  EXPECT_FALSE(o.dc.flood_fill({1, 1}, 0xFFFFFF));
  EXPECT_FALSE(o.dc.flood_fill({40, 3}, 0xFFFFFF));
  o.dc.set_clip(Rect{0, 0, 3, 9});
  EXPECT_FALSE(o.dc.flood_fill({4, 3}, 0xFFFFFF));
  EXPECT_TRUE(std::equal(o.page.data(), o.page.data() + 12 * 9, before.data()));
}

TEST(GfxFlood, StaysInsideTheClipRegion) {
  Outline o;
  o.dc.set_clip(Rect{0, 0, 6, 9});
  EXPECT_FALSE(o.dc.flood_fill({11, 0}, 0xFFFFFF));  // seed outside the clip
  EXPECT_TRUE(o.dc.flood_fill({0, 8}, 0xFFFFFF));    // outside the outline, clip 0..5
  const Rows rows = picture(o.page, 0, 0, 12, 9, kLegend);
  EXPECT_EQ(rows[0], "bbbbbb......");
  EXPECT_EQ(rows[8], "bbbbbb......");
  EXPECT_EQ(rows[4], "bb#......#..");
}

// Source page: pixel (x, y) = 0x10 * x + 0x1000 * y.
Page numbered(int w, int h) {
  Page p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p.at(x, y) = static_cast<platform::Pixel>(0x10 * x + 0x1000 * y);
  return p;
}

TEST(GfxBlit, CombinesByTheRasterOperation) {
  struct Case {
    RasterOp op;
    platform::Pixel expected;  // destination 0x00F0F0F0, source 0x00FF00FF
  };
  const Case cases[] = {{RasterOp::Copy, 0x00FF00FF},
                        {RasterOp::Xor, 0x000FF00F},
                        {RasterOp::Or, 0x00FFF0FF},
                        {RasterOp::And, 0x00F000F0},
                        {RasterOp::InvertedCopy, 0x0000FF00}};
  for (const Case& k : cases) {
    SCOPED_TRACE(static_cast<int>(k.op));
    Page src(2, 2), dst(2, 2);
    src.fill(0x00FF00FF);
    dst.fill(0x00F0F0F0);
    DeviceContext dc(dst);
    platform::bit_blt(dc, 0, 0, 2, 2, src, 0, 0, k.op);
    EXPECT_EQ(dst.at(1, 1), k.expected);
  }
}

TEST(GfxBlit, ClipsToTheDestinationAndTheSource) {
  const Page src = numbered(4, 4);
  Page dst(6, 6);
  DeviceContext dc(dst);
  dc.set_origin({1, 1});
  dc.set_clip(Rect{0, 0, 4, 6});
  // Logical (0, 0) is device (1, 1); the block reaches past the clip and past the source.
  platform::bit_blt(dc, 0, 0, 5, 5, src, 1, 1, RasterOp::Copy);
  EXPECT_EQ(dst.at(1, 1), src.at(1, 1));
  EXPECT_EQ(dst.at(3, 3), src.at(3, 3));
  EXPECT_EQ(dst.at(4, 1), 0u);  // outside the clip
  EXPECT_EQ(dst.at(1, 4), 0u);  // source row 4 does not exist
  EXPECT_EQ(dst.at(0, 0), 0u);
}

TEST(GfxBlit, MovesOverlappingBlocksWithinOnePage) {
  Page page = numbered(6, 1);
  const Page before = page;
  DeviceContext dc(page);
  platform::bit_blt(dc, 2, 0, 4, 1, page, 0, 0, RasterOp::Copy);
  for (int x = 2; x < 6; ++x) EXPECT_EQ(page.at(x, 0), before.at(x - 2, 0)) << x;
}

TEST(GfxBlit, StretchTakesTheSourcePixelUnderEachCentre) {
  const Page src = numbered(2, 2);
  Page dst(5, 4);
  DeviceContext dc(dst);
  platform::stretch_blt(dc, 0, 0, 4, 4, src, 0, 0, 2, 2, RasterOp::Copy);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.at(x, y), src.at(x / 2, y / 2)) << x << "," << y;
  EXPECT_EQ(dst.at(4, 0), 0u);
  Page shrunk(1, 1);
  DeviceContext dc2(shrunk);
  platform::stretch_blt(dc2, 0, 0, 1, 1, numbered(4, 4), 0, 0, 4, 4, RasterOp::Copy);
  EXPECT_EQ(shrunk.at(0, 0), numbered(4, 4).at(2, 2));
}

}  // namespace
