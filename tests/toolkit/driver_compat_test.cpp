#include "toolkit/driver_compat.hpp"

#include <gtest/gtest.h>

#include <string>

namespace gk {
namespace {

TEST(DriverCompat, ErrorMessagesKeepTheirWording) {
  EXPECT_STREQ(grapherrormsg(0), "No error");
  EXPECT_STREQ(grapherrormsg(-4), "Invalid device driver file");
  EXPECT_STREQ(grapherrormsg(-9), "Not enough meory to load font");
  EXPECT_STREQ(grapherrormsg(-11), "Graphics error");
  EXPECT_STREQ(grapherrormsg(-15), "Invalid device number");
  EXPECT_EQ(grapherrormsg(-16), nullptr);
  EXPECT_EQ(grapherrormsg(1), nullptr);
}

TEST(DriverCompat, DetectionAnswersVgaHigh) {
  int32_t driver = 0, mode = 0;
  detectgraph(&driver, &mode);
  EXPECT_EQ(driver, 9);
  EXPECT_EQ(mode, 2);
  EXPECT_STREQ(getdrivername(), "EGAVGA");
  EXPECT_EQ(getgraphmode(), 2);
  EXPECT_EQ(getmaxmode(), 2);
}

TEST(DriverCompat, ModeRangesPerDriver) {
  struct Case {
    int32_t driver, low, high;
    bool known;
  };
  const Case cases[] = {{-1, 0, 2, true},
                        {9, 0, 2, true},
                        {1, 0, 4, true},
                        {2, 0, 5, true},
                        {8, 0, 5, true},
                        {3, 0, 1, true},
                        {4, 0, 1, true},
                        {6, 0, 1, true},
                        {5, 3, 3, true},
                        {7, 0, 0, true},
                        {10, 0, 0, true},
                        {0, -1, -1, false},
                        {11, -1, -1, false},
                        {-2, -1, -1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.driver);
    int32_t low = 99, high = 99;
    EXPECT_EQ(mode_range(c.driver, &low, &high), c.known);
    EXPECT_EQ(low, c.low);
    EXPECT_EQ(high, c.high);
  }
}

TEST(DriverCompat, WindowSizesPerDriverAndMode) {
  struct Case {
    int32_t driver, mode, width, height;
    bool invalid;
  };
  const Case cases[] = {
      {0, 7, 640, 480, false},  {1, 3, 320, 200, false},  {1, 4, 640, 200, false},
      {1, 5, 0, 0, false},      {2, 5, 640, 480, false},  {2, 6, 0, 0, false},
      {3, 0, 640, 200, false},  {4, 1, 640, 350, false},  {3, 2, 0, 0, false},
      {5, 99, 640, 350, false}, {6, 1, 1024, 768, false}, {6, 2, 0, 0, false},
      {7, 0, 720, 348, false},  {8, 5, 640, 400, false},  {8, 2, 320, 200, false},
      {9, 0, 640, 200, false},  {9, 1, 640, 350, false},  {9, 2, 640, 480, false},
      {9, 3, 0, 0, false},      {10, 4, 720, 350, false}, {11, 4, 640, 200, true},
      {42, 9, 0, 0, true},      {-3, 0, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.driver) + "/" + std::to_string(c.mode));
    const GraphSize size = graph_size(c.driver, c.mode);
    EXPECT_EQ(size.width, c.width);
    EXPECT_EQ(size.height, c.height);
    EXPECT_EQ(size.invalid_driver, c.invalid);
  }
}

}  // namespace
}  // namespace gk
