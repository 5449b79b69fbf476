// Threads create and remove buttons, check boxes and scroll bars on one window while the
// scripted user clicks, drags and types Tab over it, and callbacks remove controls too.
// Passing means: no deadlock (the run ends within its bound), no sanitizer report, no
// callback of a control after its removal returned, and every id free at the end.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "controls_fixture.hpp"
#include "toolkit/buttons.hpp"
#include "toolkit/gk_callbacks.hpp"
#include "toolkit/scrollbars.hpp"

namespace {

using toolkit_test::ControlsWindow;
using ControlsStress = ControlsWindow;

constexpr int32_t kMakers = 4;
constexpr int32_t kRounds = 40;
constexpr auto kBound = std::chrono::seconds(60);

TEST_F(ControlsStress, ThreadsMakeAndRemoveControlsUnderInput) {
  const auto start = std::chrono::steady_clock::now();
  gk::setdialoghotkeys(1);
  std::atomic<bool> running{true};
  std::atomic<int32_t> fired{0};
  std::atomic<int32_t> late{0};  // callbacks that ran after their control's removal returned

  std::thread user_thread([&] {
    platform::ScriptedUser clicking(system, backend, dialogs);
    for (int32_t round = 0; running; ++round) {
      const platform::Point p{(round * 37) % 400, (round * 53) % 300};
      clicking.click(h_, p);
      if (round % 5 == 0) clicking.drag(h_, p, {(p.x + 60) % 400, p.y});
      if (round % 3 == 0) clicking.press_tab(h_);
      if (round % 4 == 0) clicking.press_key(h_, platform::kVkSpace, ' ');
      std::this_thread::yield();
    }
  });

  std::vector<std::thread> makers;
  for (int32_t t = 0; t < kMakers; ++t) {
    makers.emplace_back([&, t] {
      for (int32_t k = 0; k < kRounds; ++k) {
        const int32_t x = (t * 100 + k * 7) % 360, y = (k * 29) % 260;
        auto removed = std::make_shared<std::atomic<bool>>(false);
        const int32_t button = gk::createbutton(x, y, 40, 20, "b", [&, removed] {
          ++fired;
          if (*removed) ++late;
          gk::getcallbackcontrolid();
        });
        const int32_t box = gk::createcheckbox(x, y + 20, 40, 20, "c", [&] {
          ++fired;
          gk::checkboxischecked(gk::getcallbackcontrolid());
        });
        const int32_t bar =
            gk::createscrollbar(x, y + 40, 60, 16, k % 2, [&](int32_t) { ++fired; });
        EXPECT_GE(button, 0);
        EXPECT_GE(box, 0);
        EXPECT_GE(bar, 0);
        gk::setbuttonposition(button, y % 360, x % 260, 40, 20);
        gk::setscrollposition(bar, k);
        gk::enablebutton(box, k % 2);
        gk::removebutton(button);
        *removed = true;
        gk::removecheckbox(box);
        gk::removescrollbar(bar);
      }
    });
  }
  for (auto& m : makers) m.join();
  running = false;
  user_thread.join();
  ASSERT_TRUE(user.settle(h_));
  gk::join_callback_threads();

  EXPECT_EQ(late.load(), 0);
  EXPECT_TRUE(system.children(h_).empty());
  for (int32_t i = 0; i < rec_->control_map.count; ++i)
    EXPECT_EQ(rec_->control_map.handles[i], gk::kFreeSlot) << i;
  EXPECT_LT(std::chrono::steady_clock::now() - start, kBound);
  RecordProperty("callbacks", fired.load());
}

}  // namespace
