#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "gfx_pages.hpp"
#include "platform/gfx/device_context.hpp"

namespace {

using gfx_test::picture;
using platform::Brush;
using platform::DeviceContext;
using platform::Page;
using platform::Pen;
using platform::Point;
using platform::Rect;
using Rows = std::vector<std::string>;

struct Canvas {
  Page page;
  DeviceContext dc;
  Canvas(int w, int h) : page(w, h), dc(page) {
    dc.select_pen(platform::stock_white_pen());
    dc.select_brush(Brush::solid(0xFF0000));  // blue, shown as 'b'
  }
  Rows rows() { return picture(page, 0, 0, page.width(), page.height(), {{0x0000FF, 'b'}}); }
};

// Every row and column of a picture reads the same mirrored.
void expect_symmetric(const Rows& rows) {
  for (size_t y = 0; y < rows.size(); ++y) {
    EXPECT_EQ(rows[y], std::string(rows[y].rbegin(), rows[y].rend())) << "row " << y;
    EXPECT_EQ(rows[y], rows[rows.size() - 1 - y]) << "row " << y;
  }
}

TEST(GfxEllipse, FillsItsBoxAndOutlinesItsBorder) {
  Canvas c(10, 8);
  c.dc.ellipse({0, 0, 10, 8});
  const Rows rows = c.rows();
  EXPECT_EQ(rows,
            (Rows{"...####...",
                  ".##bbbb##.",
                  "#bbbbbbbb#",
                  "#bbbbbbbb#",
                  "#bbbbbbbb#",
                  "#bbbbbbbb#",
                  ".##bbbb##.",
                  "...####..."}));
  expect_symmetric(rows);
}

TEST(GfxEllipse, LargeCircleIsSymmetricAndEightConnected) {
  Canvas c(41, 41);
  c.dc.select_brush(platform::stock_null_brush());
  c.dc.ellipse({0, 0, 41, 41});
  const Rows rows = c.rows();
  expect_symmetric(rows);
  // Each outline pixel has exactly two outline neighbours among its eight: a closed thin curve.
  for (int y = 0; y < 41; ++y)
    for (int x = 0; x < 41; ++x) {
      if (rows[y][x] != '#') continue;
      int n = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
          if ((dx || dy) && x + dx >= 0 && x + dx < 41 && y + dy >= 0 && y + dy < 41 &&
              rows[y + dy][x + dx] == '#')
            ++n;
      EXPECT_GE(n, 2) << x << "," << y;
    }
  EXPECT_EQ(rows[20].front(), '#');
  EXPECT_EQ(rows[20].back(), '#');
}

TEST(GfxEllipse, ArcRunsCounterClockwiseBetweenTheRays) {
  struct Case {
    const char* name;
    Point start, end;
    Rows expected;
  };
  const Case cases[] = {
      {"upper right quarter",
       {10, 5},
       {5, 0},
       {".....##...",
        ".......##.",
        "........#.",
        ".........#",
        ".........#",
        "..........",
        "..........",
        "..........",
        "..........",
        ".........."}},
      {"upper half",
       {10, 5},
       {0, 5},
       {"...####...",
        ".##....##.",
        ".#......#.",
        "#........#",
        "#........#",
        "..........",
        "..........",
        "..........",
        "..........",
        ".........."}},
      {"lower half",
       {0, 5},
       {10, 5},
       {"..........",
        "..........",
        "..........",
        "..........",
        "..........",
        "#........#",
        "#........#",
        ".#......#.",
        ".##....##.",
        "...####..."}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Canvas c(10, 10);
    c.dc.arc({0, 0, 10, 10}, k.start, k.end);
    EXPECT_EQ(c.rows(), k.expected);
  }
  Canvas full(10, 10), arc(10, 10);
  full.dc.select_brush(platform::stock_null_brush());
  full.dc.ellipse({0, 0, 10, 10});
  arc.dc.arc({0, 0, 10, 10}, {10, 2}, {15, -1});  // same ray: the whole ellipse
  EXPECT_EQ(arc.rows(), full.rows());
}

TEST(GfxEllipse, PieFillsTheSectorInsideItsOutline) {
  Canvas c(21, 21);
  c.dc.pie({0, 0, 21, 21}, {21, 10}, {10, 0});  // upper right quarter
  const Rows rows = c.rows();
  // Nothing left of the vertical radius or below the horizontal one.
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 21; ++x) {
      if (x < 10 || y > 11) {
        EXPECT_EQ(rows[y][x], '.') << x << "," << y;
      }
    }
  EXPECT_EQ(rows[5][14], 'b');   // inside the sector
  EXPECT_EQ(rows[3][10], '#');   // vertical radius
  EXPECT_EQ(rows[10][15], '#');  // horizontal radius
}

// A pie's fill is the ellipse's pixels whose centres lie between its rays, which the
// rasteriser finds with a few questions a row: every pixel of page-filling pies is checked
// here against that rule, with rays along the centre row, nearly along a row, steep, equal,
// and both crossing the same rows.
TEST(GfxEllipse, PieFillHoldsExactlyThePixelsBetweenItsRays) {
  const Rect box{0, 0, 200, 151};  // centre (100, 75.5): row 75's centres lie on it
  const struct {
    Point start, end;
  } cases[] = {{{200, 75}, {0, 75}},
               {{0, 75}, {200, 76}},
               {{10000, 76}, {-10000, 74}},
               {{101, 0}, {99, 151}},
               {{150, 10}, {150, 10}},
               {{30, 140}, {170, 20}},
               {{150, 0}, {120, 0}},
               {{120, 0}, {150, 0}}};
  Canvas ellipse(200, 151);
  ellipse.dc.select_pen(Pen::null());
  ellipse.dc.ellipse(box);
  constexpr double kTurn = 2 * std::numbers::pi;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.start.x << "," << c.start.y << " to " << c.end.x << "," << c.end.y);
    Canvas pie(200, 151);
    pie.dc.select_pen(Pen::null());
    pie.dc.pie(box, c.start, c.end);
    const auto angle = [](double x, double y) { return std::atan2(75.5 - y, x - 100.0); };
    const double a0 = angle(c.start.x, c.start.y);
    double span = std::fmod(angle(c.end.x, c.end.y) - a0 + 2 * kTurn, kTurn);
    if (span == 0) span = kTurn;
    for (int y = 0; y < 151; ++y) {
      for (int x = 0; x < 200; ++x) {
        const double past = std::fmod(angle(x + 0.5, y + 0.5) - a0 + 2 * kTurn, kTurn);
        // Centres on a ray go either way by rounding; the rule decides all others.
        constexpr double kOnRay = 1e-9;
        if (std::fabs(past - span) < kOnRay || past < kOnRay || kTurn - past < kOnRay) continue;
        const bool inside = ellipse.page.at(x, y) == 0x0000FFu && past <= span;
        ASSERT_EQ(pie.page.at(x, y), inside ? 0x0000FFu : 0u) << x << "," << y;
      }
    }
  }
}

TEST(GfxEllipse, PieOutlineEnclosesItsFill) {
  // No filled pixel may touch a pixel outside the outline, whatever the angles and radii.
  for (const int rx : {5, 9, 20})
    for (const int ry : {5, 10, 17})
      for (int start = 0; start < 360; start += 30)
        for (const int sweep : {15, 90, 200}) {
          SCOPED_TRACE(testing::Message()
                       << "radii " << rx << "," << ry << " angles " << start << "+" << sweep);
          const auto point = [&](int degrees) {
            const double a = degrees * std::numbers::pi / 180.0;
            return Point{30 + static_cast<int>(std::trunc(rx * std::cos(a))),
                         30 - static_cast<int>(std::trunc(ry * std::sin(a)))};
          };
          Canvas c(60, 60);
          c.dc.pie({30 - rx, 30 - ry, 30 + rx, 30 + ry}, point(start), point(start + sweep));
          const Rows rows = c.rows();
          for (int y = 1; y < 59; ++y)
            for (int x = 1; x < 59; ++x) {
              if (rows[y][x] != 'b') continue;
              ASSERT_NE(rows[y][x - 1], '.') << x << "," << y;
              ASSERT_NE(rows[y][x + 1], '.') << x << "," << y;
              ASSERT_NE(rows[y - 1][x], '.') << x << "," << y;
              ASSERT_NE(rows[y + 1][x], '.') << x << "," << y;
            }
        }
}

TEST(GfxEllipse, ChordsSplitTheEllipseAndStayInsideTheirOutline) {
  // The chords of the two arcs between the same rays part the ellipse along the line: every
  // pixel of the ellipse is in one of them, only the line's pixels in both. A chord narrower
  // than a half turn lies within its pie. With a pen, no filled pixel touches one outside.
  const Rect box{10, 12, 51, 49};
  for (int start = 0; start < 360; start += 45)
    for (const int sweep : {30, 90, 180, 270}) {
      SCOPED_TRACE(testing::Message() << "angles " << start << "+" << sweep);
      const auto point = [](int degrees) {
        const double a = degrees * std::numbers::pi / 180.0;
        return Point{30 + static_cast<int>(std::lround(40 * std::cos(a))),
                     30 - static_cast<int>(std::lround(40 * std::sin(a)))};
      };
      const Point from = point(start), to = point(start + sweep);
      Canvas one(60, 60), other(60, 60), whole(60, 60), pie(60, 60), outlined(60, 60);
      for (Canvas* c : {&one, &other, &whole, &pie}) c->dc.select_pen(Pen::null());
      one.dc.chord(box, from, to);
      other.dc.chord(box, to, from);
      whole.dc.ellipse(box);
      pie.dc.pie(box, from, to);
      outlined.dc.chord(box, from, to);
      const Rows a = one.rows(), b = other.rows(), e = whole.rows(), p = pie.rows();
      const Rows o = outlined.rows();
      int both = 0;
      for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) {
          const bool in_a = a[y][x] == 'b', in_b = b[y][x] == 'b';
          ASSERT_EQ(in_a || in_b, e[y][x] == 'b') << x << "," << y;
          both += in_a && in_b;
          if (sweep < 180 && in_a) {
            ASSERT_EQ(p[y][x], 'b') << x << "," << y;
          }
          if (o[y][x] != 'b') continue;
          ASSERT_NE(o[y][x - 1], '.') << x << "," << y;
          ASSERT_NE(o[y][x + 1], '.') << x << "," << y;
          ASSERT_NE(o[y - 1][x], '.') << x << "," << y;
          ASSERT_NE(o[y + 1][x], '.') << x << "," << y;
        }
      EXPECT_LE(both, 2 * 41);
    }
  // The upper half: the chord is the horizontal diameter.
  Canvas c(21, 21);
  c.dc.chord({0, 0, 21, 21}, {21, 10}, {0, 10});
  const Rows rows = c.rows();
  for (int x = 0; x < 21; ++x)
    for (int y = 12; y < 21; ++y) EXPECT_EQ(rows[y][x], '.') << x << "," << y;
  EXPECT_EQ(rows[5][10], 'b');
  EXPECT_EQ(rows[10][10], '#');  // the chord
  // Rays in the same direction: the whole ellipse.
  Canvas whole(10, 10), same(10, 10);
  whole.dc.ellipse({0, 0, 10, 10});
  same.dc.chord({0, 0, 10, 10}, {10, 2}, {15, -1});
  EXPECT_EQ(same.rows(), whole.rows());
}

TEST(GfxEllipse, RoundRectCornersAreQuartersOfTheCornerEllipse) {
  // Each corner is the matching quarter of the corner ellipse drawn alone; between the
  // corners the edges run straight.
  Canvas rr(30, 20), corner(30, 20);
  rr.dc.round_rect({0, 0, 30, 20}, 12, 8);
  const Rows r = rr.rows();
  const Rect boxes[] = {{0, 0, 12, 8}, {18, 0, 30, 8}, {0, 12, 12, 20}, {18, 12, 30, 20}};
  for (const Rect& box : boxes) {
    SCOPED_TRACE(testing::Message() << "corner at " << box.left << "," << box.top);
    Canvas e(30, 20);
    e.dc.ellipse(box);
    const Rows q = e.rows();
    const int x0 = box.left == 0 ? 0 : 24, y0 = box.top == 0 ? 0 : 16;
    for (int y = y0; y < y0 + 4; ++y) EXPECT_EQ(r[y].substr(x0, 6), q[y].substr(x0, 6)) << y;
  }
  EXPECT_EQ(r[0].substr(6, 18), std::string(18, '#'));
  EXPECT_EQ(r[10], "#" + std::string(28, 'b') + "#");
  // A zero corner is the rectangle; a corner as large as the box is the ellipse.
  struct Case {
    int w, h;
    bool as_ellipse;
  };
  for (const Case k :
       {Case{0, 5, false}, Case{7, 0, false}, Case{16, 12, true}, Case{99, -99, true}}) {
    SCOPED_TRACE(testing::Message() << k.w << " x " << k.h);
    Canvas rr(20, 14), plain(20, 14);
    rr.dc.round_rect({2, 1, 18, 13}, k.w, k.h);
    if (k.as_ellipse)
      plain.dc.ellipse({2, 1, 18, 13});
    else
      plain.dc.rectangle({2, 1, 18, 13});
    EXPECT_EQ(rr.rows(), plain.rows());
  }
}

TEST(GfxEllipse, ClippingRemovesDashesWithoutShiftingThem) {
  const Rect clips[] = {{0, 0, 20, 40}, {0, 21, 40, 40}, {25, 0, 40, 12}};
  const platform::PenRef dashed = Pen::create(1, 0xFFFFFF, {3, 4});
  const auto draw = [](DeviceContext& dc, int shape) {
    switch (shape) {
      case 0:
        dc.ellipse({3, 4, 37, 34});
        break;
      case 1:
        dc.arc({3, 4, 37, 34}, {37, 19}, {3, 30});
        break;
      default:
        dc.pie({3, 4, 37, 34}, {37, 19}, {3, 30});
        break;
    }
  };
  for (int shape = 0; shape < 3; ++shape)
    for (const Rect& clip : clips) {
      SCOPED_TRACE(testing::Message() << "shape " << shape << " clip " << clip.left << ","
                                      << clip.top << "," << clip.right << "," << clip.bottom);
      Canvas whole(40, 40), part(40, 40);
      for (Canvas* c : {&whole, &part}) {
        c->dc.select_pen(dashed);
        c->dc.select_brush(platform::stock_null_brush());
        c->dc.set_bk_mode(platform::BkMode::Transparent);
      }
      part.dc.set_clip(clip);
      draw(whole.dc, shape);
      draw(part.dc, shape);
      for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
          const platform::Pixel expected = clip.contains(x, y) ? whole.page.at(x, y) : 0u;
          ASSERT_EQ(part.page.at(x, y), expected) << x << "," << y;
        }
    }
}

TEST(GfxEllipse, HugeBoxesAreClippedWithoutHanging) {
  Canvas c(20, 20);
  c.dc.ellipse({-2000000000, -2000000000, 2000000000, 2000000000});
  EXPECT_EQ(gfx_test::count(c.page, 0x0000FF), 400);
  c.dc.arc({-2000000000, 5, 2000000000, 30}, {0, 0}, {1, 0});
  EXPECT_GT(gfx_test::count(c.page, 0xFFFFFF), 0);
}

TEST(GfxBezier, FollowsTheCurveToItsEnd) {
  Canvas c(12, 6);
  // A straight cubic degenerates to the line: same pixels as line_to.
  const Point straight[] = {{0, 1}, {3, 1}, {7, 1}, {10, 1}};
  c.dc.poly_bezier(straight);
  EXPECT_EQ(c.rows()[1], "##########..");
  Canvas arch(21, 12);
  const Point curve[] = {{0, 10}, {0, 0}, {20, 0}, {20, 10}};
  arch.dc.poly_bezier(curve);
  const Rows rows = arch.rows();
  EXPECT_EQ(rows[10][0], '#');
  EXPECT_EQ(rows[2], std::string(21, '.'));
  EXPECT_EQ(rows[3][10], '#');  // apex at y = 2.5, rounded to 3
  EXPECT_EQ(rows[9][20], '#');
  EXPECT_EQ(rows[10][20], '.');  // end pixel excluded
}

TEST(GfxBezier, DashesRunOnFromPieceToPiece) {
  // Two straight pieces draw the polyline through their ends, its dashes unbroken.
  const platform::PenRef dashed = Pen::create(1, 0xFFFFFF, {3, 4});
  const Point pieces[] = {{0, 1}, {3, 1}, {7, 1}, {10, 1}, {13, 1}, {17, 1}, {25, 1}};
  const Point line[] = {{0, 1}, {10, 1}, {25, 1}};
  Canvas curve(26, 3), polyline(26, 3);
  for (Canvas* c : {&curve, &polyline}) {
    c->dc.select_pen(dashed);
    c->dc.set_bk_mode(platform::BkMode::Transparent);  // gaps left unpainted
  }
  curve.dc.poly_bezier(pieces);
  polyline.dc.polyline(line);
  EXPECT_EQ(curve.rows(), polyline.rows());
  EXPECT_EQ(curve.rows()[1], "####...####...####...####.");
}

}  // namespace
