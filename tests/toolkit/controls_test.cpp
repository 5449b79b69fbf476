// Control tables, global control ids and the button kind.
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "controls_fixture.hpp"
#include "platform/thread_id.hpp"
#include "static_background_scene.hpp"
#include "toolkit/buttons.hpp"
#include "toolkit/gk_wndproc.hpp"
#include "toolkit/scrollbars.hpp"
#include "toolkit/text.hpp"

namespace {

using platform::kBstChecked;
using toolkit_test::ControlsWindow;

using Controls = ControlsWindow;

TEST_F(Controls, IdsOfRemovedControlsAreReusedLowestFirst) {
  EXPECT_EQ(gk::createbutton(0, 0, 40, 20, "a", nullptr), 0);
  EXPECT_EQ(gk::createcheckbox(0, 30, 40, 20, "b", nullptr), 1);
  EXPECT_EQ(gk::createscrollbar(0, 60, 100, 16, 0, nullptr), 2);
  gk::removebutton(1);
  EXPECT_EQ(gk::createradiobutton(0, 90, 40, 20, "d", nullptr), 1);
  gk::removebutton(0);
  gk::removebutton(1);
  EXPECT_EQ(gk::createbutton(0, 0, 40, 20, "e", nullptr), 0);
  EXPECT_EQ(gk::createbutton(0, 0, 40, 20, "f", nullptr), 1);
  EXPECT_EQ(gk::createbutton(0, 0, 40, 20, "g", nullptr), 3);
  // Kind tables only grow: five buttons were ever made, one scroll bar.
  EXPECT_EQ(rec_->buttons.count, 6);
  EXPECT_EQ(rec_->scroll_bars.count, 1);
}

// A window keeps the fonts of its controls while they live, and no longer: a Cancel button
// made and removed with each fit of a series in a font made anew each time must not keep a
// font (a mapping of the font file) per fit.
TEST_F(Controls, AFontIsKeptOnlyWhileAControlUsesIt) {
  std::weak_ptr<const platform::Font> first;
  for (int k = 0; k < 20; ++k) {
    gk::settextstyle(1, 0, 14);
    const int32_t id = gk::createbutton(0, 0, 40, 20, "Cancel", nullptr);
    if (k == 0) first = rec_->current_font;
    EXPECT_EQ(gk::is_controls_font(*rec_, rec_->current_font), 1);
    gk::removebutton(id);
  }
  gk::settextstyle(1, 0, 14);
  const int32_t kept = gk::createbutton(0, 0, 40, 20, "kept", nullptr);
  EXPECT_TRUE(first.expired());
  EXPECT_EQ(rec_->controls_fonts.size(), 1u);
  gk::removebutton(kept);
}

TEST_F(Controls, RemovedIdAnswersNoSuchControlUntilReused) {
  const int32_t id = gk::createcheckbox(10, 10, 80, 20, "check", nullptr);
  const platform::Hwnd c = control(id);
  gk::checkboxsetchecked(id, 1);
  gk::removecheckbox(id);
  EXPECT_FALSE(system.is_window(c));
  EXPECT_EQ(control(id), 0u);
  EXPECT_EQ(gk::checkboxischecked(id), 0);
  EXPECT_EQ(gk::getcheckboxposition(id, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(gk::EnableControl(gk::kKindButton, id, 0), 0);
  gk::setcheckboxposition(id, 50, 50, 10, 10);  // nothing to move, nothing breaks
  gk::setcheckboxtext(id, "gone");
  gk::removecheckbox(id);  // twice is harmless
  EXPECT_EQ(gk::createbutton(0, 0, 10, 10, "new", nullptr), id);
}

TEST_F(Controls, IdUnderAnotherKindReachesThatKindsControlWithTheSameLocalIndex) {
  const int32_t button = gk::createbutton(0, 0, 40, 20, "b", nullptr);    // button 0
  const int32_t bar = gk::createscrollbar(0, 100, 120, 16, 0, nullptr);   // scroll bar 0
  const int32_t button2 = gk::createbutton(0, 30, 40, 20, "c", nullptr);  // button 1
  ASSERT_EQ(button, 0);
  ASSERT_EQ(bar, 1);
  ASSERT_EQ(button2, 2);
  // The push button's id moves the scroll bar with the same kind-local index.
  gk::setscrollbarposition(button, 5, 200, 150, 16);
  int32_t l, t, w, h;
  ASSERT_EQ(gk::getscrollbarposition(bar, &l, &t, &w, &h), 1);
  EXPECT_EQ(l, 5);
  EXPECT_EQ(t, 200);
  EXPECT_EQ(w, 150);
  // The second button has local index 1: no scroll bar there.
  EXPECT_EQ(gk::getscrollposition(button2), -1);
  EXPECT_EQ(gk::getscrollposition(button), 0);
  // And the scroll bar's id given to a button function reaches button 0.
  gk::setbuttontext(bar, "via bar");
  EXPECT_EQ(system.text(control(button)), "via bar");
}

TEST_F(Controls, PositionsRoundTripAndNullOutArgumentsAreAllowed) {
  const int32_t id = gk::createbutton(12, 34, 56, 78, "p", nullptr);
  struct Case {
    int32_t l, t, w, h;
  };
  for (const Case c : {Case{0, 0, 1, 1}, Case{300, 250, 90, 40}, Case{-10, -5, 30, 20}}) {
    SCOPED_TRACE(c.l);
    gk::setbuttonposition(id, c.l, c.t, c.w, c.h);
    int32_t l = -1, t = -1, w = -1, h = -1;
    ASSERT_EQ(gk::getbuttonposition(id, &l, &t, &w, &h), 1);
    EXPECT_EQ(l, c.l);
    EXPECT_EQ(t, c.t);
    EXPECT_EQ(w, c.w);
    EXPECT_EQ(h, c.h);
  }
  EXPECT_EQ(gk::GetPosition(gk::kKindButton, id, nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(gk::GetPosition("NOSUCHKIND", id, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(gk::GetPosition(nullptr, id, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST_F(Controls, ControlThePlatformCannotMakeGetsNoId) {
  gk::ControlRequest r;
  r.class_name = "NOSUCHCLASS";
  r.width = r.height = 10;
  EXPECT_EQ(gk::create_control(r), -1);
  EXPECT_EQ(rec_->control_map.count, 0);
  EXPECT_EQ(gk::createbutton(0, 0, 10, 10, "ok", nullptr), 0);
}

TEST_F(Controls, WithoutAWindowCreationAnswersMinusOne) {
  gk::closewindow(-2);
  EXPECT_EQ(gk::createbutton(0, 0, 10, 10, "x", nullptr), -1);
  EXPECT_EQ(gk::checkboxischecked(0), 0);
  EXPECT_EQ(gk::getscrollposition(0), -1);
  EXPECT_EQ(gk::getcallbackcontrolid(), -1);
  gk::removebutton(0);
}

TEST_F(Controls, ClickRunsCallbackOnNewThreadWithCheckStateAlreadyChanged) {
  platform::Event ran;
  std::atomic<int32_t> seen{-1};
  std::atomic<int32_t> asked_id{-2};
  int32_t id = -1;
  id = gk::createcheckbox(10, 10, 100, 20, "check", [&] {
    seen = gk::checkboxischecked(id);
    asked_id = gk::getcallbackcontrolid();
    ran.set();
  });
  click(id);
  ASSERT_TRUE(ran.wait(5000));
  EXPECT_EQ(seen.load(), 1);
  EXPECT_EQ(asked_id.load(), id);
  EXPECT_EQ(state(id).check, int32_t{kBstChecked});
  click(id);
  ASSERT_TRUE(ran.wait(5000));
  EXPECT_EQ(seen.load(), 0);
}

TEST_F(Controls, NullCallbackPointerMakesAButtonThatDoesNothing) {
  const int32_t id = gk::createbutton_ptr(10, 10, 60, 20, "idle", nullptr);
  ASSERT_EQ(id, 0);
  click(id);
  EXPECT_EQ(gk::getcallbackcontrolid(), id);  // it fired, with nothing to run
}

TEST_F(Controls, RadioGroupsFollowCreationOrder) {
  // Group 1: a, b, c (the window's first radio starts a group by itself).
  const int32_t a = gk::createradiobutton(10, 10, 80, 20, "a", nullptr);
  const int32_t b = gk::createradiobutton(10, 30, 80, 20, "b", nullptr);
  gk::createbutton(200, 10, 60, 20, "push", nullptr);  // not a radio: no effect on groups
  const int32_t c = gk::createradiobutton(10, 50, 80, 20, "c", nullptr);
  gk::beginradiogroup();
  gk::beginradiogroup();  // twice still starts one group
  const int32_t d = gk::createradiobutton(10, 80, 80, 20, "d", nullptr);
  const int32_t e = gk::createradiobutton(10, 100, 80, 20, "e", nullptr);
  click(a);
  click(d);
  EXPECT_EQ(gk::radiobuttonischecked(a), 1);
  EXPECT_EQ(gk::radiobuttonischecked(d), 1);
  click(c);
  EXPECT_EQ(gk::radiobuttonischecked(a), 0);
  EXPECT_EQ(gk::radiobuttonischecked(c), 1);
  EXPECT_EQ(gk::radiobuttonischecked(d), 1);
  click(e);
  EXPECT_EQ(gk::radiobuttonischecked(d), 0);
  EXPECT_EQ(gk::radiobuttonischecked(c), 1);
  // Set from the program, two members of one group stay checked together.
  gk::radiobuttonsetchecked(a, 1);
  gk::radiobuttonsetchecked(b, 1);
  EXPECT_EQ(gk::radiobuttonischecked(a), 1);
  EXPECT_EQ(gk::radiobuttonischecked(b), 1);
  EXPECT_EQ(gk::radiobuttonischecked(c), 1);
}

TEST_F(Controls, LabelsCheckBoxesAndGroupBoxesShowTheirParentsBackground) {
  const auto cases = toolkit_test::make_static_background_scene(system, rec_);
  ASSERT_TRUE(user.settle(h_));
  const platform::Page shown = user.shown(h_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(toolkit_test::static_background_fault(shown, c), "");
  }
}

TEST_F(Controls, EnableVisibilityAndCaptionReachThePlatform) {
  const int32_t id = gk::createbutton(10, 10, 60, 20, "Go", nullptr);
  EXPECT_EQ(gk::EnableControl(gk::kKindButton, id, 0), 0);  // was enabled
  EXPECT_FALSE(state(id).enabled);
  EXPECT_NE(gk::EnableControl(gk::kKindButton, id, 1), 0);  // was disabled
  EXPECT_TRUE(state(id).enabled);
  gk::setbuttonvisible(id, 0);
  EXPECT_FALSE(state(id).visible);
  gk::setbuttonvisible(id, 1);
  EXPECT_TRUE(state(id).visible);
  gk::setbuttontext(id, "Stop");
  EXPECT_EQ(state(id).text, "Stop");
  gk::setbuttontext(id, nullptr);
  EXPECT_EQ(state(id).text, "");
  EXPECT_EQ(gk::EnableControl(nullptr, id, 1), 0);
}

// Removing a control from another thread while its callback runs waits for the callback;
// removing from inside the callback does not wait for itself.
TEST_F(Controls, RemovalWaitsForRunningCallbacksButNotForItself) {
  platform::Event entered, release, done;
  std::atomic<bool> finished{false};
  const int32_t slow = gk::createbutton(10, 10, 60, 20, "slow", [&] {
    entered.set();
    release.wait(5000);
    finished = true;
  });
  click(slow);
  ASSERT_TRUE(entered.wait(5000));
  std::atomic<bool> finished_when_removed{false};
  std::thread remover([&] {
    gk::removebutton(slow);
    finished_when_removed = finished.load();
  });
  release.set();
  remover.join();
  EXPECT_TRUE(finished_when_removed.load());  // removebutton returned after the callback

  int32_t self = -1;
  self = gk::createbutton(10, 40, 60, 20, "self", [&] {
    gk::removebutton(self);
    done.set();
  });
  click(self);
  ASSERT_TRUE(done.wait(5000));
  EXPECT_EQ(control(self), 0u);
}

// Two callbacks that remove each other's buttons at the same time both end.
TEST_F(Controls, CallbacksRemovingEachOthersButtonsDoNotDeadlock) {
  platform::Event in_a, in_b, done_a, done_b;
  int32_t a = -1, b = -1;
  a = gk::createbutton(10, 10, 60, 20, "a", [&] {
    in_a.set();
    in_b.wait(5000);
    gk::removebutton(b);
    done_a.set();
  });
  b = gk::createbutton(10, 40, 60, 20, "b", [&] {
    in_b.set();
    in_a.wait(5000);
    gk::removebutton(a);
    done_b.set();
  });
  user.click_control(control(a));
  user.click_control(control(b));
  EXPECT_TRUE(done_a.wait(5000));
  EXPECT_TRUE(done_b.wait(5000));
  EXPECT_EQ(control(a), 0u);
  EXPECT_EQ(control(b), 0u);
}

// After a failed look-up the control-table lock is free for another thread's creation.
TEST_F(Controls, FailedLookUpLeavesTheLocksFree) {
  EXPECT_EQ(gk::getbuttonposition(42, nullptr, nullptr, nullptr, nullptr), 0);
  int32_t id = -2;
  std::thread other([&] { id = gk::createbutton(0, 0, 10, 10, "x", nullptr); });
  other.join();
  EXPECT_EQ(id, 0);
}

}  // namespace

namespace {

// Each module answers its own messages through its own hook slot; a slot that declines
// passes the message on.
TEST_F(Controls, HookSlotsAnswerTheirOwnMessagesInTurn) {
  std::atomic<int32_t> asked_text_boxes{0};
  gk::hooks.text_boxes =
      [&](gk::WindowData&, platform::Hwnd, uint32_t m, uint64_t, int64_t, int64_t&) {
        if (m == gk::kMsgEnableControl || m == gk::kMsgDisableControl) ++asked_text_boxes;
        return false;
      };
  gk::hooks.menus =
      [](gk::WindowData&, platform::Hwnd, uint32_t m, uint64_t id, int64_t kind, int64_t& result) {
        if (m != gk::kMsgEnableControl && m != gk::kMsgDisableControl) return false;
        if (std::string(reinterpret_cast<const char*>(kind)) != gk::kKindMenuItem) return false;
        result = static_cast<int64_t>(id) * 10 + (m == gk::kMsgEnableControl);
        return true;
      };
  EXPECT_EQ(gk::EnableControl(gk::kKindMenuItem, 4, 1), 41);
  EXPECT_EQ(gk::EnableControl(gk::kKindMenuItem, 4, 0), 40);
  EXPECT_EQ(asked_text_boxes.load(), 2);
  gk::hooks.menus = nullptr;
  EXPECT_EQ(gk::EnableControl(gk::kKindMenuItem, 4, 1), 0);  // nobody answers
}

}  // namespace
