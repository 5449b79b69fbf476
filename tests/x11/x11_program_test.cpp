// The `varqen` program on a desktop: under a window manager its dialogs take what is typed,
// closing its window during a fit cancels the fit and ends the program, and losing the display
// ends it at once with a status of its own.
#include "x11/x11_program.hpp"

#include <filesystem>
#include <string>
#include <vector>

#include "support/nist_problem.hpp"
#include "support/temp_dir.hpp"

namespace x11_test {
namespace {

// The Cancel button of a running fit: a point of its face in the main window's client area.
constexpr int kCancelX = 300, kCancelY = 140;

class X11Program : public ::testing::Test {
 protected:
  void SetUp() override {
    // Windows come and go while the test looks at them: a request naming one that went fails,
    // which must not end the test.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    xd = XOpenDisplay(nullptr);
    ASSERT_NE(xd, nullptr) << "no X display (run under scripts/with-xvfb)";
  }
  void TearDown() override {
    if (xd) XCloseDisplay(xd);
  }

  // Starts the program in the test's folder on `display` (empty: the suite's).
  std::unique_ptr<Process> start(const std::vector<std::string>& args,
                                 const std::string& display = "") {
    std::vector<std::string> argv{VARQEN_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env{"VARQEN_TEST_NO_PAUSES=1", "VARQEN_HEADLESS=0"};
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    return std::make_unique<Process>(
        argv, dir.path(), env, dir.file("out.txt"), dir.file("err.txt"));
  }

  // A NIST problem whose fit at the level Difficult takes half a minute and more, in the test's
  // folder.
  void long_fit_file() {
    testsupport::NistProblem pb;
    ASSERT_TRUE(testsupport::load_nist("Gauss1", 1, pb));
    std::filesystem::copy_file(pb.file, dir.path() / "gauss.dat");
  }

  // Answers the model's confirmation with Enter (its default, Yes) once it has the keyboard,
  // and waits until the fit runs: the main window shows the cascade's Cancel button.
  static bool confirm_and_wait_for_the_fit(Display* d) {
    if (focused_window(d, "Information") == 0) return false;
    type(d, {XK_Return});
    return within(kProgramWaitMs, [&] {
      const Window main = window_named(d, "Varqen");
      return main != 0 && pixel_of(d, main, kCancelX, kCancelY) == platform::control_paint::kFace;
    });
  }

  Display* xd = nullptr;
  testsupport::TempDir dir;
};

// With the pointer on the root window, nothing but the program itself gives its dialogs the
// keyboard: the open-file dialog takes a typed name and Enter, the confirmation Enter (Yes).
TEST_F(X11Program, UnderAWindowManagerTheDialogsTakeWhatIsTyped) {
  const WindowManager twm(xd);
  ASSERT_TRUE(twm.ready());
  const Screen* screen = DefaultScreenOfDisplay(xd);
  XTestFakeMotionEvent(xd, -1, screen->width - 2, screen->height - 2, CurrentTime);
  std::filesystem::copy_file(std::string(VARQEN_SOURCE_DIR) + "/examples/michaelis-menten.dat",
                             dir.path() / "mm.dat");
  auto program = start({});
  ASSERT_TRUE(program->started());

  ASSERT_NE(focused_window(xd, "Open data file"), 0u) << dir.read("err.txt");
  type(xd, {XK_m, XK_m, XK_period, XK_d, XK_a, XK_t, XK_Return});
  ASSERT_NE(focused_window(xd, "Information"), 0u);
  type(xd, {XK_Return});
  EXPECT_EQ(program->wait(kProgramWaitMs), 0) << dir.read("err.txt");
  EXPECT_NE(dir.read("out.txt").find("Saved in file: " + dir.file("mm.TXT")), std::string::npos)
      << dir.read("out.txt");
}

// The window manager's close box on the main window during a fit acts as Cancel: the fit ends
// as after Cancel (its report written, no run-log line) and so does the program, long before
// the fit would have.
TEST_F(X11Program, ClosingTheMainWindowDuringAFitCancelsItAndEndsTheProgram) {
  const WindowManager twm(xd);
  ASSERT_TRUE(twm.ready());
  long_fit_file();
  auto program = start({"--level", "difficult", "gauss.dat"});
  ASSERT_TRUE(confirm_and_wait_for_the_fit(xd)) << dir.read("err.txt");
  press_close_box(xd, window_named(xd, "Varqen"));
  EXPECT_EQ(program->wait(kProgramWaitMs), 0) << dir.read("err.txt");
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "gauss.TXT"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "Varqen-runlog.txt"));
}

// The X server going away during a fit ends the program at once, with status 3 and one line
// naming the display.
TEST_F(X11Program, LosingTheDisplayEndsTheProgramAtOnceWithItsOwnStatus) {
  PrivateServer server;
  ASSERT_FALSE(server.name().empty());
  long_fit_file();
  auto program = start({"--level", "difficult", "gauss.dat"}, server.name());
  Display* own = XOpenDisplay(server.name().c_str());
  ASSERT_NE(own, nullptr) << server.name();
  const bool running = confirm_and_wait_for_the_fit(own);
  XCloseDisplay(own);
  ASSERT_TRUE(running) << dir.read("err.txt");
  server.kill();
  const auto killed = std::chrono::steady_clock::now();
  EXPECT_EQ(program->wait(kProgramWaitMs), 3);
  EXPECT_LT(std::chrono::steady_clock::now() - killed, std::chrono::seconds(2));
  EXPECT_EQ(dir.read("err.txt"),
            "varqen: lost the connection to the display " + server.name() + "\n");
  // No report, and none of the run's files of the report it would have written.
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"err.txt", "gauss.dat", "out.txt"}));
}

}  // namespace
}  // namespace x11_test
