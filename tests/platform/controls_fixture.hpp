// A headless display with one top-level window on a thread of its own that paints its client
// area in one colour, hosts built-in controls and records what they tell it.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/controls/control_classes.hpp"
#include "platform/headless/headless_backend.hpp"
#include "platform/headless/headless_dialogs.hpp"
#include "platform/headless/scripted_user.hpp"
#include "platform/thread.hpp"
#include "platform/window_system.hpp"

namespace platform_test {

using namespace platform;

class ControlHost : public ::testing::Test {
 protected:
  static constexpr Pixel kBackground = 0x203040;
  static constexpr uint32_t kMsgMake = kMsgUser + 7;  // lparam: CreateWindowParams*
  static constexpr uint32_t kMsgRun = kMsgUser + 8;   // lparam: std::function<void()>*

  struct Notice {
    uint32_t message;  // kMsgCommand, kMsgHScroll or kMsgVScroll
    uint32_t code;     // notification code or scroll request
    int32_t position;  // the high word of a scroll request
    Hwnd control;
    friend bool operator==(const Notice&, const Notice&) = default;
  };

  void SetUp() override {
    system.register_class("host", 0, [this](Hwnd h, uint32_t m, uint64_t w, int64_t l) {
      return host_proc(h, m, w, l);
    });
    thread_ = Thread::create(
        [this]() -> uint32_t {
          CreateWindowParams p;
          p.class_name = "host";
          p.title = "host";
          p.style = kStyleCaption | kStyleSysMenu | kStyleClipChildren;
          p.frame = {0, 0, 320, 240};
          hwnd_ = system.create_window(p);
          system.show_window(hwnd_, true);
          ready_.set();
          Message m;
          while (system.get_message(m)) {
            if (dialog_keys_ && system.is_dialog_message(hwnd_, m)) continue;
            system.translate_message(m);
            system.dispatch_message(m);
          }
          return 0;
        },
        false);
    ASSERT_TRUE(ready_.wait(5000));
  }
  void TearDown() override {
    system.post_message(hwnd_, kMsgClose);
    if (thread_->ended().wait(5000)) thread_->join();
  }

  // Makes a control on the window's thread; its handle.
  Hwnd make(const char* cls, const std::string& text, uint32_t style, Rect frame) {
    CreateWindowParams p;
    p.class_name = cls;
    p.title = text;
    p.style = kStyleChild | kStyleVisible | style;
    p.frame = frame;
    p.parent = hwnd_;
    return static_cast<Hwnd>(
        system.send_message(hwnd_, kMsgMake, 0, reinterpret_cast<int64_t>(&p)));
  }
  // Runs `task` on the window's thread, between two of its messages.
  void on_window_thread(std::function<void()> task) {
    system.send_message(hwnd_, kMsgRun, 0, reinterpret_cast<int64_t>(&task));
  }
  std::vector<Notice> notices() {
    EXPECT_TRUE(user.settle(hwnd_));
    std::lock_guard<std::mutex> g(lock_);
    return notices_;
  }
  void clear_notices() {
    std::lock_guard<std::mutex> g(lock_);
    notices_.clear();
  }
  // The window as the display shows it, once everything so far is handled and painted.
  Page shown() {
    EXPECT_TRUE(user.settle(hwnd_));
    return user.shown(hwnd_);
  }
  // The point `d` inside a control, in the window's client coordinates.
  Point in(Hwnd control, Point d) {
    const Rect f = system.frame_rect(control);
    return {f.left + d.x, f.top + d.y};
  }

  HeadlessBackend backend;
  HeadlessDialogs dialogs;
  WindowSystem system{backend, dialogs};
  ScriptedUser user{system, backend, dialogs};
  std::atomic<Hwnd> hwnd_{0};
  std::atomic<bool> dialog_keys_{false};

 private:
  int64_t host_proc(Hwnd h, uint32_t m, uint64_t w, int64_t l) {
    switch (m) {
      case kMsgMake: {
        const Hwnd c = system.create_window(*reinterpret_cast<const CreateWindowParams*>(l));
        if (c) system.show_window(c, true);
        return static_cast<int64_t>(c);
      }
      case kMsgRun:
        (*reinterpret_cast<std::function<void()>*>(l))();
        return 0;
      case kMsgPaint:
        system.paint(h, [](Page& surface, const Rect& r) {
          for (int y = r.top; y < r.bottom; ++y)
            std::fill(surface.row(y) + r.left, surface.row(y) + r.right, kBackground);
        });
        return 0;
      case kMsgCommand:
      case kMsgHScroll:
      case kMsgVScroll: {
        std::lock_guard<std::mutex> g(lock_);
        notices_.push_back({m,
                            static_cast<uint32_t>(w & 0xFFFF),
                            static_cast<int16_t>(w >> 16),
                            static_cast<Hwnd>(l)});
        return 0;
      }
      case kMsgDestroy:
        system.post_quit_message(0);
        return 0;
      default:
        return system.default_window_proc(h, m, w, l);
    }
  }

  std::shared_ptr<Thread> thread_;
  Event ready_;
  std::mutex lock_;
  std::vector<Notice> notices_;
};

}  // namespace platform_test
