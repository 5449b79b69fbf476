#include "platform/headless/headless_backend.hpp"

#include <algorithm>
#include <chrono>

namespace platform {

bool HeadlessBackend::create_native(Hwnd window, const NativeWindow& params) {
  std::lock_guard<std::mutex> g(mutex_);
  NativeState& s = natives_[window];
  s.frame = params.frame;
  s.client = params.client;
  s.title = params.title;
  s.kind = params.kind;
  s.owner = params.owner;
  s.resizable = params.resizable;
  return true;
}

void HeadlessBackend::destroy_native(Hwnd window) {
  std::lock_guard<std::mutex> g(mutex_);
  natives_.erase(window);
}

void HeadlessBackend::set_native_title(Hwnd window, const std::string& title) {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = natives_.find(window);
  if (it != natives_.end()) it->second.title = title;
}

void HeadlessBackend::show_native(Hwnd window, bool visible) {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = natives_.find(window);
  if (it != natives_.end()) it->second.visible = visible;
}

void HeadlessBackend::move_native(Hwnd window, const Rect& frame, const Rect& client) {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = natives_.find(window);
  if (it == natives_.end()) return;
  it->second.frame = frame;
  it->second.client = client;
}

void HeadlessBackend::raise_native(Hwnd window) {
  std::lock_guard<std::mutex> g(mutex_);
  raised_ = window;
}

void HeadlessBackend::focus_native(Hwnd) {}

void HeadlessBackend::present(Hwnd window, const Page& surface, const Rect& dirty) {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = natives_.find(window);
  if (it == natives_.end()) return;
  NativeState& s = it->second;
  if (s.shown.width() != surface.width() || s.shown.height() != surface.height()) {
    s.shown = surface;  // a new size: the whole picture changes
  } else {
    const int32_t x0 = std::max(0, dirty.left), x1 = std::min(surface.width(), dirty.right);
    for (int32_t y = std::max(0, dirty.top); y < std::min(surface.height(), dirty.bottom); ++y)
      if (x1 > x0) std::copy(surface.row(y) + x0, surface.row(y) + x1, s.shown.row(y) + x0);
  }
  ++s.presents;
}

void HeadlessBackend::present_menu_bar(Hwnd window, const Page& bar) {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = natives_.find(window);
  if (it != natives_.end()) it->second.menu_bar = bar;
}

void HeadlessBackend::pump(int64_t deadline_ms, InputSink&) {
  using namespace std::chrono;
  const auto deadline = steady_clock::time_point(milliseconds(deadline_ms));
  std::unique_lock<std::mutex> lock(mutex_);
  woken_.wait_until(lock, deadline, [&] { return wake_pending_; });
  wake_pending_ = false;
}

void HeadlessBackend::wake() {
  {
    std::lock_guard<std::mutex> g(mutex_);
    wake_pending_ = true;
  }
  woken_.notify_all();
}

bool HeadlessBackend::set_clipboard_text(const std::string& text) {
  std::lock_guard<std::mutex> g(mutex_);
  clipboard_ = text;
  clipboard_set_ = true;
  return true;
}

bool HeadlessBackend::clipboard_text(std::string& text) {
  std::lock_guard<std::mutex> g(mutex_);
  if (!clipboard_set_) return false;
  text = clipboard_;
  return true;
}

void HeadlessBackend::set_cursor(Hwnd window, CursorShape shape) {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = natives_.find(window);
  if (it != natives_.end()) it->second.cursor = shape;
}

bool HeadlessBackend::native_state(Hwnd window, NativeState& out) const {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = natives_.find(window);
  if (it == natives_.end()) return false;
  out = it->second;
  return true;
}

Hwnd HeadlessBackend::raised() const {
  std::lock_guard<std::mutex> g(mutex_);
  return raised_;
}

}  // namespace platform
