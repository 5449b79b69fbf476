#include "platform/window_system.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/controls/control_classes.hpp"
#include "platform/headless/headless_backend.hpp"
#include "platform/headless/headless_dialogs.hpp"
#include "platform/headless/scripted_user.hpp"
#include "platform/thread.hpp"

namespace {

using namespace platform;

constexpr int32_t kWaitMs = 5000;

// A window on a thread of its own that records the messages its procedure sees.
class WindowThread {
 public:
  WindowThread(WindowSystem& system, const std::string& cls, uint32_t style, Rect frame)
      : system_(system) {
    thread_ = Thread::create(
        [&, cls, style, frame]() -> uint32_t {
          CreateWindowParams p;
          p.class_name = cls;
          p.title = "test";
          p.style = style;
          p.frame = frame;
          hwnd_ = system_.create_window(p);
          system_.show_window(hwnd_, true);
          ready_.set();
          Message m;
          while (system_.get_message(m)) {
            system_.translate_message(m);
            system_.dispatch_message(m);
          }
          return 0;
        },
        false);
    ready_.wait(kWaitMs);
  }
  ~WindowThread() {
    system_.post_message(hwnd_, kMsgClose);  // default processing destroys it
    system_.post_message(hwnd_, kMsgNull);
    if (thread_->ended().wait(kWaitMs))
      thread_->join();
    else
      ADD_FAILURE() << "the window thread did not end";
  }
  Hwnd hwnd() const { return hwnd_; }

 private:
  WindowSystem& system_;
  std::shared_ptr<Thread> thread_;
  Event ready_;
  std::atomic<Hwnd> hwnd_{0};
};

class WindowSystemTest : public ::testing::Test {
 protected:
  struct Seen {
    uint32_t message;
    uint64_t wparam;
    int64_t lparam;
  };
  void SetUp() override {
    system.register_class("rec", kClassDblClks, [this](Hwnd h, uint32_t m, uint64_t w, int64_t l) {
      {
        std::lock_guard<std::mutex> g(lock);
        seen.push_back({m, w, l});
      }
      if (m == kMsgDestroy) system.post_quit_message(0);
      if (m == kMsgUser) return static_cast<int64_t>(w * 2);
      if (m == kMsgUser + 5) {  // makes a child window at (10, 10), 40 x 30
        CreateWindowParams p;
        p.class_name = "rec";
        p.style = kStyleChild | kStyleVisible;
        p.frame = {10, 10, 50, 40};
        p.parent = h;
        const Hwnd child = system.create_window(p);
        system.show_window(child, true);
        return static_cast<int64_t>(child);
      }
      return system.default_window_proc(h, m, w, l);
    });
  }
  std::vector<uint32_t> messages(uint32_t only = 0) {
    std::lock_guard<std::mutex> g(lock);
    std::vector<uint32_t> out;
    for (const Seen& s : seen)
      if (only == 0 || s.message == only) out.push_back(s.message);
    return out;
  }
  std::vector<Seen> seen_of(uint32_t message) {
    std::lock_guard<std::mutex> g(lock);
    std::vector<Seen> out;
    for (const Seen& s : seen)
      if (s.message == message) out.push_back(s);
    return out;
  }

  HeadlessBackend backend;
  HeadlessDialogs dialogs;
  WindowSystem system{backend, dialogs};
  ScriptedUser user{system, backend, dialogs};
  std::mutex lock;
  std::vector<Seen> seen;
};

constexpr uint32_t kTitled = kStyleCaption | kStyleSysMenu | kStyleMinimizeBox;

TEST_F(WindowSystemTest, SendAnswersFromTheOwnerAndZeroForAGoneWindow) {
  WindowThread w(system, "rec", kTitled, {10, 10, 210, 110});
  EXPECT_EQ(system.send_message(w.hwnd(), kMsgUser, 21), 42);
  EXPECT_EQ(system.send_message(0xDEAD, kMsgUser, 21), 0);
  EXPECT_FALSE(system.post_message(0xDEAD, kMsgUser));
}

TEST_F(WindowSystemTest, TwoWindowThreadsSendingToEachOtherDoNotDeadlock) {
  // Each window, asked to, waits until both are inside their handlers and then sends to the
  // other: both threads block in a send at once and must serve each other's.
  std::atomic<int64_t> answers[2] = {0, 0};
  std::atomic<int32_t> inside{0};
  Event both_inside(false), done[2];
  std::atomic<Hwnd> first{0};
  system.register_class("cross", 0, [&](Hwnd h, uint32_t m, uint64_t w, int64_t l) -> int64_t {
    if (m == kMsgUser) return static_cast<int64_t>(w * 2);
    if (m == kMsgUser + 7) {
      const int32_t i = h == first ? 0 : 1;
      if (++inside == 2) both_inside.set();
      both_inside.wait(kWaitMs);
      answers[i] = system.send_message(static_cast<Hwnd>(l), kMsgUser, w);
      done[i].set();
      return 0;
    }
    if (m == kMsgDestroy) system.post_quit_message(0);
    return system.default_window_proc(h, m, w, l);
  });
  WindowThread a(system, "cross", kTitled, {0, 0, 100, 100});
  first = a.hwnd();
  WindowThread b(system, "cross", kTitled, {0, 0, 100, 100});
  system.post_message(a.hwnd(), kMsgUser + 7, 5, static_cast<int64_t>(b.hwnd()));
  system.post_message(b.hwnd(), kMsgUser + 7, 4, static_cast<int64_t>(a.hwnd()));
  ASSERT_TRUE(done[0].wait(kWaitMs));
  ASSERT_TRUE(done[1].wait(kWaitMs));
  EXPECT_EQ(answers[0], 10);
  EXPECT_EQ(answers[1], 8);
}

TEST_F(WindowSystemTest, SentBeforePostedBeforePaintQuitLast) {
  std::thread owner([&] {
    CreateWindowParams p;
    p.class_name = "rec";
    p.style = kTitled;
    p.frame = {0, 0, 100, 100};
    const Hwnd h = system.create_window(p);
    system.post_quit_message(3);
    system.invalidate(h, nullptr);
    system.post_message(h, kMsgUser + 2);
    std::thread sender([&] { system.send_message(h, kMsgUser + 3); });
    while (!ThreadQueue::current()->has_sent()) std::this_thread::yield();
    {
      std::lock_guard<std::mutex> g(lock);
      seen.clear();
    }
    Message m;
    while (system.get_message(m)) system.dispatch_message(m);
    EXPECT_EQ(m.message, kMsgQuit);
    EXPECT_EQ(m.wparam, 3u);
    sender.join();
    system.destroy_window(h);
  });
  owner.join();
  const std::vector<uint32_t> expected{kMsgUser + 3, kMsgUser + 2, kMsgPaint, kMsgDestroy};
  EXPECT_EQ(messages(), expected);
}

TEST_F(WindowSystemTest, CloseBoxTakesTheCloseRoad) {
  WindowThread w(system, "rec", kTitled, {10, 10, 210, 110});
  user.press_close_box(w.hwnd());
  ASSERT_TRUE(user.settle(w.hwnd()));
  const auto sys = seen_of(kMsgSysCommand);
  ASSERT_EQ(sys.size(), 1u);
  EXPECT_EQ(sys[0].wparam, kScClose);
  EXPECT_EQ(messages(kMsgClose).size(), 1u);
  EXPECT_EQ(messages(kMsgDestroy).size(), 1u);
  EXPECT_FALSE(system.is_window(w.hwnd()));
}

TEST_F(WindowSystemTest, HitTestOfFrameParts) {
  WindowThread w(system, "rec", kTitled, {100, 100, 300, 250});
  const Point o = system.client_origin(w.hwnd());
  const int32_t border = system.metric(Metric::CxFixedFrame);
  struct Case {
    Point p;
    int32_t hit;
  };
  for (const Case& c : {Case{{o.x + 5, o.y + 5}, kHitClient},
                        Case{{150, 110}, kHitCaption},
                        Case{{300 - border - 3, 110}, kHitClose},
                        Case{{101, 200}, kHitBorder},
                        Case{{50, 50}, kHitNowhere}}) {
    SCOPED_TRACE(testing::Message() << c.p.x << "," << c.p.y);
    EXPECT_EQ(system.send_message(w.hwnd(), kMsgNcHitTest, 0, pack_point(c.p.x, c.p.y)), c.hit);
  }
}

TEST_F(WindowSystemTest, DragByTheCaptionMovesTheWindow) {
  WindowThread w(system, "rec", kTitled, {100, 100, 300, 250});
  user.drag_frame(w.hwnd(), {50, 10}, {80, 30});
  const Rect f = system.frame_rect(w.hwnd());
  EXPECT_EQ(f.left, 130);
  EXPECT_EQ(f.top, 120);
  EXPECT_EQ(f.width(), 200);
}

TEST_F(WindowSystemTest, DoubleClickOnlyWhenCloseInTimeAndPlace) {
  WindowThread w(system, "rec", kTitled, {0, 0, 200, 150});
  user.double_click(w.hwnd(), {10, 10});
  user.click(w.hwnd(), {10, 10});  // a second later: a plain click
  ASSERT_TRUE(user.settle(w.hwnd()));
  const auto downs = messages(kMsgLButtonDown);
  EXPECT_EQ(downs.size(), 2u);
  EXPECT_EQ(messages(kMsgLButtonDblClk).size(), 1u);
  const auto ups = seen_of(kMsgLButtonUp);
  ASSERT_EQ(ups.size(), 3u);
  EXPECT_EQ(point_x(ups[0].lparam), 10);
  EXPECT_EQ(point_y(ups[0].lparam), 10);
}

TEST_F(WindowSystemTest, KeysBecomeKeyDownAndCharacter) {
  WindowThread w(system, "rec", kTitled, {0, 0, 200, 150});
  user.type_text(w.hwnd(), "a\xC3\xA9\xE2\x82\xAC");  // a, e acute, euro sign
  ASSERT_TRUE(user.settle(w.hwnd()));
  const auto chars = seen_of(kMsgChar);
  ASSERT_EQ(chars.size(), 3u);
  EXPECT_EQ(chars[0].wparam, uint64_t('a'));
  EXPECT_EQ(chars[1].wparam, 0xE9u);
  EXPECT_EQ(chars[2].wparam, 0x20ACu);  // a code point, not narrowed
  EXPECT_EQ(seen_of(kMsgKeyDown)[0].wparam, uint64_t('A'));
}

TEST_F(WindowSystemTest, MinimiseMaximiseRestoreSendSizeKinds) {
  WindowThread w(system, "rec", kTitled | kStyleThickFrame, {0, 0, 208, 158});
  user.minimize(w.hwnd());
  user.restore(w.hwnd());
  user.maximize(w.hwnd());
  user.restore(w.hwnd());
  user.resize(w.hwnd(), 10, 10);  // below the minimum tracking size
  ASSERT_TRUE(user.settle(w.hwnd()));
  const auto sizes = seen_of(kMsgSize);
  ASSERT_EQ(sizes.size(), 6u);  // the first show, then one per action
  EXPECT_EQ(sizes[1].wparam, kSizeMinimized);
  EXPECT_EQ(sizes[2].wparam, kSizeRestored);
  EXPECT_EQ(sizes[2].lparam, sizes[0].lparam);
  EXPECT_EQ(sizes[3].wparam, kSizeMaximized);
  EXPECT_EQ(point_x(sizes[3].lparam), system.metric(Metric::CxScreen));
  EXPECT_EQ(sizes[4].lparam, sizes[0].lparam);
  const Rect f = system.frame_rect(w.hwnd());
  EXPECT_EQ(f.width(), system.metric(Metric::CxMinTrack));
  // The height needs no raising: the frame is taller than the minimum anyway.
  EXPECT_EQ(f.height(),
            10 + system.metric(Metric::CyCaption) + 2 * system.metric(Metric::CySizeFrame));
}

TEST_F(WindowSystemTest, NativeWindowsLearnTheirKindOwnerSizingAndClient) {
  const Hwnd owner = system.create_window({"rec", "owner", kTitled, {0, 0, 300, 200}, 0});
  struct Case {
    const char* name;
    const char* class_name;
    uint32_t style;
    Hwnd owner;
    NativeKind kind;
    bool resizable;
  };
  const Case cases[] = {
      {"sizable top-level", "rec", kTitled | kStyleThickFrame, 0, NativeKind::TopLevel, true},
      {"owned dialog", "rec", kTitled, owner, NativeKind::Dialog, false},
      {"pop-up list", "rec", kStylePopup | kStyleBorder, owner, NativeKind::Popup, false},
      {"open menu", kClassMenuPopup, kStylePopup, owner, NativeKind::Menu, false},
      {"open drop-down list", kClassComboList, kStylePopup, owner, NativeKind::Menu, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CreateWindowParams p{c.class_name, c.name, c.style, {40, 30, 240, 130}, 0};
    p.owner = c.owner;
    const Hwnd h = system.create_window(p);
    HeadlessBackend::NativeState state;
    ASSERT_TRUE(backend.native_state(h, state));
    EXPECT_EQ(state.kind, c.kind);
    EXPECT_EQ(state.owner, c.kind == NativeKind::TopLevel ? 0 : owner);
    EXPECT_EQ(state.resizable, c.resizable);
    const Point origin = system.client_origin(h);
    EXPECT_EQ(state.client.left, origin.x);
    EXPECT_EQ(state.client.top, origin.y);
    EXPECT_EQ(state.client.width(), system.client_rect(h).width());
    system.destroy_window(h);
  }
  system.destroy_window(owner);
}

TEST_F(WindowSystemTest, WhatTheDisplayDidUpdatesTheRecordWithoutEcho) {
  WindowThread w(system, "rec", kTitled, {10, 10, 210, 110});  // no sizing frame
  ASSERT_TRUE(user.settle(w.hwnd()));
  HeadlessBackend::NativeState before;
  ASSERT_TRUE(backend.native_state(w.hwnd(), before));
  InputEvent e;
  e.window = w.hwnd();
  e.kind = InputKind::Resized;
  e.size = {150, 60};
  system.deliver_input(e);
  e.kind = InputKind::Moved;
  e.point = {70, 80};
  system.deliver_input(e);
  e.kind = InputKind::Activate;
  system.deliver_input(e);
  ASSERT_TRUE(user.settle(w.hwnd()));

  EXPECT_EQ(system.client_rect(w.hwnd()), (Rect{0, 0, 150, 60}));
  EXPECT_EQ(system.frame_rect(w.hwnd()).left, 70);
  EXPECT_EQ(system.frame_rect(w.hwnd()).top, 80);
  ASSERT_FALSE(seen_of(kMsgSize).empty());
  EXPECT_EQ(seen_of(kMsgSize).back().lparam, pack_point(150, 60));
  EXPECT_EQ(system.active_window(), w.hwnd());
  ASSERT_EQ(seen_of(kMsgActivate).size(), 1u);
  EXPECT_EQ(seen_of(kMsgActivate)[0].wparam, 1u);
  // The display is not told what it did itself.
  HeadlessBackend::NativeState after;
  ASSERT_TRUE(backend.native_state(w.hwnd(), after));
  EXPECT_EQ(after.frame, before.frame);
  EXPECT_EQ(backend.raised(), 0u);
}

// The display's size reaches the window's thread as a posted message; by then the window may
// have placed itself, and the display carries out that placement after its own change.
TEST_F(WindowSystemTest, ASizeFromTheDisplayNeverUndoesTheWindowsLaterPlacement) {
  Event inside(false), release(false);
  const Rect own{30, 40, 30 + 260, 40 + 170};
  std::atomic<bool> move_itself{false};
  system.register_class("mover", 0, [&](Hwnd h, uint32_t m, uint64_t w, int64_t l) -> int64_t {
    if (m == kMsgUser) {
      inside.set();
      release.wait(kWaitMs);
      if (move_itself) system.move_window(h, own);
      return 0;
    }
    if (m == kMsgDestroy) system.post_quit_message(0);
    return system.default_window_proc(h, m, w, l);
  });
  WindowThread w(system, "mover", kTitled | kStyleThickFrame, {0, 0, 200, 100});
  ASSERT_TRUE(user.settle(w.hwnd()));
  struct Case {
    const char* name;
    std::vector<Size> sizes;  // from the display while the window's thread is busy
    bool move_itself;
    Size expected;
  };
  const Rect f = system.frame_rect(w.hwnd()), c = system.client_rect(w.hwnd());
  const Size own_size{own.width() - (f.width() - c.width()),
                      own.height() - (f.height() - c.height())};
  const Case cases[] = {
      {"the window places itself after the display's size", {{150, 60}}, true, own_size},
      {"two sizes from the display", {{150, 60}, {170, 80}}, false, {170, 80}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    move_itself = k.move_itself;
    system.post_message(w.hwnd(), kMsgUser);
    ASSERT_TRUE(inside.wait(kWaitMs));
    for (const Size& size : k.sizes) {
      InputEvent e;
      e.window = w.hwnd();
      e.kind = InputKind::Resized;
      e.size = size;
      system.deliver_input(e);
    }
    release.set();
    ASSERT_TRUE(user.settle(w.hwnd()));
    const Rect client = system.client_rect(w.hwnd());
    EXPECT_EQ(client.width(), k.expected.width);
    EXPECT_EQ(client.height(), k.expected.height);
    // The record matches what the display was last told or did.
    HeadlessBackend::NativeState state;
    ASSERT_TRUE(backend.native_state(w.hwnd(), state));
    if (k.move_itself) {
      EXPECT_EQ(state.client.width(), client.width());
    }
    EXPECT_EQ(system.surface(w.hwnd()).width(), client.width());
  }
}

// A window manager activates a disabled owner the user clicks while its dialog runs; the
// dialog comes back to the front and keeps the keyboard, as it does for a click.
TEST_F(WindowSystemTest, ActivatingOrClickingADisabledOwnerBringsItsDialogForward) {
  WindowThread w(system, "rec", kTitled, {0, 0, 300, 200});
  ASSERT_TRUE(user.settle(w.hwnd()));
  const Hwnd owner = w.hwnd();
  auto make_dialog = [&](Hwnd of) {
    CreateWindowParams p{"rec", "dialog", kTitled, {40, 40, 240, 140}, 0};
    p.owner = of;
    const Hwnd d = system.create_window(p);
    system.show_window(d, true);
    return d;
  };
  const Hwnd dialog = make_dialog(owner);
  const Hwnd hidden = make_dialog(owner);  // made later, but not shown: never chosen
  system.show_window(hidden, false);
  system.enable_window(owner, false);
  const Point inside{20, 40};  // frame coordinates in the client area
  struct Case {
    const char* name;
    InputKind kind;
    bool dialog_active;  // the dialog is the active window already
  };
  const Case cases[] = {
      {"the display activates the owner", InputKind::Activate, false},
      {"a click on the owner", InputKind::MouseDown, false},
      {"the display activates the owner of the active dialog", InputKind::Activate, true},
      {"a click on the owner of the active dialog", InputKind::MouseDown, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    system.activate(c.dialog_active ? dialog : owner);
    backend.raise_native(owner);  // the window manager raised the owner
    InputEvent e;
    e.window = owner;
    e.kind = c.kind;
    e.point = inside;
    system.deliver_input(e);
    EXPECT_EQ(system.active_window(), dialog);
    EXPECT_EQ(backend.raised(), dialog);
  }
  // A dialog of the dialog: the one still enabled comes forward.
  const Hwnd inner = make_dialog(dialog);
  system.enable_window(dialog, false);
  InputEvent e;
  e.window = owner;
  e.kind = InputKind::Activate;
  system.deliver_input(e);
  EXPECT_EQ(system.active_window(), inner);
  // Enabled again, the owner takes the activation itself.
  system.enable_window(owner, true);
  system.deliver_input(e);
  EXPECT_EQ(system.active_window(), owner);
  for (Hwnd d : {inner, hidden, dialog}) system.destroy_window(d);
}

TEST_F(WindowSystemTest, MouseInputOnClientAreaAndMenuBarDoesNotWaitForABusyWindow) {
  Event inside(false), release(false);
  system.register_class("busy", 0, [&](Hwnd h, uint32_t m, uint64_t w, int64_t l) -> int64_t {
    if (m == kMsgUser) {
      inside.set();
      release.wait(3 * kWaitMs);  // longer than any delivery below may take
      return 0;
    }
    if (m == kMsgDestroy) system.post_quit_message(0);
    return system.default_window_proc(h, m, w, l);
  });
  WindowThread w(system, "busy", kTitled, {0, 0, 200, 100});
  const Hmenu bar = system.menus().create();
  ASSERT_TRUE(system.menus().append(bar, kMenuString, 7, "Help"));
  ASSERT_TRUE(system.set_menu(w.hwnd(), bar));
  system.post_message(w.hwnd(), kMsgUser);
  ASSERT_TRUE(inside.wait(kWaitMs));
  const Point origin = system.client_origin(w.hwnd());
  const Rect frame = system.frame_rect(w.hwnd());
  const Rect help = system.menu_bar_item_rect(w.hwnd(), 0);  // frame coordinates
  struct Case {
    const char* name;
    InputKind kind;
    Point point;  // frame coordinates
  };
  // In this order: a press in the client area would grab the mouse for the input after it.
  const Case cases[] = {
      {"press on the menu bar", InputKind::MouseDown, {help.left + 2, help.top + 2}},
      {"release outside the frame", InputKind::MouseUp, {frame.width() + 40, -30}},
      {"move outside the frame", InputKind::MouseMove, {-20, frame.height() + 5}},
      {"press in the client area",
       InputKind::MouseDown,
       {origin.x - frame.left + 10, origin.y - frame.top + 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The display's input thread delivers input while the window's thread is busy.
    Event delivered(false);
    std::thread display([&] {
      InputEvent e;
      e.window = w.hwnd();
      e.kind = c.kind;
      e.point = c.point;
      system.deliver_input(e);
      delivered.set();
    });
    EXPECT_TRUE(delivered.wait(kWaitMs));
    display.join();
  }
  release.set();
}

TEST_F(WindowSystemTest, PaintShowsTheSurfaceAndValidates) {
  std::atomic<Hwnd> target{0};
  system.register_class("painter", 0, [&](Hwnd h, uint32_t m, uint64_t w, int64_t l) -> int64_t {
    if (m == kMsgPaint) {
      system.paint(h, [](Page& s, const Rect& r) {
        for (int32_t y = r.top; y < r.bottom; ++y)
          for (int32_t x = r.left; x < r.right; ++x) s.at(x, y) = 0x00FF00;
      });
      return 0;
    }
    if (m == kMsgDestroy) system.post_quit_message(0);
    return system.default_window_proc(h, m, w, l);
  });
  WindowThread w(system, "painter", 0, {0, 0, 30, 20});
  ASSERT_TRUE(user.settle(w.hwnd()));
  EXPECT_TRUE(system.update_rect(w.hwnd()).empty());
  const Page shown = user.shown(w.hwnd());
  ASSERT_EQ(shown.width(), 30);
  EXPECT_EQ(shown.at(29, 19), 0x00FF00u);
}

TEST_F(WindowSystemTest, ChildrenTakeTheirClicksAndGoWithTheirParent) {
  WindowThread w(system, "rec", kTitled, {0, 0, 200, 150});
  const Hwnd child = static_cast<Hwnd>(system.send_message(w.hwnd(), kMsgUser + 5));
  ASSERT_TRUE(system.is_window(child));
  EXPECT_EQ(system.parent(child), w.hwnd());
  {
    std::lock_guard<std::mutex> g(lock);
    seen.clear();
  }
  user.click(w.hwnd(), {20, 25});    // inside the child
  user.click(w.hwnd(), {100, 100});  // beside it
  ASSERT_TRUE(user.settle(w.hwnd()));
  const auto downs = seen_of(kMsgLButtonDown);
  ASSERT_EQ(downs.size(), 2u);
  EXPECT_EQ(point_x(downs[0].lparam), 10);  // child coordinates
  EXPECT_EQ(point_y(downs[0].lparam), 15);
  EXPECT_EQ(point_x(downs[1].lparam), 100);
  user.press_close_box(w.hwnd());
  ASSERT_TRUE(user.settle(w.hwnd()));
  EXPECT_FALSE(system.is_window(child));
  EXPECT_EQ(messages(kMsgDestroy).size(), 2u);  // the parent's and the child's
}

TEST_F(WindowSystemTest, ClientOriginsOfChildrenAreOnTheScreenToo) {
  WindowThread w(system, "rec", kTitled, {40, 30, 240, 180});
  const Hwnd child = static_cast<Hwnd>(system.send_message(w.hwnd(), kMsgUser + 5));
  const Hwnd grandchild = static_cast<Hwnd>(system.send_message(child, kMsgUser + 5));
  ASSERT_TRUE(system.is_window(grandchild));
  const Point top = system.client_origin(w.hwnd());
  EXPECT_EQ(system.client_origin(child), (Point{top.x + 10, top.y + 10}));
  EXPECT_EQ(system.client_origin(grandchild), (Point{top.x + 20, top.y + 20}));
  EXPECT_EQ(system.frame_rect(grandchild), (Rect{10, 10, 50, 40}));  // in its parent's client
  // The children go with their window.
  user.drag_frame(w.hwnd(), {50, 10}, {75, 25});
  ASSERT_TRUE(user.settle(w.hwnd()));
  const Point moved = system.client_origin(w.hwnd());
  ASSERT_EQ(moved, (Point{top.x + 25, top.y + 15}));
  EXPECT_EQ(system.client_origin(grandchild), (Point{moved.x + 20, moved.y + 20}));
  EXPECT_EQ(system.client_origin(0x7FFFFFFF), (Point{0, 0}));  // no such window
}

TEST_F(WindowSystemTest, DialogsAnswerFromTheScriptThenByDefault) {
  user.answer_next_dialog(DialogAnswer::No);
  MessageBoxRequest q{0, "Question", "Go on?", DialogIcon::Question, DialogButtons::YesNo};
  EXPECT_EQ(dialogs.message_box(q), DialogAnswer::No);
  // Printed with the answer taken; a box that only informs has none to print.
  MessageBoxRequest note{0, "Information", "Done.", DialogIcon::Information, DialogButtons::Ok};
  testing::internal::CaptureStdout();
  EXPECT_EQ(dialogs.message_box(q), DialogAnswer::Yes);
  EXPECT_EQ(dialogs.message_box(note), DialogAnswer::Ok);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Question: Go on?\n-> Yes\nInformation: Done.\n");
  EXPECT_EQ(dialogs.shown().size(), 3u);
}

TEST_F(WindowSystemTest, UnscriptedFileAndPrintDialogsArePrintedAsCancelled) {
  dialogs.script_file(std::string("a.dat"));
  FileDialogRequest open;
  open.filters = {{"Data files", "*.dat"}, {"", "*.*"}};
  FileDialogRequest save;
  save.save = true;
  save.title = "Save report";
  save.initial_name = "a.TXT";
  testing::internal::CaptureStdout();
  EXPECT_EQ(dialogs.file_dialog(open), "a.dat");  // scripted: silent
  EXPECT_EQ(dialogs.file_dialog(open), std::nullopt);
  EXPECT_EQ(dialogs.file_dialog(save), std::nullopt);
  EXPECT_EQ(dialogs.print_dialog(PrintDialogRequest{}), std::nullopt);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Open: Data files; *.*\n-> Cancel\nSave report: a.TXT\n-> Cancel\n"
            "Print: no printer configured\n-> Cancel\n");
}

}  // namespace
