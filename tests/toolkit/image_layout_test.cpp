#include "toolkit/image_layout.hpp"

#include <gtest/gtest.h>

namespace gk {
namespace {

TEST(ImageLayout, BlocksAreCutToTheClient) {
  struct Case {
    const char* name;
    int32_t l, t, r, b;
    PageBlock expected;
  };
  const Case cases[] = {
      {"inside", 0, 0, 99, 49, {0, 0, 100, 50}},
      {"negative", -5, -7, 9, 4, {0, 0, 10, 5}},
      {"beyond", 600, 400, 5000, 5000, {600, 400, 40, 80}},
      {"reversed", 99, 49, 10, 20, {10, 20, 90, 30}},
      {"all outside", -9, -9, -1, -1, {0, 0, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PageBlock b = page_block(c.l, c.t, c.r, c.b, 640, 480);
    EXPECT_EQ(b.x, c.expected.x);
    EXPECT_EQ(b.y, c.expected.y);
    EXPECT_EQ(b.width, c.expected.width);
    EXPECT_EQ(b.height, c.expected.height);
  }
}

TEST(ImageLayout, BmpExtensionIsAddedOnlyWhenMissing) {
  struct Case {
    std::string in, out;
  };
  const std::string long_name(300, 'a');
  const Case cases[] = {{"plot", "plot.BMP"},
                        {"plot.bmp", "plot.bmp"},
                        {"p", "p.BMP"},
                        {".bm", ".bm.BMP"},
                        {"a.png", "a.png"},
                        {"x.txt", "x.txt"},
                        {long_name, long_name}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in.substr(0, 20));
    EXPECT_EQ(complete_bmp_name(c.in), c.out);
  }
}

TEST(ImageLayout, PrintedPageAt300Dpi) {
  const PrintLayout with = print_layout(300, 300, 100, 50, true);
  EXPECT_EQ(with.title_x, 225);
  EXPECT_EQ(with.title_y, 225);
  EXPECT_EQ(with.image_x, 225);
  EXPECT_EQ(with.image_y, 300);
  EXPECT_EQ(with.image_width, 2250);
  EXPECT_EQ(with.image_height, 1125);
  const PrintLayout without = print_layout(300, 600, 3, 1, false);
  EXPECT_EQ(without.image_y, 450);
  EXPECT_EQ(without.image_height, 1500);
}

}  // namespace
}  // namespace gk
