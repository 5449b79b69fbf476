#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/gfx/coverage.hpp"

namespace {

using platform::Point;
using platform::Rect;
using platform::raster::Coverage;
using platform::raster::Span;

TEST(GfxCoverage, NormalizeSortsAndMergesTouchingSpans) {
  Coverage c;
  c.add_span(2, 5, 8);
  c.add_span(1, 0, 3);
  c.add_span(2, 0, 5);  // touches 5..8
  c.add_span(2, 10, 12);
  c.add_span(1, 1, 2);  // inside 0..3
  c.normalize();
  EXPECT_EQ(c.spans(), (std::vector<Span>{{1, 0, 3}, {2, 0, 8}, {2, 10, 12}}));
  EXPECT_EQ(c.pixel_count(), 13);
  EXPECT_TRUE(c.contains(7, 2));
  EXPECT_FALSE(c.contains(8, 2));
  EXPECT_FALSE(c.contains(0, 0));
}

TEST(GfxCoverage, SubtractRemovesPixelsRowByRow) {
  Coverage a, b;
  a.add_span(0, 0, 10);
  a.add_span(1, 0, 10);
  a.add_span(3, 0, 4);
  b.add_span(0, 2, 4);
  b.add_span(0, 6, 7);
  b.add_span(1, -5, 20);
  b.add_span(2, 0, 10);
  b.add_span(3, 3, 9);
  a.subtract(b);
  EXPECT_EQ(a.spans(), (std::vector<Span>{{0, 0, 2}, {0, 4, 6}, {0, 7, 10}, {3, 0, 3}}));
}

TEST(GfxCoverage, DilateStampsSquaresWithinBounds) {
  Coverage c;
  c.add_pixel(5, 5);
  c.add_pixel(0, 0);
  c.dilate(1, 1, Rect{0, 0, 7, 7});
  EXPECT_EQ(c.spans(), (std::vector<Span>{{0, 0, 2}, {1, 0, 2}, {4, 4, 7}, {5, 4, 7}, {6, 4, 7}}));
}

TEST(GfxCoverage, DilateIsTheUnionOfTheSquaresOfEveryPixel) {
  // Pixels in rows near and far from each other, next to and apart in a row, some outside
  // the bounds; every square of every pixel stamped one by one is the answer.
  const std::vector<Point> pixels = {
      {5, 5}, {6, 5}, {9, 5}, {0, 6}, {20, 6}, {3, 9}, {3, 30}, {-2, 12}, {14, 40}, {7, 41}};
  const Rect bounds{0, 0, 18, 36};
  for (const auto& [before, after] : {std::pair{0, 1}, std::pair{1, 1}, std::pair{2, 3}}) {
    SCOPED_TRACE(testing::Message() << before << " before, " << after << " after");
    Coverage dilated, stamped;
    for (const Point& p : pixels) {
      dilated.add_pixel(p.x, p.y);
      for (int y = p.y - before; y <= p.y + after; ++y)
        for (int x = p.x - before; x <= p.x + after; ++x)
          if (bounds.contains(x, y)) stamped.add_pixel(x, y);
    }
    dilated.dilate(before, after, bounds);
    stamped.normalize();
    EXPECT_EQ(dilated.spans(), stamped.spans());
  }
}

}  // namespace
