// Scroll bars: defaults, clamping, the user's scroll requests and the two callbacks.
#include "toolkit/scrollbars.hpp"

#include <algorithm>
#include <mutex>
#include <vector>

#include "controls_fixture.hpp"
#include "toolkit/buttons.hpp"
#include "toolkit/gk_callbacks.hpp"

namespace {

using platform::Point;
using toolkit_test::ControlsWindow;

// A horizontal bar at (10, 100), 200 x 16: arrows 16 pixels wide at both ends, a track of
// 168 pixels, a thumb of 168 * 10 / 101 = 16 pixels at position 0.
class ScrollBars : public ControlsWindow {
 protected:
  void SetUp() override {
    ControlsWindow::SetUp();
    id_ = gk::createscrollbar_generic(
        10,
        100,
        200,
        16,
        0,
        [this](int32_t pos) { record("value", pos); },
        [this](int32_t* pos) { record("reference", *pos); });
    ASSERT_GE(id_, 0);
  }
  void record(const char* kind, int32_t pos) {
    std::lock_guard<std::mutex> g(m_);
    calls_.push_back({kind, pos});
  }
  struct Call {
    std::string kind;
    int32_t pos;
    friend bool operator==(const Call&, const Call&) = default;
  };
  // The calls so far, once every callback thread has ended.
  std::vector<Call> calls() {
    EXPECT_TRUE(user.settle(h_));
    gk::join_callback_threads();
    std::lock_guard<std::mutex> g(m_);
    return calls_;
  }
  // The positions the by-value callback got, in increasing order (threads may overlap).
  std::vector<int32_t> values() {
    std::vector<int32_t> v;
    for (const Call& c : calls())
      if (c.kind == "value") v.push_back(c.pos);
    std::sort(v.begin(), v.end());
    return v;
  }
  void clear() {
    calls();
    std::lock_guard<std::mutex> g(m_);
    calls_.clear();
  }
  // Client point of the window `along` pixels along the bar, in its middle.
  static Point at(int32_t along) { return {10 + along, 108}; }

  int32_t id_ = -1;
  std::mutex m_;
  std::vector<Call> calls_;
};

TEST_F(ScrollBars, NewBarHasRange0To100Page10Position0) {
  platform::ScrollInfo info;
  info.mask = platform::kSifRange | platform::kSifPage | platform::kSifPos;
  system.send_message(control(id_, gk::kKindScrollBar),
                      platform::kMsgSbmGetScrollInfo,
                      0,
                      reinterpret_cast<int64_t>(&info));
  EXPECT_EQ(info.min, 0);
  EXPECT_EQ(info.max, 100);
  EXPECT_EQ(info.page, 10u);
  EXPECT_EQ(info.pos, 0);
  EXPECT_EQ(gk::getscrollposition(id_), 0);
}

TEST_F(ScrollBars, SetPositionClampsAndRunsNoCallback) {
  struct Case {
    int32_t set, got;
  };
  for (const Case c : {Case{50, 50}, Case{91, 91}, Case{200, 91}, Case{-5, 0}}) {
    SCOPED_TRACE(c.set);
    gk::setscrollposition(id_, c.set);
    EXPECT_EQ(gk::getscrollposition(id_), c.got);
  }
  EXPECT_TRUE(calls().empty());
  gk::setscrollrange(id_, 0, 10);
  gk::setscrollpagesize(id_, 1);
  gk::setscrollposition(id_, 10);
  EXPECT_EQ(gk::getscrollposition(id_), 10);
  gk::setscrollpagesize(id_, 5);  // the position follows the new limit, 10 - 4
  EXPECT_EQ(gk::getscrollposition(id_), 6);
  EXPECT_TRUE(calls().empty());
}

TEST_F(ScrollBars, CallbacksGetByValueFirstThenByReference) {
  gk::setscrollposition(id_, 50);
  user.click(h_, at(192));  // the right arrow: a line
  const std::vector<Call> expected{{"value", 51}, {"reference", 51}};
  EXPECT_EQ(calls(), expected);
}

TEST_F(ScrollBars, LineAndPageRequestsMoveTheThumbAndClamp) {
  user.click(h_, at(192));       // line down
  ASSERT_TRUE(user.settle(h_));  // input is posted; the query is served before it
  EXPECT_EQ(gk::getscrollposition(id_), 1);
  user.click(h_, at(100));  // the track right of the thumb: a page down
  EXPECT_EQ(values(), (std::vector<int32_t>{1, 11}));
  EXPECT_EQ(gk::getscrollposition(id_), 11);
  user.click(h_, at(5));  // the left arrow: line up
  EXPECT_TRUE(user.settle(h_));
  EXPECT_EQ(gk::getscrollposition(id_), 10);
  clear();
  gk::setscrollposition(id_, 88);
  user.click(h_, at(192));
  user.click(h_, at(192));
  user.click(h_, at(192));
  user.click(h_, at(192));  // stays at 91
  EXPECT_EQ(values(), (std::vector<int32_t>{89, 90, 91, 91}));
  clear();
  gk::setscrollposition(id_, 3);
  user.click(h_, at(20));  // left of the thumb (now at 3): a page up, clamped to 0
  EXPECT_EQ(values(), (std::vector<int32_t>{0}));
}

TEST_F(ScrollBars, DraggingTheThumbTracksAndEndsWhereReleased) {
  // Grabbed 8 pixels into the thumb; at 62 and 100 the thumb starts 38 and 76 pixels into the
  // 152 pixels it can travel: positions round(38 * 91 / 152) = 23 and round(76 * 91 / 152) = 46.
  user.drag(h_, at(24), at(100));
  EXPECT_EQ(values(), (std::vector<int32_t>{23, 46, 46}));  // two tracks, then the release
  EXPECT_EQ(gk::getscrollposition(id_), 46);
}

TEST_F(ScrollBars, KeysScrollAndEndRequestsKeepThePosition) {
  const platform::Hwnd bar = control(id_, gk::kKindScrollBar);
  system.set_focus(bar);
  gk::setscrollposition(id_, 40);
  user.press_key(h_, platform::kVkRight);
  user.press_key(h_, platform::kVkNext);
  user.press_key(h_, platform::kVkEnd);  // bottom: the position stays
  user.press_key(h_, platform::kVkUp);   // across a horizontal bar: nothing
  EXPECT_EQ(values(), (std::vector<int32_t>{41, 51, 51}));
  EXPECT_EQ(gk::getscrollposition(id_), 51);
}

TEST_F(ScrollBars, PushButtonIdReachesNoScrollBarUnlessOneSharesItsIndex) {
  const int32_t b0 = gk::createbutton(0, 0, 10, 10, "b0", nullptr);  // button 0
  const int32_t b1 = gk::createbutton(0, 0, 10, 10, "b1", nullptr);  // button 1
  EXPECT_EQ(gk::getscrollposition(b1), -1);
  gk::setscrollposition(id_, 7);
  EXPECT_EQ(gk::getscrollposition(b0), 7);  // scroll bar 0 shares local index 0
  EXPECT_EQ(gk::getscrollposition(99), -1);
}

TEST_F(ScrollBars, RemovedBarRunsNoMoreCallbacks) {
  gk::removescrollbar(id_);
  EXPECT_EQ(gk::getscrollposition(id_), -1);
  user.click(h_, at(192));
  EXPECT_TRUE(calls().empty());
}

}  // namespace
