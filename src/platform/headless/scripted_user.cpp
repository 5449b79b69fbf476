#include "platform/headless/scripted_user.hpp"

namespace platform {
namespace {

// Decodes one UTF-8 sequence at s[i], advancing i; malformed bytes decode as themselves.
uint32_t next_code_point(const std::string& s, size_t& i) {
  const auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t c = b(i);
  int32_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  if (i + extra >= s.size() + (extra == 0 ? 1 : 0)) extra = 0;
  uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
  for (int32_t k = 1; k <= extra; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) {
      ++i;
      return c;
    }
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  i += 1 + extra;
  return cp;
}

// The virtual key of a typed character (letters and digits by their upper-case code).
uint32_t key_of(uint32_t ch) {
  if (ch >= 'a' && ch <= 'z') return ch - 'a' + 'A';
  if ((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == ' ') return ch;
  if (ch == '\r' || ch == '\n') return kVkReturn;
  return 0;
}

}  // namespace

InputEvent ScriptedUser::event(InputKind kind, Hwnd window) {
  InputEvent e;
  e.kind = kind;
  e.window = window;
  clock_ms_ += step_ms_;
  e.time_ms = clock_ms_;
  return e;
}

Point ScriptedUser::to_frame(Hwnd window, Point client) const {
  const Rect f = system_.frame_rect(window);
  const Point o = system_.client_origin(window);
  return {o.x - f.left + client.x, o.y - f.top + client.y};
}

void ScriptedUser::press_key(Hwnd window, uint32_t virtual_key, uint32_t character) {
  InputEvent down = event(InputKind::KeyDown, window);
  down.key = virtual_key;
  down.character = character;
  system_.deliver_input(down);
  InputEvent up = event(InputKind::KeyUp, window);
  up.key = virtual_key;
  system_.deliver_input(up);
}

void ScriptedUser::hold(Hwnd window, uint32_t virtual_key) {
  InputEvent down = event(InputKind::KeyDown, window);
  down.key = virtual_key;
  system_.deliver_input(down);
}

void ScriptedUser::release(Hwnd window, uint32_t virtual_key) {
  InputEvent up = event(InputKind::KeyUp, window);
  up.key = virtual_key;
  system_.deliver_input(up);
}

void ScriptedUser::type_text(Hwnd window, const std::string& utf8) {
  for (size_t i = 0; i < utf8.size();) {
    const uint32_t ch = next_code_point(utf8, i);
    press_key(window, key_of(ch), ch == '\n' ? '\r' : ch);
  }
}

void ScriptedUser::mouse_down(Hwnd window, Point p, MouseButton b) {
  InputEvent e = event(InputKind::MouseDown, window);
  e.point = to_frame(window, p);
  e.button = b;
  system_.deliver_input(e);
}

void ScriptedUser::mouse_up(Hwnd window, Point p, MouseButton b) {
  InputEvent e = event(InputKind::MouseUp, window);
  e.point = to_frame(window, p);
  e.button = b;
  system_.deliver_input(e);
}

void ScriptedUser::mouse_move(Hwnd window, Point p) {
  InputEvent e = event(InputKind::MouseMove, window);
  e.point = to_frame(window, p);
  system_.deliver_input(e);
}

void ScriptedUser::click(Hwnd window, Point p, MouseButton b) {
  mouse_down(window, p, b);
  mouse_up(window, p, b);
}

void ScriptedUser::double_click(Hwnd window, Point p, MouseButton b) {
  mouse_down(window, p, b);
  step_ms_ = 50;  // the rest of the double click follows quickly
  mouse_up(window, p, b);
  click(window, p, b);
  step_ms_ = 1000;
}

void ScriptedUser::wheel(Hwnd window, Point p, int32_t delta) {
  InputEvent e = event(InputKind::Wheel, window);
  e.point = to_frame(window, p);
  e.wheel_delta = delta;
  system_.deliver_input(e);
}

void ScriptedUser::drag(Hwnd window, Point from, Point to, MouseButton b) {
  mouse_down(window, from, b);
  mouse_move(window, Point{(from.x + to.x) / 2, (from.y + to.y) / 2});
  mouse_move(window, to);
  mouse_up(window, to, b);
}

void ScriptedUser::click_control(Hwnd control) {
  const ControlState s = control_state(control);
  click(system_.root(control),
        Point{s.place.left + s.place.width() / 2, s.place.top + s.place.height() / 2});
}

ScriptedUser::ControlState ScriptedUser::control_state(Hwnd control) const {
  ControlState s;
  s.text = system_.text(control);
  s.enabled = system_.is_enabled(control);
  s.visible = system_.is_visible(control);
  const Point o = system_.offset_in_root(control);
  const Rect c = system_.client_rect(control);
  s.place = c.translated(o.x, o.y);
  const std::string cls = system_.class_name(control);
  if (cls == "BUTTON")
    s.check = static_cast<int32_t>(system_.send_message(control, kMsgBmGetCheck));
  if (cls == "SCROLLBAR")
    s.position = static_cast<int32_t>(system_.send_message(control, kMsgSbmGetPos));
  return s;
}

bool ScriptedUser::choose_menu_item(Hwnd window, const std::vector<std::string>& path) {
  const auto find_caption = [](const std::vector<MenuItem>& items, const std::string& text) {
    for (size_t i = 0; i < items.size(); ++i)
      if (!items[i].separator && items[i].text == text) return static_cast<int32_t>(i);
    return -1;
  };
  const auto centre = [](const Rect& r) {
    return Point{r.left + r.width() / 2, r.top + r.height() / 2};
  };
  auto items = system_.menus().items(system_.menu(window));
  if (path.empty() || !items) return false;
  int32_t index = find_caption(*items, path[0]);
  if (index < 0) return false;
  const Point at = centre(system_.menu_bar_item_rect(window, index));
  frame_down(window, at);
  frame_up(window, at);
  settle(window);
  MenuItem item = (*items)[index];
  for (size_t k = 1; k < path.size() && item.popup != 0; ++k) {
    items = system_.menus().items(item.popup);
    const Hwnd popup = system_.open_menu_popup(window);
    index = items ? find_caption(*items, path[k]) : -1;
    if (index < 0 || popup == 0) break;
    click(popup, centre(system_.menu_popup_item_rect(popup, index)));
    settle(window);
    item = (*items)[index];
    if (k + 1 == path.size() && !item.grayed && item.popup == 0) return true;
  }
  if (path.size() == 1 && item.popup == 0 && !item.grayed) return true;
  if (const Hwnd popup = system_.open_menu_popup(window)) {
    press_key(popup, kVkEscape);
    settle(window);
  }
  return false;
}

Page ScriptedUser::menu_bar(Hwnd window) const {
  HeadlessBackend::NativeState s;
  return backend_.native_state(window, s) ? s.menu_bar : Page();
}

void ScriptedUser::frame_down(Hwnd window, Point p) {
  InputEvent e = event(InputKind::MouseDown, window);
  e.point = p;
  system_.deliver_input(e);
}

void ScriptedUser::frame_up(Hwnd window, Point p) {
  InputEvent e = event(InputKind::MouseUp, window);
  e.point = p;
  system_.deliver_input(e);
}

void ScriptedUser::drag_frame(Hwnd window, Point from, Point to) {
  frame_down(window, from);
  InputEvent move = event(InputKind::MouseMove, window);
  move.point = to;
  system_.deliver_input(move);
  frame_up(window, to);
}

void ScriptedUser::press_close_box(Hwnd window) {
  const uint32_t style = system_.style(window);
  if ((style & kStyleCaption) == kStyleCaption && (style & kStyleSysMenu)) {
    // The close box is the right end of the caption bar.
    const Rect f = system_.frame_rect(window);
    const Point o = system_.client_origin(window);
    const Point box{f.width() - (o.x - f.left) - 4, (o.y - f.top) / 2};
    frame_down(window, box);
    frame_up(window, box);
    return;
  }
  system_.deliver_input(event(InputKind::CloseRequest, window));
}

void ScriptedUser::minimize(Hwnd window) {
  system_.deliver_input(event(InputKind::Minimize, window));
}
void ScriptedUser::maximize(Hwnd window) {
  system_.deliver_input(event(InputKind::Maximize, window));
}
void ScriptedUser::restore(Hwnd window) {
  system_.deliver_input(event(InputKind::Restore, window));
}

void ScriptedUser::resize(Hwnd window, int32_t client_width, int32_t client_height) {
  InputEvent e = event(InputKind::Resize, window);
  e.size = {client_width, client_height};
  system_.deliver_input(e);
}

Page ScriptedUser::shown(Hwnd window) const {
  HeadlessBackend::NativeState s;
  return backend_.native_state(window, s) ? s.shown : Page();
}

}  // namespace platform
