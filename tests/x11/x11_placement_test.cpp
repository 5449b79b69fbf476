// Windows placed in quick succession by the program and by other clients: the X server's
// reports of the program's own placements (which may arrive after later ones were asked for)
// are no news, while changes by anyone else still reach the window.
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "x11/x11_host.hpp"

// After every platform header: Xlib macros clash with platform names.
#include <X11/extensions/XTest.h>

namespace x11_test {
namespace {

constexpr uint32_t kFramed = kStyleCaption | kStyleSysMenu | kStyleThickFrame;

class X11Placement : public X11Host {
 protected:
  // Returns once a key typed now has been handled by the host. The server reports events in
  // order, so everything it reported before (and all the pump posted for it) is done by then.
  void settle() {
    const size_t keys = seen(kMsgKeyDown).size();
    XSetInputFocus(xd, backend.x_window(hwnd), RevertToParent, CurrentTime);
    const KeyCode space = XKeysymToKeycode(xd, XK_space);
    XTestFakeKeyEvent(xd, space, True, CurrentTime);
    XTestFakeKeyEvent(xd, space, False, CurrentTime);
    ASSERT_TRUE(eventually(xd, [&] { return seen(kMsgKeyDown).size() > keys; }));
  }

  // The size messages' sizes from the `from`th on.
  std::vector<int64_t> sizes_from(size_t from) {
    std::vector<int64_t> out;
    const auto sizes = seen(kMsgSize);
    for (size_t i = from; i < sizes.size(); ++i) out.push_back(sizes[i].lparam);
    return out;
  }

  static int64_t packed(const Rect& client) {
    return pack_point(client.width(), client.height()) & 0xFFFFFFFF;
  }

  // Moves the host between two places `count` times on its own thread, without waiting in
  // between; the client sizes it had after each move.
  std::vector<int64_t> move_back_and_forth(int count) {
    std::vector<int64_t> sizes;
    on_host_thread([&] {
      for (int i = 0; i < count; ++i) {
        system->move_window(hwnd, i % 2 ? kSecond : kFirst);
        sizes.push_back(packed(system->client_rect(hwnd)));
      }
    });
    return sizes;
  }

  // Where the X window is on the screen.
  Rect x_place() {
    XWindowAttributes a{};
    EXPECT_NE(XGetWindowAttributes(xd, backend.x_window(hwnd), &a), 0);
    return Rect{a.x, a.y, a.x + a.width, a.y + a.height};
  }

  static constexpr Rect kFirst{20, 30, 20 + 300, 30 + 200};
  static constexpr Rect kSecond{70, 45, 70 + 360, 45 + 250};
};

TEST_F(X11Placement, TheProgramsOwnMovesInQuickSuccessionBringNoMessagesOfTheirOwn) {
  open_host(kFramed, Rect{0, 0, 320, 240});
  const size_t before = seen(kMsgSize).size();
  const std::vector<int64_t> own = move_back_and_forth(20);
  settle();
  EXPECT_EQ(sizes_from(before), own);
  EXPECT_EQ(system->frame_rect(hwnd), kSecond);
  const Point origin = system->client_origin(hwnd);
  const Rect client = system->client_rect(hwnd);
  EXPECT_EQ(x_place(), client.translated(origin.x, origin.y));
}

TEST_F(X11Placement, AChangeByAnotherClientRightAfterTheProgramsMovesStillArrives) {
  open_host(kFramed, Rect{0, 0, 320, 240});
  const size_t before = seen(kMsgSize).size();
  std::vector<int64_t> expected = move_back_and_forth(20);
  const Point origin = system->client_origin(hwnd);
  XMoveResizeWindow(xd, backend.x_window(hwnd), origin.x + 25, origin.y + 15, 200, 150);
  expected.push_back(packed(Rect{0, 0, 200, 150}));
  settle();
  EXPECT_EQ(sizes_from(before), expected);
  EXPECT_EQ(system->client_origin(hwnd), (Point{origin.x + 25, origin.y + 15}));
  EXPECT_EQ(system->client_rect(hwnd), (Rect{0, 0, 200, 150}));
  EXPECT_EQ(x_place(), (Rect{origin.x + 25, origin.y + 15, origin.x + 225, origin.y + 165}));
}

// The backend alone, pumped by the test: every report of the server is read before the first
// is translated, the order in which a busy pump meets them.
class X11Configure : public ::testing::Test {
 protected:
  static constexpr Hwnd kWindow = 1;

  struct Step {
    bool own;  // the program's request, else another client's
    Rect place;
  };

  void SetUp() override {
    ASSERT_TRUE(backend.open()) << "no X display (run under scripts/with-xvfb)";
    xd = XOpenDisplay(nullptr);
    ASSERT_NE(xd, nullptr);
  }
  void TearDown() override {
    if (xd) XCloseDisplay(xd);
  }

  // Opens the window at kStart (again), shown or not; its X window.
  Window open_window(bool shown) {
    NativeWindow params;
    params.frame = params.client = kStart;  // no frame: frame and client points agree
    params.resizable = true;
    backend.destroy_native(kWindow);
    EXPECT_TRUE(backend.create_native(kWindow, params));
    if (shown) backend.show_native(kWindow, true);
    return static_cast<Window>(backend.x_window(kWindow));
  }

  // Opens the window and plays the steps on it, each on the server before the next starts.
  // The input they bring, and where the X window ends.
  std::pair<std::vector<InputEvent>, Rect> play(const std::vector<Step>& steps) {
    const Window xwin = open_window(true);
    for (const Step& s : steps) {
      if (s.own) {
        backend.move_native(kWindow, s.place, s.place);
      } else {
        XMoveResizeWindow(xd, xwin, s.place.left, s.place.top, s.place.width(), s.place.height());
        XSync(xd, False);
      }
    }
    std::vector<InputEvent> input = input_until_closed(xwin);
    XWindowAttributes a{};
    EXPECT_NE(XGetWindowAttributes(xd, xwin, &a), 0);
    return {input, Rect{a.x, a.y, a.x + a.width, a.y + a.height}};
  }

  // Opens the window inside a frame at `at` (its top-left corner at `inside` in the frame), as
  // a window manager holds it, and shows it; its X window and the frame.
  std::pair<Window, Window> open_in_frame(Point at, Point inside) {
    const Window xwin = open_window(false);
    const Window frame =
        XCreateSimpleWindow(xd, DefaultRootWindow(xd), at.x, at.y, 600, 500, 0, 0, 0);
    XMapWindow(xd, frame);
    XReparentWindow(xd, xwin, frame, inside.x, inside.y);
    XSync(xd, False);
    backend.show_native(kWindow, true);
    return {xwin, frame};
  }

  // Pumps until a close request sent now arrives: the input before it.
  std::vector<InputEvent> input_until_closed(Window xwin) {
    press_close_box(xd, xwin);
    Recorder recorder;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!recorder.closed && std::chrono::steady_clock::now() < end) {
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now().time_since_epoch());
      backend.pump(ms.count() + 100, recorder);
    }
    EXPECT_TRUE(recorder.closed);
    return recorder.input;
  }

  // Rects as Moved and Resized input say them, in order.
  static std::string said(const std::vector<InputEvent>& input) {
    std::string out;
    for (const InputEvent& e : input) {
      if (e.kind == InputKind::Moved)
        out += "moved " + std::to_string(e.point.x) + "," + std::to_string(e.point.y) + "; ";
      else if (e.kind == InputKind::Resized)
        out +=
            "resized " + std::to_string(e.size.width) + "x" + std::to_string(e.size.height) + "; ";
      else
        out += "other; ";
    }
    return out;
  }

  static constexpr Rect kStart{10, 10, 10 + 200, 10 + 100};

  X11Backend backend;
  Display* xd = nullptr;

 private:
  struct Recorder : InputSink {
    void deliver_input(const InputEvent& e) override {
      if (e.kind == InputKind::CloseRequest)
        closed = true;
      else if (!closed)
        input.push_back(e);
    }
    std::vector<InputEvent> input;
    bool closed = false;
  };
};

TEST_F(X11Configure, OnlyChangesByOthersBecomeInputWhateverTheOrderOfTheEchoes) {
  const Rect a{40, 50, 40 + 300, 50 + 200}, b{90, 60, 90 + 250, 60 + 150};
  const Rect c{120, 80, 120 + 180, 80 + 120};
  std::vector<Step> twenty, burst;
  for (int i = 0; i < 20; ++i) twenty.push_back({true, i % 2 ? b : a});
  for (int i = 0; i < 150; ++i) burst.push_back({true, i % 3 == 0 ? a : i % 3 == 1 ? b : c});
  std::vector<Step> then_other = twenty;
  then_other.push_back({false, c});
  std::vector<Step> back_to_first = twenty;
  back_to_first.push_back({false, a});  // to a place the program asked for before
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::string input;
    Rect last;  // where the X window ends
  };
  const std::vector<Case> cases = {
      {"the program's own, alternating", twenty, "", b},
      {"more of the program's own than the backend keeps", burst, "", c},
      {"another client after them", then_other, "moved 120,80; resized 180x120; ", c},
      {"another client to an earlier place", back_to_first, "moved 40,50; resized 300x200; ", a},
      // The other client's change is reported, then the program's later request, which the
      // server carried out after it, so the window system ends where the screen does.
      {"another client between two requests",
       {{true, a}, {false, c}, {true, b}},
       "moved 120,80; resized 180x120; moved 90,60; resized 250x150; ",
       b},
      // The window system asked for that place already: nothing to tell.
      {"another client between, to the later request's place",
       {{true, a}, {false, b}, {true, b}},
       "",
       b},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [input, last] = play(c.steps);
    EXPECT_EQ(said(input), c.input);
    EXPECT_EQ(last, c.last);
  }
}

// A window manager's frame holds the window: the window's position in its notify is the
// frame's, so where it is on the screen is asked of the server.
TEST_F(X11Configure, InAWindowManagersFrameThePlaceOnTheScreenIsAskedOfTheServer) {
  const auto [xwin, frame] = open_in_frame({100, 100}, {0, 20});
  XResizeWindow(xd, xwin, 150, 90);
  XSync(xd, False);
  EXPECT_EQ(said(input_until_closed(xwin)), "moved 100,120; resized 150x90; ");

  // Two of the program's own placements in a row. With no window manager to take them as
  // screen positions they land relative to the frame; their echoes are known by their sizes
  // alone (the position asked of the server is already the last one), so the window system
  // hears only where the window really is.
  const Rect a{40, 50, 40 + 300, 50 + 200}, b{90, 60, 90 + 250, 60 + 150};
  backend.move_native(kWindow, a, a);
  backend.move_native(kWindow, b, b);
  EXPECT_EQ(said(input_until_closed(xwin)), "moved 190,160; ");
  XDestroyWindow(xd, frame);
}

// A window manager tells a framed window where it is with a synthetic notify, sent when it
// has carried out a request; one sent for an earlier request can arrive after the server's
// own report of a later one. Only what still holds is news.
TEST_F(X11Configure, AWindowManagersLateReportOfAnEarlierPlaceIsNoNews) {
  // The frame at the screen's corner: places inside it are places on the screen.
  const auto [xwin, frame] = open_in_frame({0, 0}, {0, 0});
  EXPECT_EQ(said(input_until_closed(xwin)), "");
  auto report = [&](const Rect& place) {  // as the window manager does after a change
    XEvent e{};
    e.xconfigure.type = ConfigureNotify;
    e.xconfigure.event = e.xconfigure.window = xwin;
    e.xconfigure.x = place.left;
    e.xconfigure.y = place.top;
    e.xconfigure.width = place.width();
    e.xconfigure.height = place.height();
    XSendEvent(xd, xwin, False, StructureNotifyMask, &e);
    XSync(xd, False);
  };
  const Rect a{40, 50, 40 + 300, 50 + 200}, b{90, 60, 90 + 250, 60 + 150};
  backend.move_native(kWindow, a, a);
  backend.move_native(kWindow, b, b);
  report(a);
  report(b);
  EXPECT_EQ(said(input_until_closed(xwin)), "");

  // The window manager moves its frame and says so: that still holds, and is news.
  XMoveWindow(xd, frame, 25, 0);
  report(b.translated(25, 0));
  EXPECT_EQ(said(input_until_closed(xwin)), "moved 115,60; ");
  XDestroyWindow(xd, frame);
}

}  // namespace
}  // namespace x11_test
