// Turning display input into window messages: keys go to the focus window as key-down/up
// messages (the typed character rides along for translate_message); mouse input is hit-tested
// against the frame, becomes client messages (with double clicks for classes that want them)
// or frame actions (dragging by the caption, the close and minimise boxes); the window
// manager's requests become system commands, and what the display already did (moves,
// resizes, activation) only updates the record.
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

#include "platform/controls/control_classes.hpp"
#include "platform/window_internal.hpp"
#include "platform/window_system.hpp"

namespace platform {
namespace {

// Button-state and modifier flags of mouse messages (wparam).
constexpr uint64_t kMkLButton = 0x01, kMkRButton = 0x02, kMkMButton = 0x10, kMkXButton = 0x20;
constexpr uint64_t kMkShift = 0x04, kMkControl = 0x08;

uint32_t button_message(MouseButton b, bool down) {
  switch (b) {
    case MouseButton::Left:
      return down ? kMsgLButtonDown : kMsgLButtonUp;
    case MouseButton::Right:
      return down ? kMsgRButtonDown : kMsgRButtonUp;
    case MouseButton::Middle:
      return down ? kMsgMButtonDown : kMsgMButtonUp;
    case MouseButton::X:
      return down ? kMsgXButtonDown : kMsgXButtonUp;
  }
  return kMsgNull;
}

uint64_t button_flag(MouseButton b) {
  switch (b) {
    case MouseButton::Left:
      return kMkLButton;
    case MouseButton::Right:
      return kMkRButton;
    case MouseButton::Middle:
      return kMkMButton;
    case MouseButton::X:
      return kMkXButton;
  }
  return 0;
}

}  // namespace

void WindowSystem::deliver_input(const InputEvent& event) {
  switch (event.kind) {
    case InputKind::KeyDown:
    case InputKind::KeyUp:
      translate_key(event);
      return;
    case InputKind::MouseDown:
    case InputKind::MouseUp:
    case InputKind::MouseMove:
    case InputKind::Wheel:
      translate_mouse(event);
      return;
    case InputKind::CloseRequest:
      // A disabled window (the owner of a running dialog) cannot be closed, as its own close
      // box cannot be clicked.
      if (is_enabled(event.window)) post_message(event.window, kMsgSysCommand, kScClose, 0);
      return;
    case InputKind::Minimize:
      post_message(event.window, kMsgSysCommand, kScMinimize, 0);
      return;
    case InputKind::Maximize:
      post_message(event.window, kMsgSysCommand, kScMaximize, 0);
      return;
    case InputKind::Restore:
      post_message(event.window, kMsgSysCommand, kScRestore, 0);
      return;
    case InputKind::Resized:
      display_resized(event.window, event.size);
      [[fallthrough]];
    case InputKind::Resize:
      post_message(event.window,
                   kMsgSizeRequest,
                   event.kind == InputKind::Resized ? 1 : 0,
                   pack_point(event.size.width, event.size.height));
      return;
    case InputKind::Moved:
      display_moved(event.window, event.point);
      return;
    case InputKind::Activate:
      display_activated(event.window);
      return;
  }
}

// The display moved the window: only the record follows (the client keeps its size, and the
// display needs no telling).
void WindowSystem::display_moved(Hwnd window, Point frame_top_left) {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = windows_.find(window);
  if (it == windows_.end() || it->second->parent != 0) return;
  Rect& f = it->second->frame;
  f = Rect{frame_top_left.x,
           frame_top_left.y,
           frame_top_left.x + f.width(),
           frame_top_left.y + f.height()};
}

// The display resized the window: the window's thread applies the size when it comes to it,
// unless it has placed the window itself meanwhile (then the display ends at that place).
void WindowSystem::display_resized(Hwnd window, Size client) {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = windows_.find(window);
  if (it != windows_.end()) it->second->display_size = client;
}

std::optional<Size> WindowSystem::take_display_size(Hwnd window) {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = windows_.find(window);
  if (it == windows_.end()) return std::nullopt;
  return std::exchange(it->second->display_size, std::nullopt);
}

void WindowSystem::place_native(Window& w, const Rect& frame, const Rect& client) {
  {
    std::lock_guard<std::mutex> g(mutex_);
    w.display_size.reset();
  }
  backend_.move_native(w.hwnd, frame, client);
}

// The display made the window the active one: the same messages as `activate`, without
// asking the display to raise and focus it again. A window manager activates a disabled
// owner the user clicks; its dialog takes the activation back instead.
void WindowSystem::display_activated(Hwnd window) {
  if (activate_waited_dialog(window)) return;
  Hwnd previous;
  {
    std::lock_guard<std::mutex> g(mutex_);
    auto it = windows_.find(window);
    if (it == windows_.end() || it->second->parent != 0) return;
    previous = active_;
    active_ = window;
  }
  if (previous == window) return;
  if (previous != 0) post_message(previous, kMsgActivate, 0, static_cast<int64_t>(window));
  post_message(window, kMsgActivate, 1, static_cast<int64_t>(previous));
}

Hwnd WindowSystem::waited_dialog(Hwnd window) const {
  std::lock_guard<std::mutex> g(mutex_);
  Hwnd waiting = 0;
  // Each step goes to a window made later than the one before (the newest dialog when there
  // are several), so the walk ends.
  for (Hwnd h = window;;) {
    auto it = windows_.find(h);
    if (it == windows_.end() || (it->second->style & kStyleDisabled) == 0) return waiting;
    Hwnd dialog = 0;
    for (const auto& [d, w] : windows_)
      if (d > h && w->dialog_owner == h && (w->style & kStyleVisible) != 0) dialog = d;
    if (dialog == 0) return 0;
    waiting = h = dialog;
  }
}

bool WindowSystem::activate_waited_dialog(Hwnd window) {
  const Hwnd dialog = waited_dialog(window);
  if (dialog == 0) return false;
  // Already active, the dialog still has to come back to the front and take the keyboard.
  if (active_window() == dialog || !activate(dialog)) {
    backend_.raise_native(dialog);
    backend_.focus_native(dialog);
  }
  return true;
}

int32_t WindowSystem::modifiers_of(const InputEvent& event) const {
  if (event.modifiers != kModifiersUnknown) return event.modifiers;
  return (key_down(kVkShift) ? kModifierShift : 0) | (key_down(kVkControl) ? kModifierControl : 0) |
         (key_down(kVkMenu) ? kModifierAlt : 0);
}

bool WindowSystem::key_down(uint32_t virtual_key) const {
  std::lock_guard<std::mutex> g(mutex_);
  return std::find(keys_down_.begin(), keys_down_.end(), virtual_key) != keys_down_.end();
}

void WindowSystem::translate_key(const InputEvent& event) {
  Hwnd target = event.window;
  {
    std::lock_guard<std::mutex> g(mutex_);
    // The focus window takes the keys when it lies inside the window the display names.
    for (Hwnd h = focus_; h != 0;) {
      auto it = windows_.find(h);
      if (it == windows_.end()) break;
      if (h == event.window) {
        target = focus_;
        break;
      }
      h = it->second->parent;
    }
  }
  {
    std::lock_guard<std::mutex> g(mutex_);
    std::erase(keys_down_, event.key);
    if (event.kind == InputKind::KeyDown) keys_down_.push_back(event.key);
  }
  if (!is_enabled(target) || !is_enabled(event.window)) return;  // disabled windows get no input
  // The modifiers travel with the key, so the window sees them as they were when pressed.
  const int32_t mods = modifiers_of(event);
  const int64_t held = ((mods & kModifierShift) ? kKeyShiftHeld : 0) |
                       ((mods & kModifierControl) ? kKeyControlHeld : 0) |
                       ((mods & kModifierAlt) ? kKeyAltHeld : 0);
  if (event.kind == InputKind::KeyDown) {
    const int64_t lparam = 1 | held | (static_cast<int64_t>(event.character) << 32);
    post_message(target, kMsgKeyDown, event.key, lparam);
  } else {
    post_message(target, kMsgKeyUp, event.key, 1 | held);
  }
}

void WindowSystem::close_dropped_lists(Hwnd pressed, Point screen) {
  std::vector<Hwnd> lists;
  {
    std::lock_guard<std::mutex> g(mutex_);
    for (const auto& [h, w] : windows_)
      if (h != pressed && w->class_name == kClassComboList) lists.push_back(h);
  }
  for (Hwnd list : lists)
    post_message(
        list, kMsgCancelMode, static_cast<uint64_t>(pressed), pack_point(screen.x, screen.y));
}

void WindowSystem::translate_mouse(const InputEvent& event) {
  const Rect frame = frame_rect(event.window);
  const Point screen{frame.left + event.point.x, frame.top + event.point.y};

  // A drag by the caption moves the frame until the button is released.
  bool dragging = false;
  Rect moved;
  {
    std::lock_guard<std::mutex> g(mutex_);
    dragging = drag_window_ == event.window;
    if (dragging && event.kind == InputKind::MouseUp) drag_window_ = 0;
    const int32_t dx = screen.x - drag_from_.x, dy = screen.y - drag_from_.y;
    moved = Rect{drag_frame_.left + dx,
                 drag_frame_.top + dy,
                 drag_frame_.right + dx,
                 drag_frame_.bottom + dy};
  }
  if (dragging) {
    if (event.kind == InputKind::MouseMove) move_window(event.window, moved);
    if (event.kind == InputKind::MouseMove || event.kind == InputKind::MouseUp) return;
  }
  if (!is_enabled(event.window)) {
    if (event.kind == InputKind::MouseDown) activate_waited_dialog(event.window);
    return;
  }
  // A press outside the window's frame (a display reports those to an open menu or drop-down
  // list, which holds the pointer) belongs to no window of the program: it closes them all.
  const int32_t local_hit = hit_test(event.window, screen);
  if (event.kind == InputKind::MouseDown) {
    const Hwnd pressed = local_hit == kHitNowhere ? 0 : event.window;
    cancel_menus_except(pressed, local_hit == kHitMenu);
    close_dropped_lists(pressed, screen);
  }

  // A button pressed in a window grabs the mouse: the moves and the release go to that
  // window, in its client coordinates, wherever the pointer is. The grab is decided here, as
  // input arrives, so it holds however far the window's thread lags behind the user.
  const int32_t mods = modifiers_of(event);
  const uint64_t held =
      ((mods & kModifierShift) ? kMkShift : 0) | ((mods & kModifierControl) ? kMkControl : 0);
  const Hwnd grabbed = capture();
  if (grabbed != 0 && event.kind != InputKind::Wheel && root(grabbed) == event.window) {
    const Point origin = client_origin(event.window);
    const Point off = offset_in_root(grabbed);
    const Point p{screen.x - origin.x - off.x, screen.y - origin.y - off.y};
    uint32_t message = kMsgMouseMove;
    uint64_t wparam = 0;
    if (event.kind != InputKind::MouseMove) {
      const bool down = event.kind == InputKind::MouseDown;
      message = button_message(event.button, down);
      wparam = down ? button_flag(event.button) : 0;
      if (!down) {
        std::lock_guard<std::mutex> g(mutex_);
        capture_ = 0;
      }
    }
    post_message(grabbed, message, wparam | held, pack_point(p.x, p.y));
    return;
  }

  // A point in the client area or on the menu bar is always a client or menu hit, and one
  // outside the frame (a display reports those while a button is held) hits nothing, so input
  // there never waits for the window's thread (the input may come from the display's pump
  // thread, which serves every window). Only points on the frame the platform draws ask the
  // window.
  int32_t hit = local_hit;
  if (hit != kHitClient && hit != kHitMenu && hit != kHitNowhere)
    hit = static_cast<int32_t>(
        send_message(event.window, kMsgNcHitTest, 0, pack_point(screen.x, screen.y)));
  if (hit != kHitClient) {
    if (event.button != MouseButton::Left) return;
    if (event.kind == InputKind::MouseDown) {
      if (hit == kHitCaption) {
        std::lock_guard<std::mutex> g(mutex_);
        drag_window_ = event.window;
        drag_from_ = screen;
        drag_frame_ = frame;
      }
      post_message(event.window,
                   kMsgNcLButtonDown,
                   static_cast<uint64_t>(hit),
                   pack_point(screen.x, screen.y));
    } else if (event.kind == InputKind::MouseUp) {
      if (hit == kHitClose) post_message(event.window, kMsgSysCommand, kScClose, 0);
      if (hit == kHitMinButton) post_message(event.window, kMsgSysCommand, kScMinimize, 0);
    }
    return;
  }

  // The deepest visible, enabled child under the point takes the message.
  Hwnd target = event.window;
  const Point origin = client_origin(event.window);
  Point p{screen.x - origin.x, screen.y - origin.y};
  for (bool descended = true; descended;) {
    descended = false;
    for (Hwnd child : children(target)) {
      const Rect r = frame_rect(child);
      if (is_visible(child) && is_enabled(child) && r.contains(p.x, p.y)) {
        const Rect inner = client_for_frame(style(child), r);
        p = {p.x - inner.left, p.y - inner.top};
        target = child;
        descended = true;
        break;
      }
    }
  }

  uint32_t message = kMsgMouseMove;
  uint64_t wparam = 0;
  int64_t lparam = pack_point(p.x, p.y);
  switch (event.kind) {
    case InputKind::MouseMove:
      break;
    case InputKind::Wheel:
      message = kMsgMouseWheel;
      wparam = static_cast<uint64_t>(static_cast<uint16_t>(event.wheel_delta)) << 16;
      lparam = pack_point(screen.x, screen.y);
      break;
    case InputKind::MouseDown:
    case InputKind::MouseUp: {
      const bool down = event.kind == InputKind::MouseDown;
      message = button_message(event.button, down);
      wparam = down ? button_flag(event.button) : 0;
      if (!down) break;
      auto w = find(target);
      std::lock_guard<std::mutex> g(mutex_);
      capture_ = target;
      const bool wants_double = w && (w->class_style & kClassDblClks) != 0;
      const int32_t half_x = metric(Metric::CxDoubleClk) / 2;
      const int32_t half_y = metric(Metric::CyDoubleClk) / 2;
      const Press& last = last_press_;
      if (wants_double && last.window == target && last.message == message &&
          std::abs(last.point.x - p.x) <= half_x && std::abs(last.point.y - p.y) <= half_y &&
          event.time_ms - last.time_ms <= metric(Metric::DoubleClickTime)) {
        message += 2;  // the double-click message of the same button
        last_press_ = {};
      } else {
        last_press_ = {target, message, p, event.time_ms};
      }
      break;
    }
    default:
      return;
  }
  post_message(target, message, wparam | held, lparam);
}

}  // namespace platform
