#include "platform/gfx/page.hpp"

#include <gtest/gtest.h>

TEST(Page, IsBlackWhenCreated) {
  platform::Page p(4, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(p.at(x, y), 0u);
  EXPECT_FALSE(p.contains(4, 0));
  EXPECT_TRUE(p.contains(3, 2));
}

TEST(Page, ColourOrderRoundTrips) {
  // creatergb(255, 128, 0) = 255 + 128*256 = 33023
  EXPECT_EQ(platform::to_pixel(33023u), 0x00FF8000u);
  EXPECT_EQ(platform::to_colorref(0x00FF8000u), 33023u);
}
