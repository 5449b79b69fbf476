// The toolkit on an X display: what the engine draws through the binding shows on the screen
// as on the window's surface; the Cancel button's callback, a menu item's callback and a text
// box's Enter callback run on clicks and keys made by X, and typed text arrives in the box.
#include <atomic>

#include "platform/sync.hpp"
#include "platform/x11/x11_backend.hpp"
#include "toolkit/buttons.hpp"
#include "toolkit/controls.hpp"
#include "toolkit/drawing_state.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/gk_wndproc.hpp"
#include "toolkit/guikit.hpp"
#include "toolkit/menus.hpp"
#include "toolkit/static_background_scene.hpp"
#include "toolkit/text.hpp"
#include "toolkit/textboxes.hpp"
#include "x11/x11_host.hpp"

// After every platform header: Xlib macros clash with platform names.
#include <X11/extensions/XTest.h>

namespace x11_test {
namespace {

class X11Toolkit : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(backend.open());
    xd = XOpenDisplay(nullptr);
    ASSERT_NE(xd, nullptr);
    gk::reset();
    gk::attach(&system);
    gk::install_drawing();
    gk::install_text();
    gk::install_menus();
    ASSERT_EQ(gk::initwindow(400, 200, "main", 0, 0, 0, 0), 0);
    std::lock_guard<std::mutex> g(gk::table_lock);
    h = gk::GK__WindowTable[0];
  }
  void TearDown() override {
    gk::reset();
    gk::hooks = {};
    if (xd) XCloseDisplay(xd);
  }

  bool screen_is_surface() {
    const Page s = system.surface(h), shown = shown_by_x(xd, backend.x_window(h));
    return s.width() == shown.width() && s.height() == shown.height() &&
           std::equal(s.data(), s.data() + s.width() * s.height(), shown.data());
  }

  // Presses and releases the key of `sym`, with Shift held when `shifted`.
  void tap(KeySym sym, bool shifted = false) {
    const KeyCode shift = XKeysymToKeycode(xd, XK_Shift_L), code = XKeysymToKeycode(xd, sym);
    if (shifted) XTestFakeKeyEvent(xd, shift, True, CurrentTime);
    XTestFakeKeyEvent(xd, code, True, CurrentTime);
    XTestFakeKeyEvent(xd, code, False, CurrentTime);
    if (shifted) XTestFakeKeyEvent(xd, shift, False, CurrentTime);
    XSync(xd, False);
  }
  std::string contents(int32_t id) {
    char buffer[128] = {};
    gk::gettextboxcontents(id, buffer, sizeof buffer);
    return buffer;
  }

  HeadlessDialogs dialogs;
  X11Backend backend;
  WindowSystem system{backend, dialogs};
  Display* xd = nullptr;
  Hwnd h = 0;
};

TEST_F(X11Toolkit, TheEnginesDrawingShowsAsOnTheSurface) {
  guikit::setbkcolor(16777215);
  guikit::clearviewport();
  guikit::setcolor(8388608);
  guikit::line(10, 10, 390, 150);
  guikit::outtextxy(20, 40, "Progress: 50% ||||||||");
  ASSERT_TRUE(system.flush(h, kWaitMs));
  EXPECT_TRUE(eventually(xd, [&] {
    const Page s = system.surface(h);
    return s.width() > 0 && to_colorref(s.at(10, 10)) == 8388608u && screen_is_surface();
  }));
}

TEST_F(X11Toolkit, LabelsCheckBoxesAndGroupBoxesShowTheirParentsBackground) {
  const auto cases =
      toolkit_test::make_static_background_scene(system, gk::GK__GetWindowDataPtrOrNull(0));
  ASSERT_TRUE(system.flush(h, kWaitMs));
  ASSERT_TRUE(eventually(xd, [&] { return screen_is_surface(); }));
  const Page shown = shown_by_x(xd, backend.x_window(h));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(toolkit_test::static_background_fault(shown, c), "");
  }
}

TEST_F(X11Toolkit, AnXClickOnTheCancelButtonRunsItsCallback) {
  platform::Event ran;
  const int32_t id = guikit::createbutton(150, 120, 90, 20, "Cancel", [&] { ran.set(); });
  ASSERT_GE(id, 0);
  ASSERT_TRUE(system.flush(h, kWaitMs));
  const Point origin = system.client_origin(h);
  XTestFakeMotionEvent(xd, -1, origin.x + 195, origin.y + 130, CurrentTime);
  XTestFakeButtonEvent(xd, 1, True, CurrentTime);
  XTestFakeButtonEvent(xd, 1, False, CurrentTime);
  XSync(xd, False);
  EXPECT_TRUE(ran.wait(kWaitMs));
  guikit::removebutton(id);
}

TEST_F(X11Toolkit, XClicksOnTheBarAndAnItemRunTheItemsCallback) {
  const Rect client = system.client_rect(h);
  ASSERT_EQ(guikit::addmenu(""), 0);
  ASSERT_EQ(guikit::addmenu("File", 0), 1);
  ASSERT_EQ(guikit::addmenu("Run", 0), 2);
  std::atomic<int32_t> chosen{-5};
  platform::Event ran;
  auto record = [&] {
    chosen = gk::getmenuhandlerid();
    ran.set();
  };
  ASSERT_EQ(guikit::addmenuitem("Open", 1, record), 0);
  ASSERT_EQ(guikit::addmenuitem("Go", 2, record), 1);
  ASSERT_EQ(guikit::addmenuitem("Stop", 2, record), 2);
  ASSERT_TRUE(system.flush(h, kWaitMs));
  EXPECT_EQ(system.client_rect(h), client);

  const Point origin = system.client_origin(h);
  const Rect run = system.menu_bar_item_rect(h, 1);  // frame coordinates
  const Rect frame = system.frame_rect(h);
  click_at(xd, {frame.left + run.left + 5, frame.top + run.top + 5});
  // Open, and shown once the window's thread is done with the press.
  ASSERT_TRUE(eventually(xd, [&] { return system.open_menu_popup(h) != 0; }));
  ASSERT_TRUE(system.flush(h, kWaitMs));
  const Hwnd popup = system.open_menu_popup(h);
  EXPECT_EQ(system.client_origin(popup), (Point{frame.left + run.left, origin.y}));
  const Rect stop = system.menu_popup_item_rect(popup, 1);
  const Point at = system.client_origin(popup);
  click_at(xd, {at.x + stop.left + 10, at.y + (stop.top + stop.bottom) / 2});
  ASSERT_TRUE(ran.wait(kWaitMs));
  EXPECT_EQ(chosen, 2);
}

TEST_F(X11Toolkit, KeysTypedThroughXFillATextBoxAndEnterRunsItsCallback) {
  const int32_t id = gk::createtextbox(20, 20, 200, 24);
  ASSERT_GE(id, 0);
  platform::Event entered;
  std::atomic<int32_t> enter_id{-5};
  gk::settextboxentercallback(id, [&] {
    enter_id = gk::getcallbackcontrolid();
    entered.set();
  });
  ASSERT_TRUE(system.flush(h, kWaitMs));
  const Point origin = system.client_origin(h);
  click_at(xd, {origin.x + 60, origin.y + 32});  // the box takes the focus
  const Hwnd box = gk::GetControl(*gk::GK__GetWindowDataPtrOrNull(0), gk::kKindEdit, id);
  ASSERT_TRUE(eventually(xd, [&] { return system.focus() == box; }));
  XSetInputFocus(xd, backend.x_window(h), RevertToParent, CurrentTime);
  tap(XK_f, true);
  for (KeySym k : {XK_i, XK_t, XK_x}) tap(k);
  tap(XK_BackSpace);
  tap(XK_space);
  tap(XK_o, true);
  tap(XK_k, true);
  ASSERT_TRUE(eventually(xd, [&] { return contents(id) == "Fit OK"; })) << contents(id);
  tap(XK_Return);
  ASSERT_TRUE(entered.wait(kWaitMs));
  EXPECT_EQ(enter_id, id);
  EXPECT_EQ(contents(id), "Fit OK");  // Enter typed nothing
  EXPECT_TRUE(eventually(xd, [&] { return screen_is_surface(); }));
}

}  // namespace
}  // namespace x11_test
