// Several threads make and close windows while the scripted user types and clicks at whatever
// windows exist. Passing means: no deadlock (the run ends within its bound), no sanitizer
// report, and every window closed at the end.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/thread.hpp"
#include "toolkit/gk_callbacks.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/gk_wndproc.hpp"
#include "toolkit_fixture.hpp"

namespace {

using toolkit_test::HeadlessToolkit;
using GkStress = HeadlessToolkit;

constexpr int32_t kMakers = 4;
constexpr int32_t kWindowsEach = 6;
constexpr auto kBound = std::chrono::seconds(60);

TEST_F(GkStress, ThreadsMakeAndCloseWindowsUnderInput) {
  const auto start = std::chrono::steady_clock::now();
  std::atomic<bool> making{true};
  std::atomic<int32_t> made{0};

  std::thread typist([&] {
    platform::ScriptedUser typing(system, backend, dialogs);
    for (int32_t round = 0; making; ++round) {
      int32_t count;
      {
        std::lock_guard<std::mutex> g(gk::table_lock);
        count = gk::GK__WindowCount;
      }
      for (int32_t i = 0; i < count; ++i) {
        const platform::Hwnd h = handle(i);
        if (h == 0) continue;
        typing.type_text(h, "ab");
        typing.press_key(h, platform::kVkLeft);
        typing.click(h, {round % 20, i % 10});
        if (round % 7 == 0) typing.press_close_box(h);
      }
      std::this_thread::yield();
    }
  });

  std::vector<std::thread> makers;
  for (int32_t t = 0; t < kMakers; ++t) {
    makers.emplace_back([&, t] {
      for (int32_t k = 0; k < kWindowsEach; ++k) {
        const int32_t i = gk::initwindow(60 + t, 40 + k, (k % 2) ? "titled" : "", 0, 0, k % 2, 0);
        if (i < 0) continue;
        ++made;
        // Only calls that name the window: the current window may be closed by another thread
        // at any moment, and a drawing call without one stops the program.
        gk::setcurrentwindow(i);
        gk::isvalidwindow(i);
        gk::enablewindow(i, 1);
        const int32_t signalling = gk::getsignallingwindow();  // -1 once the user closed it
        EXPECT_TRUE(signalling == i || signalling == -1) << signalling << " for " << i;
        if (auto rec = record(i)) rec->idle_event.set();
        gk::closewindow(i);
      }
    });
  }
  for (auto& m : makers) m.join();
  making = false;
  typist.join();
  gk::closewindow(-2);

  EXPECT_EQ(made, kMakers * kWindowsEach);
  for (int32_t i = 0; i < kMakers * kWindowsEach; ++i) EXPECT_EQ(gk::isvalidwindow(i), 0) << i;
  EXPECT_LT(std::chrono::steady_clock::now() - start, kBound);
}

}  // namespace
