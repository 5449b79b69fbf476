// The toolkit on an X display: what the engine draws through the binding shows on the screen
// as on the window's surface, and the Cancel button's callback runs on a click made by X.
#include <atomic>

#include "platform/sync.hpp"
#include "platform/x11/x11_backend.hpp"
#include "toolkit/buttons.hpp"
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

}  // namespace
}  // namespace x11_test
