// The headless backend: a display that exists only in memory.
//
// Native windows are records of frame, title and visibility; `present` copies the presented
// part of a window's surface into the backend's own picture of that window, which is what a
// screen would show (tests read it through the scripted user). The screen is 1024 x 768 at
// 96 dpi unless given otherwise. Input comes only from the scripted user.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

#include "platform/backend.hpp"

namespace platform {

class HeadlessBackend : public Backend {
 public:
  explicit HeadlessBackend(Size screen = {1024, 768}) : screen_(screen) {}

  bool open() override { return true; }
  void close() override {}
  Size screen_size() const override { return screen_; }
  int32_t dpi() const override { return 96; }

  bool create_native(Hwnd window, const NativeWindow& params) override;
  void destroy_native(Hwnd window) override;
  void set_native_title(Hwnd window, const std::string& title) override;
  void show_native(Hwnd window, bool visible) override;
  void move_native(Hwnd window, const Rect& frame, const Rect& client) override;
  void raise_native(Hwnd window) override;
  void focus_native(Hwnd window) override;
  void present(Hwnd window, const Page& surface, const Rect& dirty) override;
  void present_menu_bar(Hwnd window, const Page& bar) override;
  void pump(int64_t deadline_ms, InputSink& sink) override;
  void wake() override;
  bool set_clipboard_text(const std::string& text) override;
  bool clipboard_text(std::string& text) override;
  void set_cursor(Hwnd window, CursorShape shape) override;

  // What the display shows of a native window.
  struct NativeState {
    Rect frame;
    Rect client;
    std::string title;
    NativeKind kind = NativeKind::TopLevel;
    Hwnd owner = 0;
    bool resizable = false;
    bool visible = false;
    Page shown;            // the presented client pixels
    Page menu_bar;         // the presented menu bar (empty: none)
    int32_t presents = 0;  // number of present calls
    CursorShape cursor = CursorShape::Arrow;
  };
  // false when no such native window exists (never made, or destroyed).
  bool native_state(Hwnd window, NativeState& out) const;
  Hwnd raised() const;  // the window raised last

 private:
  const Size screen_;
  mutable std::mutex mutex_;
  std::condition_variable woken_;
  bool wake_pending_ = false;
  std::map<Hwnd, NativeState> natives_;
  Hwnd raised_ = 0;
  std::string clipboard_;
  bool clipboard_set_ = false;
};

}  // namespace platform
