#include <gtest/gtest.h>

#include "toolkit/drawing_state.hpp"
#include "toolkit/driver_compat.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/gk_wndproc.hpp"
#include "toolkit_fixture.hpp"

namespace gk {
namespace {

class DriverWindow : public toolkit_test::HeadlessToolkit {
 protected:
  void SetUp() override {
    HeadlessToolkit::SetUp();
    install_drawing();
  }
};

TEST_F(DriverWindow, InitgraphDetectsVgaAndOpensItsWindow) {
  int32_t driver = 0, mode = 0;
  initgraph(&driver, &mode);
  EXPECT_EQ(driver, 9);
  EXPECT_EQ(mode, 2);
  auto rec = record(getcurrentwindow());
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->width, 640);
  EXPECT_EQ(rec->height, 480);
  EXPECT_EQ(rec->title, "Graphics");
  EXPECT_EQ(rec->exit_on_close, 1);
  EXPECT_EQ(rec->double_buffer, 0);
  EXPECT_EQ(graphresult(), 0);
  EXPECT_STREQ(getmodename(0), "640*480 VGAHI");
}

TEST_F(DriverWindow, UnknownDriversAreReportedOnce) {
  int32_t driver = 11, mode = 4;
  initgraph(&driver, &mode);
  auto rec = record(getcurrentwindow());
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->width, 640);
  EXPECT_EQ(rec->height, 200);
  EXPECT_EQ(graphresult(), -4);
  EXPECT_EQ(graphresult(), 0);
  int32_t low = 0, high = 0;
  getmoderange(99, &low, &high);
  EXPECT_EQ(low, -1);
  EXPECT_EQ(high, -1);
  EXPECT_EQ(graphresult(), -4);
  getmoderange(9, &low, &high);
  EXPECT_EQ(graphresult(), 0);
}

TEST_F(DriverWindow, InvalidFillStyleIsReportedOnce) {
  int32_t driver = 9, mode = 2;
  initgraph(&driver, &mode);
  setfillstyle(20, 0xFFFFFF);
  EXPECT_EQ(graphresult(), -11);
  EXPECT_EQ(graphresult(), 0);
}

TEST_F(DriverWindow, AspectRatioIsStored) {
  int32_t driver = 9, mode = 2;
  initgraph(&driver, &mode);
  int32_t x = 0, y = 0;
  getaspectratio(&x, &y);
  EXPECT_EQ(x, 10000);
  EXPECT_EQ(y, 10000);
  setaspectratio(4, 3);
  getaspectratio(&x, &y);
  EXPECT_EQ(x, 4);
  EXPECT_EQ(y, 3);
  setgraphmode(1);
  getaspectratio(&x, &y);
  EXPECT_EQ(x, 10000);  // graphdefaults brings the defaults back
}

TEST_F(DriverWindow, GetchReturnsSignedBytesInOrder) {
  int32_t driver = 9, mode = 2;
  initgraph(&driver, &mode);
  auto rec = record(getcurrentwindow());
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(kbhit(), 0);
  cls_OnChar(*rec, 0xE9);  // e with acute accent
  cls_OnChar(*rec, 'a');
  EXPECT_EQ(kbhit(), 1);
  EXPECT_EQ(getch(), -23);
  EXPECT_EQ(getch(), 'a');
  EXPECT_EQ(kbhit(), 0);
}

}  // namespace
}  // namespace gk
