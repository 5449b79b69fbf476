#include "toolkit/gk_window.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/metrics.hpp"
#include "toolkit/gk_callbacks.hpp"
#include "toolkit/gk_wndproc.hpp"
#include "toolkit_fixture.hpp"

namespace {

using platform::Metric;
using toolkit_test::HeadlessToolkit;

using GkWindow = HeadlessToolkit;

TEST_F(GkWindow, IndicesCountUpAndTheNewestIsCurrent) {
  for (int32_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(gk::initwindow(100, 80, "w", 10, 10, 0, 0), i);
    EXPECT_EQ(gk::getcurrentwindow(), i);
    EXPECT_EQ(gk::isvalidwindow(i), 1);
  }
  gk::setcurrentwindow(1);
  EXPECT_EQ(gk::getcurrentwindow(), 1);
  EXPECT_EQ(backend.raised(), handle(1));  // activated
  for (int32_t bad : {-1, 3, 99}) {
    gk::setcurrentwindow(bad);
    EXPECT_EQ(gk::getcurrentwindow(), 1) << bad;
    EXPECT_EQ(gk::isvalidwindow(bad), 0) << bad;
  }
}

TEST_F(GkWindow, ClosingByIndexCurrentAndAll) {
  gk::closewindow(-2);  // no windows: nothing happens
  ASSERT_EQ(gk::initwindow(100, 80, "a", 0, 0, 0, 0), 0);
  ASSERT_EQ(gk::initwindow(100, 80, "b", 0, 0, 0, 0), 1);
  ASSERT_EQ(gk::initwindow(100, 80, "c", 0, 0, 0, 0), 2);
  const platform::Hwnd h1 = handle(1);

  gk::closewindow(1);  // not current: the current window stays
  EXPECT_EQ(gk::getcurrentwindow(), 2);
  EXPECT_EQ(gk::isvalidwindow(1), 0);
  EXPECT_FALSE(system.is_window(h1));
  gk::closewindow(1);  // a closed index is ignored
  gk::setcurrentwindow(1);
  EXPECT_EQ(gk::getcurrentwindow(), 2);

  gk::closewindow(-1);  // the current window
  EXPECT_EQ(gk::getcurrentwindow(), gk::kNoWindow);
  EXPECT_EQ(gk::isvalidwindow(2), 0);
  EXPECT_EQ(gk::isvalidwindow(0), 1);

  gk::closewindow(-2);
  EXPECT_EQ(gk::isvalidwindow(0), 0);
  EXPECT_EQ(gk::initwindow(100, 80, "d", 0, 0, 0, 0), 3);  // indices are never reused
}

TEST_F(GkWindow, ClientSizeFromTheFirstSizeMessage) {
  const int32_t caption = system.metric(Metric::CyCaption);
  struct Case {
    const char* title;
    int32_t expected_height;
  };
  for (const Case& c :
       {Case{"titled", 100}, Case{"", 100 + caption}, Case{nullptr, 100 + caption}}) {
    SCOPED_TRACE(c.title ? c.title : "(null)");
    const int32_t i = gk::initwindow(200, 100, c.title, 30, 40, 0, 0);
    ASSERT_GE(i, 0);
    auto rec = record(i);
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->width, 200);
    EXPECT_EQ(rec->height, c.expected_height);
    const platform::Rect frame = system.frame_rect(handle(i));
    EXPECT_EQ(frame.left, 30);
    EXPECT_EQ(frame.top, 40);
    EXPECT_EQ(frame.height(), 100 + caption + 2 * system.metric(Metric::CyFixedFrame));
  }
}

TEST_F(GkWindow, WindowsLargerThanTheScreenKeepTheirSize) {
  const int32_t sw = system.metric(Metric::CxScreen), sh = system.metric(Metric::CyScreen);
  ASSERT_EQ(gk::initwindow(sw + 500, sh + 100, "big", 0, 0, 0, 0), 0);
  auto rec = record(0);
  EXPECT_EQ(rec->width, sw + 500);
  EXPECT_EQ(rec->height, sh + 100);
  std::lock_guard<platform::CriticalSection> g(rec->dc_lock);
  for (const platform::Page& p : rec->pages) {
    EXPECT_EQ(p.width(), sw + 500);  // pages as large as the window when it beats the screen
    EXPECT_EQ(p.height(), sh + 100);
  }
}

TEST_F(GkWindow, DefaultPositionTakesSystemXAndTopFive) {
  ASSERT_EQ(gk::initwindow(50, 50, "p", gk::kDefaultPos, 300, 0, 0), 0);
  const platform::Rect frame = system.frame_rect(handle(0));
  EXPECT_EQ(frame.left, platform::kDefaultWindowX);
  EXPECT_EQ(frame.top, 5);
}

TEST_F(GkWindow, NewWindowShowsBlackAndPagesFollowTheFlags) {
  ASSERT_EQ(gk::initwindow(64, 32, "black", 0, 0, 0, 0), 0);
  ASSERT_TRUE(user.settle(handle(0)));
  const platform::Page shown = user.shown(handle(0));
  ASSERT_EQ(shown.width(), 64);
  ASSERT_EQ(shown.height(), 32);
  EXPECT_EQ(shown.at(0, 0), 0u);
  EXPECT_EQ(shown.at(63, 31), 0u);
  EXPECT_EQ(gk::getactivepage(), 0);

  gk::setactivepage(4);
  gk::setvisualpage(4);
  EXPECT_EQ(gk::getactivepage(), 0);
  EXPECT_EQ(gk::getvisualpage(), 0);
  gk::swapbuffers();  // no double buffering: nothing happens
  EXPECT_EQ(gk::getactivepage(), 0);
  EXPECT_EQ(gk::getvisualpage(), 0);

  ASSERT_EQ(gk::initwindow(64, 32, "double", 0, 0, 1, 0), 1);
  EXPECT_EQ(gk::getactivepage(), 1);
  gk::swapbuffers();
  EXPECT_EQ(gk::getactivepage(), 0);
  EXPECT_EQ(gk::getvisualpage(), 1);
  gk::swapbuffers();
  EXPECT_EQ(gk::getactivepage(), 1);
  EXPECT_EQ(gk::getvisualpage(), 0);
}

TEST_F(GkWindow, VisualPageIsWhatPaintShows) {
  ASSERT_EQ(gk::initwindow(40, 20, "pages", 0, 0, 0, 0), 0);
  auto rec = record(0);
  {
    std::lock_guard<platform::CriticalSection> g(rec->dc_lock);
    rec->pages[2].at(5, 6) = 0x123456;
  }
  gk::setvisualpage(2);
  ASSERT_TRUE(user.settle(handle(0)));
  EXPECT_EQ(user.shown(handle(0)).at(5, 6), 0x123456u);
}

TEST_F(GkWindow, TitleAndResizeStyle) {
  ASSERT_EQ(gk::initwindow(40, 20, "first", 0, 0, 0, 0), 0);
  gk::setwindowtitle("second");
  EXPECT_EQ(system.text(handle(0)), "second");
  gk::setwindowtitle(nullptr);  // stored as empty, window text unchanged
  EXPECT_EQ(system.text(handle(0)), "second");

  int32_t resized = 0;
  gk::enableresize([&] { ++resized; });
  EXPECT_TRUE(system.style(handle(0)) & platform::kStyleThickFrame);
  user.resize(handle(0), 300, 200);
  ASSERT_TRUE(user.settle(handle(0)));
  EXPECT_EQ(record(0)->width, 300);
  EXPECT_EQ(record(0)->height, 200);
  EXPECT_EQ(resized, 1);

  user.minimize(handle(0));  // minimised: the stored size stays
  ASSERT_TRUE(user.settle(handle(0)));
  EXPECT_EQ(record(0)->width, 300);
  EXPECT_EQ(resized, 1);

  gk::disableresize();
  user.restore(handle(0));
  user.resize(handle(0), 100, 100);  // no sizing frame any more: ignored
  ASSERT_TRUE(user.settle(handle(0)));
  EXPECT_EQ(record(0)->width, 300);
}

TEST_F(GkWindow, EnableWindowBlocksInput) {
  ASSERT_EQ(gk::initwindow(40, 20, "in", 0, 0, 0, 0), 0);
  gk::enablewindow(0, 0);
  EXPECT_FALSE(system.is_enabled(handle(0)));
  user.press_key(handle(0), 'A', 'a');
  ASSERT_TRUE(user.settle(handle(0)));
  EXPECT_EQ(gk::take_key(*record(0), false), -1);
  gk::enablewindow(0, 1);
  user.press_key(handle(0), 'A', 'a');
  ASSERT_TRUE(user.settle(handle(0)));
  EXPECT_EQ(gk::take_key(*record(0), false), 'a');
}

TEST_F(GkWindow, ShowErrorBoxIsAnErrorBoxWithOk) {
  gk::showerrorbox("bad thing");
  const auto shown = dialogs.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, "Error");
  EXPECT_EQ(shown[0].text, "bad thing");
  EXPECT_EQ(shown[0].icon, platform::DialogIcon::Error);
  EXPECT_EQ(shown[0].buttons, platform::DialogButtons::Ok);
  EXPECT_EQ(shown[0].owner, 0u);
}

TEST_F(GkWindow, CallsOnAClosedWindowDoNothing) {
  ASSERT_EQ(gk::initwindow(40, 20, "x", 0, 0, 0, 0), 0);
  auto rec = record(0);
  user.press_close_box(handle(0));  // destroyed, but the slot stays until closewindow
  ASSERT_TRUE(user.settle(rec->hwnd));
  EXPECT_FALSE(system.is_window(rec->hwnd));
  EXPECT_FALSE(rec->alive);
  EXPECT_EQ(gk::getcurrentwindow(), 0);
  EXPECT_EQ(gk::GK__GetWindowDataPtr(0), nullptr);
  EXPECT_EQ(gk::getactivepage(), gk::kUnknownWindow);
  gk::setwindowtitle("ignored");
  EXPECT_EQ(gk::isvalidwindow(0), 0);
  gk::closewindow(0);  // still named by its index
  EXPECT_EQ(gk::getcurrentwindow(), gk::kNoWindow);
}

TEST_F(GkWindow, GraphDefaultsRestoresTheDrawingState) {
  ASSERT_EQ(gk::initwindow(40, 20, "g", 0, 0, 1, 0), 0);
  auto rec = record(0);
  rec->line_style = 3;
  rec->line_thickness = 5;
  rec->text.char_size = 30;
  rec->aspect_x = 1;
  rec->visual_page = 3;
  rec->refresh = 0;
  rec->drawing_color = 0x00FF00;
  gk::graphdefaults();
  EXPECT_EQ(rec->line_style, 0);
  EXPECT_EQ(rec->line_thickness, 1);
  EXPECT_EQ(rec->text.char_size, 12);
  EXPECT_EQ(rec->text.vert, 2);
  EXPECT_EQ(rec->aspect_x, 10000);
  EXPECT_EQ(rec->visual_page, 0);
  EXPECT_EQ(rec->active_page, 1);
  EXPECT_EQ(rec->refresh, 1);
  EXPECT_EQ(rec->drawing_color, 0xFFFFFFu);
  EXPECT_EQ(rec->viewport.right, 40);
}

TEST_F(GkWindow, EachNewWindowGetsItsDrawingDefaultsWhileAnotherIsMadeCurrent) {
  ASSERT_EQ(gk::initwindow(40, 20, "other", 0, 0, 0, 0), 0);
  auto first = record(0);
  {
    std::lock_guard<platform::CriticalSection> g(first->dc_lock);
    first->line_thickness = 3;
  }
  std::atomic<bool> making{true};
  std::thread switcher([&] {
    while (making) gk::setcurrentwindow(0);
  });
  int32_t wrong = 0;
  for (int32_t k = 0; k < 20; ++k) {
    const int32_t i = gk::initwindow(50, 30, "double", 0, 0, 1, 0);
    auto rec = record(i);
    ASSERT_TRUE(rec);
    std::lock_guard<platform::CriticalSection> g(rec->dc_lock);
    if (rec->active_page != 1 || rec->viewport.right != 50) ++wrong;
  }
  making = false;
  switcher.join();
  EXPECT_EQ(wrong, 0);
  std::lock_guard<platform::CriticalSection> g(first->dc_lock);
  EXPECT_EQ(first->line_thickness, 3);  // making the others left its drawing state alone
}

using GkWindowDeath = HeadlessToolkit;

TEST_F(GkWindowDeath, ExitOnCloseEndsWithZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        gk::initwindow(40, 20, "exit", 0, 0, 0, 1);
        user.press_close_box(handle(0));
        gk::delay(5000);
        std::exit(3);  // not reached when the close ends the program
      },
      ::testing::ExitedWithCode(0),
      "");
}

TEST_F(GkWindowDeath, NormalExitClosesTheWindowsLeftOpen) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The windows' threads end while the program exits: whatever they touch then must still
  // exist (a sanitizer report would end the process with a nonzero code).
  EXPECT_EXIT(
      {
        gk::initwindow(40, 20, "left open", 0, 0, 0, 0);
        gk::initwindow(40, 20, "", 0, 0, 0, 0);
        gk::setcurrentwindow(0);  // this thread has sent to a window
        std::exit(0);
      },
      ::testing::ExitedWithCode(0),
      "");
}

TEST_F(GkWindowDeath, DrawingWithoutCurrentWindowStopsWithNonzero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(gk::GK__GetWindowDataPtr(0), ::testing::ExitedWithCode(1), "");
  ASSERT_EQ(gk::initwindow(40, 20, "w", 0, 0, 0, 0), 0);
  gk::closewindow(-1);
  EXPECT_EXIT(gk::graphdefaults(), ::testing::ExitedWithCode(1), "");
}

}  // namespace

namespace {

TEST_F(GkWindow, FailedCreationReturnsMinusOneAfterAnErrorBox) {
  ASSERT_EQ(gk::initwindow(40, 20, "ok", 0, 0, 0, 0), 0);
  gk::unregisterWindowClass();  // the next window cannot be made
  EXPECT_EQ(gk::initwindow(40, 20, "fails", 0, 0, 0, 0), -1);
  const auto boxes = dialogs.shown();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "Error");
  EXPECT_EQ(gk::getcurrentwindow(), 0);
  EXPECT_EQ(gk::GK__WindowCount, 1);
}

TEST_F(GkWindow, CaptionlessFrameDragsAndClientClicksStayClicks) {
  std::mutex m;
  std::vector<uint32_t> mouse;
  gk::hooks.mouse =
      [&](gk::WindowData&, platform::Hwnd, uint32_t msg, uint64_t, int64_t, int64_t&) {
        if (msg >= platform::kMsgMouseFirst && msg <= platform::kMsgMouseLast) {
          std::lock_guard<std::mutex> g(m);
          mouse.push_back(msg);
        }
        return false;
      };
  ASSERT_EQ(gk::initwindow(100, 60, "", 200, 100, 0, 0), 0);
  const platform::Hwnd h = handle(0);
  user.drag_frame(h, {1, 1}, {21, 11});  // the one-frame-wide border
  ASSERT_TRUE(user.settle(h));
  EXPECT_EQ(system.frame_rect(h).left, 220);
  EXPECT_EQ(system.frame_rect(h).top, 110);
  user.click(h, {50, 30});
  ASSERT_TRUE(user.settle(h));
  std::lock_guard<std::mutex> g(m);
  const std::vector<uint32_t> expected{platform::kMsgLButtonDown, platform::kMsgLButtonUp};
  EXPECT_EQ(mouse, expected);
}

}  // namespace
