// Mouse click queues, mouse handlers and cursors of a toolkit window.
#include "toolkit/mouse.hpp"

#include <vector>

#include "controls_fixture.hpp"

namespace {

using platform::Point;

class Mouse : public toolkit_test::ControlsWindow {
 protected:
  void SetUp() override {
    gk::install_mouse();
    ControlsWindow::SetUp();
  }
  void press_at(Point p) {
    user.click(h_, p);
    ASSERT_TRUE(user.settle(h_));
  }
  Point take(int32_t kind) {
    Point p;
    gk::getmouseclick(kind, &p.x, &p.y);
    return p;
  }
};

constexpr int32_t kLeftDown = platform::kMsgLButtonDown;

TEST_F(Mouse, QueueFlagOffKeepsOnlyTheNewestPoint) {
  for (int32_t i = 1; i <= 3; ++i) press_at({10 * i, 20 * i});
  EXPECT_EQ(gk::ismouseclick(kLeftDown), 1);
  EXPECT_EQ(take(kLeftDown), (Point{30, 60}));
  EXPECT_EQ(gk::ismouseclick(kLeftDown), 0);
  EXPECT_EQ(take(kLeftDown), (Point{-1, -1}));
  EXPECT_EQ(gk::mousex(), 30);
  EXPECT_EQ(gk::mousey(), 60);
}

TEST_F(Mouse, QueueFlagOnKeepsThePointsInTheirOrder) {
  gk::setmousequeuestatus(kLeftDown, 1);
  for (int32_t i = 1; i <= 3; ++i) press_at({10 * i, 20 * i});
  for (int32_t i = 1; i <= 3; ++i) EXPECT_EQ(take(kLeftDown), (Point{10 * i, 20 * i}));
  press_at({5, 5});
  press_at({6, 6});
  gk::clearmouseclick(kLeftDown);  // the oldest goes
  EXPECT_EQ(take(kLeftDown), (Point{6, 6}));
}

TEST_F(Mouse, The128thPointIsNotQueuedButReachesHandlersAndPosition) {
  gk::setmousequeuestatus(kLeftDown, 1);
  std::vector<Point> seen;
  gk::registermousehandler(kLeftDown, [&](int32_t x, int32_t y) { seen.push_back({x, y}); });
  int32_t ref_calls = 0;
  const gk::MouseHandlerRef by_ref = [&](int32_t* x, int32_t*) { ref_calls += *x > 0; };
  gk::registermousehandler_ptr(kLeftDown, &by_ref);
  for (int32_t i = 1; i <= 128; ++i) user.mouse_down(h_, {i, 1});
  ASSERT_TRUE(user.settle(h_));
  ASSERT_EQ(seen.size(), 128u);
  EXPECT_EQ(seen.back(), (Point{128, 1}));
  EXPECT_EQ(ref_calls, 128);
  EXPECT_EQ(gk::mousex(), 128);
  for (int32_t i = 1; i <= 127; ++i) ASSERT_EQ(take(kLeftDown).x, i);
  EXPECT_EQ(take(kLeftDown).x, -1);
  gk::registermousehandler(kLeftDown, nullptr);
  gk::registermousehandler_ptr(kLeftDown, nullptr);
  press_at({3, 3});
  EXPECT_EQ(seen.size(), 128u);
}

TEST_F(Mouse, DoubleClicksAndOtherButtons) {
  user.double_click(h_, {40, 50});
  user.click(h_, {7, 8}, platform::MouseButton::Right);
  ASSERT_TRUE(user.settle(h_));
  EXPECT_EQ(take(platform::kMsgLButtonDblClk), (Point{40, 50}));
  EXPECT_EQ(take(platform::kMsgRButtonUp), (Point{7, 8}));
  struct Case {
    int32_t kind;
    int32_t answer;
  };
  for (const Case& c : {Case{511, 0}, Case{527, 0}, Case{platform::kMsgMButtonDown, 0}}) {
    SCOPED_TRACE(c.kind);
    EXPECT_EQ(gk::ismouseclick(c.kind), c.answer);
    EXPECT_EQ(take(c.kind), (Point{-1, -1}));
  }
}

TEST_F(Mouse, WheelsGiveTheRotationAndAreNeverPolled) {
  std::vector<Point> vertical, horizontal;
  gk::registermousehandler(gk::kMouseWheel, [&](int32_t d, int32_t z) {
    vertical.push_back({d, z});
  });
  gk::registermousehandler(gk::kMouseHWheel, [&](int32_t d, int32_t z) {
    horizontal.push_back({d, z});
  });
  gk::setmousequeuestatus(gk::kMouseWheel, 1);
  user.wheel(h_, {50, 60}, -240);
  ASSERT_TRUE(user.settle(h_));
  EXPECT_EQ(gk::mousex(), 50);  // in client coordinates
  EXPECT_EQ(gk::mousey(), 60);
  const Point o = system.client_origin(h_);
  system.post_message(
      h_, platform::kMsgMouseHWheel, uint64_t{120} << 16, platform::pack_point(o.x + 5, o.y + 6));
  ASSERT_TRUE(user.settle(h_));
  EXPECT_EQ(vertical, (std::vector<Point>{{-240, 0}}));
  EXPECT_EQ(horizontal, (std::vector<Point>{{120, 0}}));
  EXPECT_EQ(gk::mousex(), 5);
  for (int32_t kind : {gk::kMouseWheel, gk::kMouseHWheel}) {
    EXPECT_EQ(gk::ismouseclick(kind), 0);
    EXPECT_EQ(take(kind), (Point{-1, -1}));
  }
}

TEST_F(Mouse, CursorShapesReachTheDisplay) {
  const auto shown = [&] {
    platform::HeadlessBackend::NativeState s;
    backend.native_state(h_, s);
    return s.cursor;
  };
  struct Case {
    int32_t shape;
    platform::CursorShape expected;
  };
  for (const Case& c : {Case{2, platform::CursorShape::IBeam},
                        Case{4, platform::CursorShape::Help},
                        Case{10, platform::CursorShape::SizeNESW},
                        Case{11, platform::CursorShape::Arrow},
                        Case{5, platform::CursorShape::Wait},
                        Case{-1, platform::CursorShape::Arrow}}) {
    SCOPED_TRACE(c.shape);
    gk::setcursor(c.shape);
    EXPECT_EQ(shown(), c.expected);
  }
}

}  // namespace
