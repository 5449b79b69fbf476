// The windowed dialogs on an X display: the box is a real X window that an XTest click answers,
// the text entry takes keys typed through X, and a double click made by X on a file in the file
// dialog's list chooses that file.
#include <deque>
#include <optional>
#include <string>

#include "platform/controls/control_classes.hpp"
#include "platform/sync.hpp"
#include "platform/text/font.hpp"
#include "platform/thread.hpp"
#include "platform/windowed/windowed_dialogs.hpp"
#include "platform/x11/x11_backend.hpp"
#include "support/temp_dir.hpp"
#include "toolkit/drawing_state.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/gk_wndproc.hpp"
#include "toolkit/guikit.hpp"
#include "toolkit/text.hpp"
#include "x11/x11_host.hpp"

// After every platform header: Xlib macros clash with platform names.
#include <X11/extensions/XTest.h>

namespace x11_test {
namespace {

class X11Dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(backend.open()) << "no X display (run under scripts/with-xvfb)";
    xd = XOpenDisplay(nullptr);
    ASSERT_NE(xd, nullptr);
    dialogs.attach(&system);
    dialogs.on_dialog_shown([this](Hwnd h) {
      shown_dialog = h;
      shown_event.set();
    });
  }
  void TearDown() override {
    gk::reset();  // the toolkit's windows of a test that used it
    gk::hooks = {};
    dialogs.attach(nullptr);
    if (xd) XCloseDisplay(xd);
  }

  // The dialog once it is on the screen: mapped and showing its surface.
  Hwnd dialog_on_screen() {
    if (!shown_event.wait(kWaitMs)) return 0;
    const Hwnd d = shown_dialog;
    const bool ready = eventually(xd, [&] {
      XWindowAttributes a{};
      if (!XGetWindowAttributes(xd, backend.x_window(d), &a) || a.map_state != IsViewable)
        return false;
      const Page s = system.surface(d), x = shown_by_x(xd, backend.x_window(d));
      return s.width() == x.width() && s.height() == x.height() &&
             std::equal(s.data(), s.data() + s.width() * s.height(), x.data());
    });
    return ready ? d : 0;
  }
  Hwnd child(Hwnd dialog, const char* cls, const std::string& text) {
    for (Hwnd c : system.children(dialog))
      if (system.class_name(c) == cls && system.text(c) == text) return c;
    return 0;
  }
  // Clicks the middle of a control through X.
  void click_control(Hwnd control) {
    const Point o = system.client_origin(system.root(control)), in = system.offset_in_root(control);
    const Rect r = system.client_rect(control);
    click_at_screen({o.x + in.x + r.width() / 2, o.y + in.y + r.height() / 2});
  }
  void click_at_screen(Point p) {
    XTestFakeMotionEvent(xd, -1, p.x, p.y, CurrentTime);
    XTestFakeButtonEvent(xd, 1, True, CurrentTime);
    XTestFakeButtonEvent(xd, 1, False, CurrentTime);
    XSync(xd, False);
  }
  void tap(KeySym sym) {
    const KeyCode code = XKeysymToKeycode(xd, sym);
    XTestFakeKeyEvent(xd, code, True, CurrentTime);
    XTestFakeKeyEvent(xd, code, False, CurrentTime);
    XSync(xd, False);
  }
  static bool finished(const std::shared_ptr<Thread>& t) {
    if (!t->ended().wait(kWaitMs)) return false;
    t->join();
    return true;
  }

  X11Backend backend;
  WindowedDialogs dialogs;
  WindowSystem system{backend, dialogs};
  Display* xd = nullptr;
  std::atomic<Hwnd> shown_dialog{0};
  Event shown_event;
};

TEST_F(X11Dialogs, AnXClickOnYesAnswersTheBox) {
  std::optional<DialogAnswer> answer;  // (Xlib defines None)
  auto t = Thread::create(
      [&]() -> uint32_t {
        answer = dialogs.message_box(MessageBoxRequest{
            0, "Confirm", "Fit Y=P1*X1?", DialogIcon::Question, DialogButtons::YesNo});
        return 0;
      },
      false);
  const Hwnd d = dialog_on_screen();
  ASSERT_NE(d, 0u);
  XWindowAttributes a{};
  ASSERT_NE(XGetWindowAttributes(xd, backend.x_window(d), &a), 0);
  EXPECT_EQ(a.width, system.client_rect(d).width());
  const Hwnd yes = child(d, kClassButton, "Yes");
  ASSERT_NE(yes, 0u);
  click_control(yes);
  ASSERT_TRUE(finished(t));
  EXPECT_EQ(answer, DialogAnswer::Yes);
  EXPECT_EQ(backend.x_window(d), 0u);  // the X window went with the box
}

TEST_F(X11Dialogs, TextTypedThroughXIsAnsweredOnEnter) {
  std::optional<std::string> answer;
  auto t = Thread::create(
      [&]() -> uint32_t {
        answer = dialogs.text_entry(TextEntryRequest{0, "Name", true, "Your name:", "x", false});
        return 0;
      },
      false);
  const Hwnd d = dialog_on_screen();
  ASSERT_NE(d, 0u);
  // The dialog took the keyboard focus when it was shown; its field holds "x", selected.
  tap(XK_f);
  tap(XK_i);
  tap(XK_t);
  tap(XK_2);
  tap(XK_Return);
  ASSERT_TRUE(finished(t));
  EXPECT_EQ(answer, "fit2");
}

// The program's road: the engine's thread asks the toolkit's Yes/No question while the main
// window (a toolkit window on its own thread) is current; the box is owned by that window.
TEST_F(X11Dialogs, TheToolkitsQuestionIsOwnedByTheCurrentWindow) {
  gk::reset();
  gk::attach(&system);
  gk::install_drawing();
  gk::install_text();
  ASSERT_EQ(gk::initwindow(400, 200, "main", 0, 0, 0, 0), 0);
  Hwnd main_window;
  {
    std::lock_guard<std::mutex> g(gk::table_lock);
    main_window = gk::GK__WindowTable[0];
  }
  std::atomic<int32_t> answer{-1};
  auto t = Thread::create(
      [&]() -> uint32_t {
        answer = guikit::dlgyesno(1, "Is this the correct data file?") ? 1 : 0;
        return 0;
      },
      false);
  const Hwnd d = dialog_on_screen();
  ASSERT_NE(d, 0u);
  EXPECT_EQ(system.text(d), "Information");
  EXPECT_FALSE(system.is_enabled(main_window));
  click_control(child(d, kClassButton, "No"));
  ASSERT_TRUE(finished(t));
  EXPECT_EQ(answer, 0);
  EXPECT_TRUE(system.is_enabled(main_window));
}


TEST_F(X11Dialogs, AnXDoubleClickOnAFileChoosesIt) {
  testsupport::TempDir dir;
  dir.write("alpha.dat", "1\n");
  dir.write("beta.dat", "2\n");
  FileDialogRequest request;
  request.filters = {{"Data files", "*.dat"}, {"All Files", "*.*"}};
  request.initial_folder = dir.path().string();
  std::optional<std::string> chosen;
  auto asker = Thread::create(
      [&]() -> uint32_t {
        chosen = dialogs.file_dialog(request);
        return 0;
      },
      false);
  const Hwnd d = dialog_on_screen();
  ASSERT_NE(d, 0u);

  // The list holds "../", "alpha.dat", "beta.dat": the third row, 2 pixels below its border.
  Hwnd list = 0;
  for (Hwnd c : system.children(d))
    if (system.class_name(c) == kClassListBox) list = c;
  ASSERT_NE(list, 0u);
  const int32_t h = platform::Font::default_gui()->height() + 2;
  const Point o = system.client_origin(d), in = system.offset_in_root(list);
  XTestFakeMotionEvent(xd, -1, o.x + in.x + 20, o.y + in.y + 2 + 2 * h + h / 2, CurrentTime);
  for (int i = 0; i < 2; ++i) {
    XTestFakeButtonEvent(xd, 1, True, CurrentTime);
    XTestFakeButtonEvent(xd, 1, False, CurrentTime);
  }
  XSync(xd, False);
  ASSERT_TRUE(finished(asker));
  EXPECT_EQ(chosen, dir.file("beta.dat"));
}

}  // namespace
}  // namespace x11_test
