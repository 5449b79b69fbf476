// The windowed file dialog on an X display: it shows on the screen as on its surface, and a
// double click made by X on a file in its list chooses that file.
#include <optional>
#include <string>

#include "platform/sync.hpp"
#include "platform/text/font.hpp"
#include "platform/thread.hpp"
#include "platform/windowed/windowed_dialogs.hpp"
#include "platform/x11/x11_backend.hpp"
#include "support/temp_dir.hpp"
#include "x11/x11_host.hpp"

// After every platform header: Xlib macros clash with platform names.
#include <X11/extensions/XTest.h>

namespace x11_test {
namespace {

class X11FileDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(backend.open()) << "no X display (run under scripts/with-xvfb)";
    xd = XOpenDisplay(nullptr);
    ASSERT_NE(xd, nullptr);
    dialogs.attach(&system);
    dialogs.on_dialog_shown([this](Hwnd d) {
      dialog = d;
      shown.set();
    });
  }
  void TearDown() override {
    dialogs.attach(nullptr);
    if (xd) XCloseDisplay(xd);
  }

  bool screen_is_surface() {
    const Page s = system.surface(dialog), x = shown_by_x(xd, backend.x_window(dialog));
    return s.width() > 0 && s.width() == x.width() && s.height() == x.height() &&
           std::equal(s.data(), s.data() + s.width() * s.height(), x.data());
  }

  X11Backend backend;
  WindowedDialogs dialogs;
  WindowSystem system{backend, dialogs};
  Display* xd = nullptr;
  std::atomic<Hwnd> dialog{0};
  platform::Event shown;
};

TEST_F(X11FileDialog, AnXDoubleClickOnAFileChoosesIt) {
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
  ASSERT_TRUE(shown.wait(kWaitMs));
  ASSERT_TRUE(system.flush(dialog, kWaitMs));
  EXPECT_TRUE(eventually(xd, [&] { return screen_is_surface(); }));

  // The list holds "../", "alpha.dat", "beta.dat": the third row, 2 pixels below its border.
  Hwnd list = 0;
  for (Hwnd c : system.children(dialog))
    if (system.class_name(c) == "LISTBOX") list = c;
  ASSERT_NE(list, 0u);
  const int32_t h = platform::Font::default_gui()->height() + 2;
  const Point o = system.client_origin(dialog), in = system.offset_in_root(list);
  XTestFakeMotionEvent(xd, -1, o.x + in.x + 20, o.y + in.y + 2 + 2 * h + h / 2, CurrentTime);
  for (int i = 0; i < 2; ++i) {
    XTestFakeButtonEvent(xd, 1, True, CurrentTime);
    XTestFakeButtonEvent(xd, 1, False, CurrentTime);
  }
  XSync(xd, False);
  ASSERT_TRUE(asker->ended().wait(kWaitMs));
  asker->join();
  EXPECT_EQ(chosen, dir.file("beta.dat"));
}

}  // namespace
}  // namespace x11_test
