// The binding layer as the fit engine uses it: dialogs, the Cancel button and drawing.
#include "toolkit/guikit.hpp"

#include <atomic>
#include <thread>

#include "drawing_fixture.hpp"
#include "platform/sync.hpp"
#include "platform/thread_id.hpp"
#include "toolkit/controls.hpp"
#include "toolkit/text.hpp"

namespace {

using platform::DialogAnswer;
using platform::DialogIcon;

class Guikit : public toolkit_test::DrawingWindow {
 protected:
  void SetUp() override {
    DrawingWindow::SetUp();
    gk::install_text();
    h_ = handle(index_);
  }
  // Clicks the middle of the control's rectangle and waits until the window has handled it.
  void click_control(int32_t id) {
    int32_t l = 0, t = 0, w = 0, hh = 0;
    ASSERT_EQ(gk::getbuttonposition(id, &l, &t, &w, &hh), 1);
    user.click(h_, {l + w / 2, t + hh / 2});
    ASSERT_TRUE(user.settle(h_));
  }
  platform::Hwnd h_ = 0;
};

TEST_F(Guikit, MessageTitlesAndIconsFollowTheKind) {
  struct Case {
    int32_t kind;
    const char* title;
    DialogIcon icon;
  };
  const Case cases[] = {{1, "Information", DialogIcon::Information},
                        {2, "Warning", DialogIcon::Warning},
                        {3, "Error", DialogIcon::Error},
                        {7, "Message", DialogIcon::None},
                        {0, "Message", DialogIcon::None}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    dialogs.clear();
    guikit::dlgmessage(c.kind, "Data block 2 read   ");
    const auto shown = dialogs.shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, c.title);
    EXPECT_EQ(shown[0].icon, c.icon);
    EXPECT_EQ(shown[0].text, "Data block 2 read");  // trailing blanks trimmed
    EXPECT_EQ(shown[0].buttons, platform::DialogButtons::Ok);
    EXPECT_EQ(shown[0].owner, h_);
  }
}

TEST_F(Guikit, YesNoAnswersTrueOnlyForYes) {
  user.answer_next_dialog(DialogAnswer::Yes);
  EXPECT_TRUE(guikit::dlgyesno(1, "Model line:\r\ny = a*x  "));
  user.answer_next_dialog(DialogAnswer::No);
  EXPECT_FALSE(guikit::dlgyesno(1, "Model line"));
  user.answer_next_dialog(DialogAnswer::Cancel);
  EXPECT_FALSE(guikit::dlgyesno(3, "Model line"));
  const auto shown = dialogs.shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].title, "Information");
  EXPECT_EQ(shown[0].text, "Model line:\r\ny = a*x");
  EXPECT_EQ(shown[0].buttons, platform::DialogButtons::YesNo);
  EXPECT_EQ(shown[2].title, "Error");
}

TEST_F(Guikit, ButtonClickRunsTheCallbackOnANewThread) {
  platform::Event ran;
  std::atomic<platform::ThreadId> runner{0};
  const int32_t id = guikit::createbutton(100, 100, 90, 20, "Cancel   ", [&] {
    runner = platform::current_thread_id();
    ran.set();
  });
  ASSERT_EQ(id, 0);
  click_control(id);
  ASSERT_TRUE(ran.wait(5000));
  EXPECT_NE(runner.load(), platform::current_thread_id());
  EXPECT_NE(runner.load(), rec_->window_thread_id.load());
  int32_t l = 0, t = 0, w = 0, hh = 0;
  EXPECT_EQ(gk::getbuttonposition(id, &l, &t, &w, &hh), 1);
  EXPECT_EQ(l, 100);
  EXPECT_EQ(t, 100);
  EXPECT_EQ(w, 90);
  EXPECT_EQ(hh, 20);
}

TEST_F(Guikit, DisabledButtonIgnoresClicks) {
  std::atomic<int> clicks{0};
  const int32_t id = guikit::createbutton(10, 10, 60, 20, "Go", [&] { ++clicks; });
  guikit::enablebutton(id, false);
  click_control(id);
  guikit::enablebutton(id, true);
  platform::Event ran;
  const int32_t id2 = guikit::createbutton(10, 40, 60, 20, "Go", [&] { ran.set(); });
  click_control(id2);  // a later click that does fire shows the first one was handled
  ASSERT_TRUE(ran.wait(5000));
  EXPECT_EQ(clicks.load(), 0);
}

// The cascade's Cancel button: removebutton returns only when no callback of the button runs,
// and nothing fires after it.
TEST_F(Guikit, NoCallbackRunsAfterRemoveButtonReturned) {
  platform::Event entered, release;
  std::atomic<bool> running{false};
  std::atomic<int> after{0};
  std::atomic<bool> removed{false};
  const int32_t id = guikit::createbutton(100, 100, 90, 20, "Cancel", [&] {
    if (removed) ++after;
    running = true;
    entered.set();
    release.wait(5000);
    running = false;
  });
  click_control(id);
  ASSERT_TRUE(entered.wait(5000));
  std::thread releaser([&] { release.set(); });
  guikit::removebutton(id);
  removed = true;
  releaser.join();
  EXPECT_FALSE(running.load());
  EXPECT_EQ(gk::getbuttonposition(id, nullptr, nullptr, nullptr, nullptr), 0);
  user.click(h_, {145, 110});
  ASSERT_TRUE(user.settle(h_));
  EXPECT_EQ(after.load(), 0);
  // The freed id goes to the next control made.
  EXPECT_EQ(guikit::createbutton(0, 0, 10, 10, "next", nullptr), id);
}

TEST_F(Guikit, OuttextxyTrimsUnlessTold) {
  guikit::setcolor(0xFFFFFF);
  guikit::settextstyle(1, 0, 14);
  const int32_t two = gk::textwidth("ab");
  const int32_t five = gk::textwidth("ab   ");
  ASSERT_LT(two, five);
  guikit::outtextxy(0, 0, "ab   ");
  int32_t inked_right = 0;
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < kWidth; ++x)
      if (pixel(x, y) != 0) inked_right = std::max(inked_right, x + 1);
  EXPECT_LE(inked_right, two);
  // Untrimmed: the blanks are drawn too, with the background box of opaque text.
  guikit::settextstyle(1, 0, 14, 0);
  guikit::setbkcolor(0x0000FF);
  guikit::outtextxy(0, 40, "ab   ", false);
  int32_t box_right = 0;
  for (int32_t x = 0; x < kWidth; ++x)
    if (pixel(x, 45) == 0x0000FF) box_right = x + 1;
  EXPECT_EQ(box_right, five);
}

TEST_F(Guikit, LinesDrawInTheCurrentColour) {
  guikit::setcolor(0x00FF00);
  guikit::setlinestyle(0, 0, 1);
  guikit::moveto(10, 10);
  guikit::lineto(20, 10);
  guikit::line(10, 20, 10, 30);
  EXPECT_EQ(pixel(15, 10), 0x00FF00u);
  EXPECT_EQ(pixel(20, 10), 0u);  // end pixel excluded
  EXPECT_EQ(pixel(10, 25), 0x00FF00u);
  guikit::setbkcolor(0x112233);
  guikit::clearviewport();
  EXPECT_EQ(pixel(15, 10), 0x112233u);
}

}  // namespace
