// A window of the window system on a real X display (DISPLAY, set by scripts/with-xvfb), on a
// thread of its own: it paints a fixed drawing, hosts built-in controls and records the
// messages it is sent. A second X connection (`xd`) looks at the screen and plays the user
// through XTest, the way another client or the window manager would.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/gfx/device_context.hpp"
#include "platform/headless/headless_dialogs.hpp"
#include "platform/thread.hpp"
#include "platform/window_system.hpp"
#include "platform/x11/x11_backend.hpp"

// After every platform header: Xlib macros clash with platform names.
#include <X11/extensions/XTest.h>

#include "platform/x11/xlib.hpp"

namespace x11_test {

using namespace platform;

constexpr int32_t kWaitMs = 5000;

// The drawing every host window paints: a background, a frame, a diagonal, an ellipse and a
// filled triangle (the rasteriser's pixel rules decide every pixel).
inline void draw_sample(Page& surface, const Rect& update) {
  DeviceContext dc(surface);
  dc.set_clip(update);
  dc.fill_rect(Rect{0, 0, surface.width(), surface.height()}, *Brush::solid(0xE0D0C0));
  dc.rectangle(Rect{5, 5, 120, 80});
  dc.move_to({0, 0});
  dc.line_to({surface.width() - 1, surface.height() - 1});
  dc.ellipse(Rect{130, 10, 210, 70});
  const Point triangle[] = {{20, 150}, {90, 100}, {110, 170}};
  dc.polygon(triangle);
}

// Polls `done` (with the X connection synchronised each time) until it holds or kWaitMs
// passes: the server and the window thread work on their own.
inline bool eventually(Display* xd, const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (std::chrono::steady_clock::now() < end) {
    XSync(xd, False);
    if (done()) return true;
    std::this_thread::yield();
  }
  return done();
}

// The pixels an X window shows, read back from the server.
inline Page shown_by_x(Display* xd, XID window) {
  const Window w = static_cast<Window>(window);
  XWindowAttributes a{};
  XGetWindowAttributes(xd, w, &a);
  Page page(a.width, a.height);
  XImage* image = XGetImage(xd, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
  if (!image) return page;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) page.at(x, y) = XGetPixel(image, x, y) & 0xFFFFFF;
  XDestroyImage(image);
  return page;
}

// Clicks the left button at a screen point through XTest, as the user would.
inline void click_at(Display* xd, Point screen) {
  XTestFakeMotionEvent(xd, -1, screen.x, screen.y, CurrentTime);
  XTestFakeButtonEvent(xd, 1, True, CurrentTime);
  XTestFakeButtonEvent(xd, 1, False, CurrentTime);
  XSync(xd, False);
}

// Sends an X window one of the window manager's protocol messages (WM_PROTOCOLS), as a window
// manager does: WM_DELETE_WINDOW for its close box, WM_TAKE_FOCUS to hand it the keyboard.
inline void send_wm_protocol(Display* xd, Window w, const char* protocol) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(xd, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(xd, protocol, False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(xd, w, False, 0, &e);
  XSync(xd, False);
}

// Presses an X window's close box as the window manager does.
inline void press_close_box(Display* xd, Window w) { send_wm_protocol(xd, w, "WM_DELETE_WINDOW"); }

class X11Host : public ::testing::Test {
 protected:
  static constexpr uint32_t kMsgMake = kMsgUser + 7;  // lparam: CreateWindowParams*
  static constexpr uint32_t kMsgRun = kMsgUser + 8;   // lparam: const std::function<void()>*

  struct Seen {
    uint32_t message;
    uint64_t wparam;
    int64_t lparam;
  };

  void SetUp() override {
    ASSERT_TRUE(backend.open()) << "no X display (run under scripts/with-xvfb)";
    xd = XOpenDisplay(nullptr);
    ASSERT_NE(xd, nullptr);
    system = std::make_unique<WindowSystem>(backend, dialogs);
    system->register_class(
        "host", kClassDblClks, [this](Hwnd h, uint32_t m, uint64_t w, int64_t l) {
          return host_proc(h, m, w, l);
        });
  }
  void TearDown() override {
    if (thread_) {
      system->post_message(hwnd, kMsgClose);
      if (thread_->ended().wait(kWaitMs)) thread_->join();
    }
    system.reset();
    if (xd) XCloseDisplay(xd);
  }

  // Opens the host window (frame in screen pixels) and waits until it is on the screen.
  void open_host(uint32_t style, Rect frame) {
    thread_ = Thread::create(
        [this, style, frame]() -> uint32_t {
          CreateWindowParams p;
          p.class_name = "host";
          p.title = "host";
          p.style = style;
          p.frame = frame;
          hwnd = system->create_window(p);
          system->show_window(hwnd, true);
          ready_.set();
          Message m;
          while (system->get_message(m)) {
            system->translate_message(m);
            system->dispatch_message(m);
          }
          return 0;
        },
        false);
    ASSERT_TRUE(ready_.wait(kWaitMs));
    ASSERT_TRUE(system->flush(hwnd, kWaitMs));
  }

  // Makes a window (shown) on the host's thread.
  Hwnd make_window(const CreateWindowParams& p) {
    return static_cast<Hwnd>(
        system->send_message(hwnd, kMsgMake, 0, reinterpret_cast<int64_t>(&p)));
  }
  // Makes a control of the host.
  Hwnd make(const char* cls, const std::string& text, uint32_t style, Rect frame) {
    CreateWindowParams p;
    p.class_name = cls;
    p.title = text;
    p.style = kStyleChild | kStyleVisible | style;
    p.frame = frame;
    p.parent = hwnd;
    return make_window(p);
  }

  // Runs `work` on the host's thread, as the window's own code would, and waits for it.
  void on_host_thread(const std::function<void()>& work) {
    system->send_message(hwnd, kMsgRun, 0, reinterpret_cast<int64_t>(&work));
  }

  // What the X screen shows of the host's client area.
  Page screen() { return shown_by_x(xd, backend.x_window(hwnd)); }

  // The screen point of a client point of the host.
  Point on_screen(Point client) {
    const Point o = system->client_origin(hwnd);
    return {o.x + client.x, o.y + client.y};
  }

  std::vector<Seen> seen(uint32_t message) {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<Seen> out;
    for (const Seen& s : seen_)
      if (s.message == message) out.push_back(s);
    return out;
  }

  HeadlessDialogs dialogs;
  X11Backend backend;
  std::unique_ptr<WindowSystem> system;
  Display* xd = nullptr;
  std::atomic<Hwnd> hwnd{0};

 private:
  int64_t host_proc(Hwnd h, uint32_t m, uint64_t w, int64_t l) {
    {
      std::lock_guard<std::mutex> g(lock_);
      seen_.push_back({m, w, l});
    }
    switch (m) {
      case kMsgMake: {
        const Hwnd c = system->create_window(*reinterpret_cast<const CreateWindowParams*>(l));
        if (c) system->show_window(c, true);
        return static_cast<int64_t>(c);
      }
      case kMsgRun:
        (*reinterpret_cast<const std::function<void()>*>(l))();
        return 0;
      case kMsgPaint:
        system->paint(h, draw_sample);
        return 0;
      case kMsgDestroy:
        system->post_quit_message(0);
        return 0;
      default:
        return system->default_window_proc(h, m, w, l);
    }
  }

  std::shared_ptr<Thread> thread_;
  Event ready_;
  std::mutex lock_;
  std::vector<Seen> seen_;
};

}  // namespace x11_test
