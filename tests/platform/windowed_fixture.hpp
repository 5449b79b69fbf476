// A headless display whose dialogs are windows (WindowedDialogs), an owner window on a thread
// of its own, and helpers to ask for a dialog on another thread, find the dialog once it is
// shown, and play the user on it.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/controls/control_classes.hpp"
#include "platform/headless/headless_backend.hpp"
#include "platform/headless/headless_dialogs.hpp"
#include "platform/headless/scripted_user.hpp"
#include "platform/sync.hpp"
#include "platform/thread.hpp"
#include "platform/window_system.hpp"
#include "platform/windowed/windowed_dialogs.hpp"

namespace platform_test {

using namespace platform;

class WindowedHost : public ::testing::Test {
 protected:
  static constexpr int32_t kWaitMs = 5000;
  static constexpr uint32_t kMsgRun = kMsgUser + 8;   // lparam: std::function<void()>*
  static constexpr uint32_t kMsgPing = kMsgUser + 9;  // answers 42

  void SetUp() override {
    dialogs.attach(&system);
    dialogs.on_dialog_shown([this](Hwnd h) {
      {
        std::lock_guard<std::mutex> g(lock_);
        opened_.push_back(h);
      }
      opened_event_.set();
    });
    system.register_class("owner", 0, [this](Hwnd h, uint32_t m, uint64_t w, int64_t l) {
      return owner_proc(h, m, w, l);
    });
  }
  void TearDown() override {
    if (owner_thread_) {
      system.post_message(owner, kMsgClose);
      if (owner_thread_->ended().wait(kWaitMs)) owner_thread_->join();
    }
    dialogs.attach(nullptr);
  }

  // Opens the owner window (frame in screen pixels) on a thread of its own.
  void open_owner(Rect frame = {100, 80, 600, 480}) {
    Event ready;
    owner_thread_ = Thread::create(
        [this, frame, &ready]() -> uint32_t {
          CreateWindowParams p;
          p.class_name = "owner";
          p.title = "owner";
          p.style = kStyleCaption | kStyleSysMenu | kStyleClipChildren;
          p.frame = frame;
          owner = system.create_window(p);
          system.show_window(owner, true);
          system.activate(owner);
          ready.set();
          Message m;
          while (system.get_message(m)) {
            system.translate_message(m);
            system.dispatch_message(m);
          }
          owner_loop_ended = true;
          return 0;
        },
        false);
    ASSERT_TRUE(ready.wait(kWaitMs));
  }

  // true once the owner's thread has ended (within kWaitMs).
  bool owner_thread_ends() { return owner_thread_->ended().wait(kWaitMs); }

  // Runs `task` on the owner's thread without waiting for it (it may open a dialog there).
  void post_to_owner(std::function<void()> task) {
    system.post_message(owner, kMsgRun, 0, reinterpret_cast<int64_t>(new std::function(task)));
  }

  // Runs `ask` on a new thread; the thread (join it to read what `ask` stored).
  std::shared_ptr<Thread> ask(std::function<void()> ask_body) {
    return Thread::create(
        [ask_body]() -> uint32_t {
          ask_body();
          return 0;
        },
        false);
  }
  static bool finished(const std::shared_ptr<Thread>& t) {
    if (!t->ended().wait(kWaitMs)) return false;
    t->join();
    return true;
  }

  // The next dialog shown (waits for it), settled; 0 when none comes.
  Hwnd next_dialog() {
    for (;;) {
      {
        std::lock_guard<std::mutex> g(lock_);
        if (!opened_.empty()) {
          const Hwnd h = opened_.front();
          opened_.pop_front();
          user.settle(h);
          return h;
        }
      }
      if (!opened_event_.wait(kWaitMs)) return 0;
    }
  }

  // The first control of the dialog with this class and (when given) this text; 0: none.
  Hwnd control(Hwnd dialog, const std::string& cls, const std::string& text = "") {
    for (Hwnd c : system.children(dialog))
      if (system.class_name(c) == cls && (text.empty() || system.text(c) == text)) return c;
    return 0;
  }
  void click(Hwnd control) {
    const Hwnd dialog = system.root(control);
    user.click_control(control);
    user.settle(dialog);
  }
  void key(Hwnd dialog, uint32_t vk) {
    user.press_key(dialog, vk);
    user.settle(dialog);
  }
  // The user answers the dialog: "Enter", "Tab Enter", "Escape", "close box", or else a
  // click on the button with that caption.
  void answer_by(Hwnd dialog, const std::string& how) {
    if (how == "Enter" || how == "Tab Enter") {
      if (how == "Tab Enter") key(dialog, kVkTab);
      key(dialog, kVkReturn);
    } else if (how == "Escape") {
      key(dialog, kVkEscape);
    } else if (how == "close box") {
      user.press_close_box(dialog);
    } else {
      const Hwnd button = control(dialog, kClassButton, how);
      ASSERT_NE(button, 0u) << how;
      click(button);
    }
  }
  // What the display shows of a window once its thread has handled everything so far.
  Page shown(Hwnd window) {
    EXPECT_TRUE(user.settle(window));
    return user.shown(window);
  }

  HeadlessBackend backend;
  HeadlessDialogs unused_script;  // the scripted user's answers to headless dialogs
  WindowedDialogs dialogs;
  WindowSystem system{backend, dialogs};
  ScriptedUser user{system, backend, unused_script};
  std::atomic<Hwnd> owner{0};
  std::atomic<bool> owner_loop_ended{false};
  std::atomic<int32_t> pings_served{0};

 private:
  int64_t owner_proc(Hwnd h, uint32_t m, uint64_t w, int64_t l) {
    switch (m) {
      case kMsgRun: {
        std::unique_ptr<std::function<void()>> task(reinterpret_cast<std::function<void()>*>(l));
        (*task)();
        return 0;
      }
      case kMsgPing:
        ++pings_served;
        return 42;
      case kMsgPaint:
        system.paint(h, [](Page& surface, const Rect& r) {
          for (int y = r.top; y < r.bottom; ++y)
            std::fill(surface.row(y) + r.left, surface.row(y) + r.right, 0x336699);
        });
        return 0;
      case kMsgDestroy:
        system.post_quit_message(0);
        return 0;
      default:
        return system.default_window_proc(h, m, w, l);
    }
  }

  std::shared_ptr<Thread> owner_thread_;
  std::mutex lock_;
  std::deque<Hwnd> opened_;
  Event opened_event_;
};

}  // namespace platform_test
