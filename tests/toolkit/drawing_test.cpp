#include "toolkit/drawing.hpp"

#include <gtest/gtest.h>

#include "drawing_fixture.hpp"

namespace {

using toolkit_test::DrawingWindow;
using Rows = std::vector<std::string>;

TEST(DrawingArcs, EndPointsAreTruncatedTowardZero) {
  struct Case {
    int32_t degrees;
    platform::Point expected;
  };
  const Case cases[] = {{0, {150, 100}},
                        {90, {100, 50}},
                        {180, {50, 100}},
                        {270, {100, 150}},
                        {45, {135, 65}},  // 50 cos 45 = 35.36
                        {-45, {135, 135}}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.degrees);
    EXPECT_EQ(gk::ArcEndPoints(100, 100, 50, 50, k.degrees), k.expected);
  }
}

TEST_F(DrawingWindow, LineLeavesOutItsEndAndTheCurrentPosition) {
  gk::moveto(7, 8);
  gk::line(0, 0, 10, 0);
  EXPECT_EQ(rows(0, 0, 12, 1)[0], "##########..");
  EXPECT_EQ(gk::getx(), 7);
  EXPECT_EQ(gk::gety(), 8);
  gk::lineto(7, 12);
  EXPECT_EQ(gk::gety(), 12);
  gk::linerel(3, 0);
  EXPECT_EQ(gk::getx(), 10);
  EXPECT_EQ(pixel(7, 11), 0xFFFFFFu);
  EXPECT_EQ(pixel(9, 12), 0xFFFFFFu);
}

TEST_F(DrawingWindow, RectangleOutlinesAndBarFills) {
  gk::rectangle(0, 0, 10, 10);
  EXPECT_EQ(count(0xFFFFFF, 20, 20), 40);  // an 11 x 11 outline
  EXPECT_EQ(pixel(10, 10), 0xFFFFFFu);
  EXPECT_EQ(pixel(5, 5), 0u);
  gk::setfillstyle(1, 0x0000FF);
  gk::bar(20, 0, 30, 10);
  EXPECT_EQ(count(0x0000FF), 100);  // 10 x 10
  EXPECT_EQ(pixel(29, 9), 0x0000FFu);
  EXPECT_EQ(pixel(30, 9), 0u);
}

TEST_F(DrawingWindow, CheckerboardBarAlignsToWindowPixels) {
  gk::setviewport(3, 5, 100, 100, 0);  // the pattern must not follow the viewport
  gk::setfillstyle(9, 0x0000FF);
  gk::bar(0, 0, 8, 4);
  const Rows opaque = rows(3, 5, 11, 9);
  EXPECT_EQ(opaque, (Rows{"o..oo..o", ".oo..oo.", "o..oo..o", ".oo..oo."}));

  // Transparent gaps leave the page as it was.
  gk::resetviewport();
  gk::setfillstyle(1, 0xFFFFFF);
  gk::bar(20, 0, 28, 2);
  gk::setfillstyle(9, 0x0000FF);
  gk::setfilltransparency(1);
  gk::bar(20, 0, 28, 2);
  EXPECT_EQ(rows(20, 0, 29, 2), (Rows{"oo##oo##.", "##oo##oo."}));
}

TEST_F(DrawingWindow, ArcKeepsItsCoordinates) {
  gk::arc(100, 100, 0, 90, 50);
  gk::arccoordstype a{};
  gk::getarccoords(&a);
  EXPECT_EQ(a.x, 100);
  EXPECT_EQ(a.y, 100);
  EXPECT_EQ(a.xstart, 150);
  EXPECT_EQ(a.ystart, 100);
  EXPECT_EQ(a.xend, 100);
  EXPECT_EQ(a.yend, 50);
  // Upper right quarter only.
  EXPECT_EQ(pixel(149, 99), 0xFFFFFFu);
  EXPECT_EQ(pixel(100, 50), 0xFFFFFFu);
  EXPECT_EQ(count(0xFFFFFF, 100, kHeight), 0);
  EXPECT_EQ(count(0xFFFFFF) - count(0xFFFFFF, kWidth, 100), 0);
}

TEST_F(DrawingWindow, Bar3dDrawsItsSideAndTop) {
  gk::setfillstyle(1, 0x0000FF);
  gk::bar3d(10, 50, 60, 100, 20, 1);  // d = trunc(20 tan 30) = 11
  for (const platform::Point p : {platform::Point{60, 100},
                                  {80, 89},
                                  {80, 39},
                                  {70, 45},  // side's top edge: 44.5 rounded away from its start
                                  {60, 50},  // the side's last point closes the corner
                                  {30, 39},
                                  {20, 45},  // on the top's left edge
                                  {10, 50}}) {
    EXPECT_EQ(pixel(p.x, p.y), 0xFFFFFFu) << p.x << "," << p.y;
  }
  EXPECT_EQ(pixel(30, 70), 0x0000FFu);  // the face is filled
  EXPECT_EQ(pixel(81, 60), 0u);
  EXPECT_EQ(pixel(50, 38), 0u);
}

TEST_F(DrawingWindow, FloodFillStaysInsideItsOutline) {
  gk::rectangle(10, 10, 30, 20);
  gk::setfillstyle(1, 0x0000FF);
  gk::floodfill(15, 15, 0xFFFFFF);
  EXPECT_EQ(count(0x0000FF), 19 * 9);
  EXPECT_EQ(pixel(11, 11), 0x0000FFu);
  EXPECT_EQ(pixel(29, 19), 0x0000FFu);
  EXPECT_EQ(pixel(30, 20), 0xFFFFFFu);
  gk::setfillstyle(1, 0x00FF00);
  gk::floodfill(10, 15, 0xFFFFFF);  // a seed on the border fills nothing
  EXPECT_EQ(count(0x00FF00), 0);
}

TEST_F(DrawingWindow, StarPolygonLeavesItsCentreEmpty) {
  const int32_t star[] = {50, 10, 79, 95, 5, 40, 95, 40, 21, 95};
  gk::setfillstyle(1, 0x0000FF);
  gk::fillpoly(5, star);
  EXPECT_EQ(pixel(50, 55), 0u);         // centre pentagon
  EXPECT_EQ(pixel(50, 25), 0x0000FFu);  // top point
  EXPECT_EQ(pixel(15, 43), 0x0000FFu);  // left point
  EXPECT_EQ(pixel(50, 10), 0xFFFFFFu);  // outline
  gk::drawpoly(0, nullptr);             // nothing to draw, no crash
}

TEST_F(DrawingWindow, FillStyleZeroDrawsOutlinesOnly) {
  gk::setfillstyle(0, 0x0000FF);
  gk::fillellipse(50, 50, 20, 10);
  gk::pieslice(120, 50, 0, 90, 20);
  gk::sector(50, 110, 0, 180, 30, 15);
  gk::bar(150, 100, 190, 140);
  EXPECT_EQ(count(0x0000FF), 0);
  EXPECT_EQ(pixel(30, 50), 0xFFFFFFu);  // left end of the ellipse outline
  EXPECT_EQ(pixel(50, 50), 0u);
}

TEST_F(DrawingWindow, PieSliceFillsItsSector) {
  gk::setfillstyle(1, 0x0000FF);
  gk::pieslice(100, 80, 0, 90, 40);
  EXPECT_EQ(pixel(115, 65), 0x0000FFu);
  EXPECT_EQ(pixel(85, 65), 0u);   // left of the sector
  EXPECT_EQ(pixel(115, 95), 0u);  // below it
}

TEST_F(DrawingWindow, PutPixelAndClearDevice) {
  gk::putpixel(3, 4, 0x00FF00);
  EXPECT_EQ(gk::getpixel(3, 4), 0x00FF00);
  gk::setviewport(20, 30, 60, 70, 1);
  gk::setbkcolor(0x0000FF);
  gk::cleardevice();  // the whole window, despite the clip region
  EXPECT_EQ(count(0x0000FF), kWidth * kHeight);
  EXPECT_EQ(gk::getx(), -20);
  EXPECT_EQ(gk::gety(), -30);
  gk::line(-20, -30, 0, -30);  // the clip region is back
  EXPECT_EQ(count(0xFFFFFF), 0);
}

TEST_F(DrawingWindow, PolylinesCurvesAndEllipticalArcs) {
  const int32_t zigzag[] = {0, 0, 10, 10, 20, 0};
  gk::drawpoly(3, zigzag);
  EXPECT_EQ(pixel(5, 5), 0xFFFFFFu);
  EXPECT_EQ(pixel(15, 5), 0xFFFFFFu);
  EXPECT_EQ(pixel(20, 0), 0u);  // end pixel excluded
  gk::bezier(30, 40, 70, 40, 30, 0, 70, 0);
  EXPECT_EQ(pixel(30, 40), 0xFFFFFFu);
  EXPECT_EQ(pixel(50, 10), 0xFFFFFFu);      // apex at 40 - 0.75 * 40 = 10
  gk::ellipse(100, 100, 180, 360, 40, 20);  // lower half only
  EXPECT_EQ(pixel(100, 119), 0xFFFFFFu);
  EXPECT_EQ(pixel(100, 80), 0u);
  gk::arccoordstype a{};
  gk::getarccoords(&a);
  EXPECT_EQ(a.x, 0);  // only arc keeps its coordinates
}

TEST_F(DrawingWindow, FarCoordinatesStayFarInsteadOfWrappingRound) {
  constexpr int32_t kMin = INT32_MIN, kMax = INT32_MAX;
  gk::setfillstyle(9, 0x0000FF);
  gk::setfilltransparency(1);
  gk::bar(0, 0, kMax, kMax);  // the whole page, through the transparent road
  EXPECT_EQ(count(0x0000FF), kWidth * kHeight / 2);
  gk::cleardevice();
  gk::line(kMin, kMin, kMax, kMax);  // the page's diagonal
  EXPECT_EQ(count(0xFFFFFF), kHeight);
  // Sums of far coordinates stay far: none of these reaches the page.
  gk::moveto(kMax, kMax);
  gk::linerel(kMax, kMax);
  gk::moverel(kMax, kMax);
  EXPECT_EQ(gk::getx(), kMax);
  gk::circle(kMax, kMax, kMax);
  gk::arc(kMin, kMin, 0, 90, kMax);
  gk::ellipse(kMin, kMax, 0, 360, kMax, kMax);
  gk::fillellipse(kMax, kMin, kMax, kMax);
  gk::pieslice(kMax, kMax, 0, 90, kMin);
  gk::sector(kMin, kMin, 0, 270, kMax, kMax);
  gk::bar3d(kMax - 10, kMin, kMax, kMin + 10, kMax, 1);
  gk::putpixel(kMax, kMax, 0x00FF00);
  EXPECT_EQ(count(0xFFFFFF), kHeight);
  EXPECT_EQ(count(0), kWidth * kHeight - kHeight);
}

}  // namespace
