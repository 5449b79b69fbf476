// The scripted user: drives windows of a headless display the way a person would.
//
// Every action becomes display input fed to the window system's input sink, so it takes the
// same road as real input. Points are client coordinates of the named top-level window unless
// a function says "frame". Input is asynchronous like real input: `settle` waits until the
// window's thread has handled everything delivered so far.
//
// The scripted user keeps its own clock for input times: each action is 1000 ms after the
// previous one, except within `double_click` (50 ms).
#pragma once

#include <string>
#include <vector>

#include "platform/headless/headless_backend.hpp"
#include "platform/headless/headless_dialogs.hpp"
#include "platform/window_system.hpp"

namespace platform {

class ScriptedUser {
 public:
  ScriptedUser(WindowSystem& system, HeadlessBackend& backend, HeadlessDialogs& dialogs)
      : system_(system), backend_(backend), dialogs_(dialogs) {}

  // Keys: a key press (down and up); `character` is what the key types (0 = nothing).
  void press_key(Hwnd window, uint32_t virtual_key, uint32_t character = 0);
  // Types UTF-8 text, one key per character.
  void type_text(Hwnd window, const std::string& utf8);
  void press_tab(Hwnd window) { press_key(window, kVkTab); }
  // Holds a key (a modifier such as kVkShift) down until `release`.
  void hold(Hwnd window, uint32_t virtual_key);
  void release(Hwnd window, uint32_t virtual_key);

  // Mouse, at client coordinates.
  void mouse_down(Hwnd window, Point p, MouseButton b = MouseButton::Left);
  void mouse_up(Hwnd window, Point p, MouseButton b = MouseButton::Left);
  void mouse_move(Hwnd window, Point p);
  void click(Hwnd window, Point p, MouseButton b = MouseButton::Left);
  void double_click(Hwnd window, Point p, MouseButton b = MouseButton::Left);
  void wheel(Hwnd window, Point p, int32_t delta);
  // Presses the button at `from`, moves to `to` with it held (halfway first) and releases.
  void drag(Hwnd window, Point from, Point to, MouseButton b = MouseButton::Left);

  // Controls (child windows), wherever they lie in their top-level window: a click in the
  // middle, and what the control shows.
  void click_control(Hwnd control);
  struct ControlState {
    std::string text;
    int32_t check = 0;     // buttons: kBstUnchecked or kBstChecked
    int32_t position = 0;  // scroll bars: the thumb's position
    bool enabled = false;
    bool visible = false;
    Rect place;  // in the top-level window's client area
  };
  ControlState control_state(Hwnd control) const;
  // Menus: chooses an item by the captions on the way to it (the bar entry, then the items of
  // the pop-ups it opens) with clicks, as a person would. true when the item was chosen;
  // false when a caption is not found or the item is greyed (the click then does nothing and
  // the menus are closed with Escape).
  bool choose_menu_item(Hwnd window, const std::vector<std::string>& path);
  // What the display shows of a window's menu bar (an empty page when it has none).
  Page menu_bar(Hwnd window) const;

  // Mouse at frame coordinates (relative to the window's outer top-left corner).
  void frame_down(Hwnd window, Point p);
  void frame_up(Hwnd window, Point p);
  void drag_frame(Hwnd window, Point from, Point to);

  // The window manager's controls.
  void press_close_box(Hwnd window);  // clicks the close box, or asks to close a window without one
  void minimize(Hwnd window);
  void maximize(Hwnd window);
  void restore(Hwnd window);
  void resize(Hwnd window, int32_t client_width, int32_t client_height);

  // Dialogs: the answer the user gives to the next message box, file dialog (nothing:
  // cancel), text entry (nothing: cancel) and selection (0-based; nothing: cancel).
  void answer_next_dialog(DialogAnswer answer) { dialogs_.script_answer(answer); }
  void answer_next_file(std::optional<std::string> path) { dialogs_.script_file(std::move(path)); }
  void answer_next_text(std::optional<std::string> text) { dialogs_.script_text(std::move(text)); }
  void answer_next_selection(std::optional<int32_t> option) { dialogs_.script_selection(option); }

  // What the display shows of a window's client area (an empty page when nothing is shown).
  Page shown(Hwnd window) const;

  // Waits (at most timeout_ms) until the window's thread has handled all input so far and
  // painted what it had to; true also when the window is gone.
  bool settle(Hwnd window, int32_t timeout_ms = 5000) { return system_.flush(window, timeout_ms); }

 private:
  InputEvent event(InputKind kind, Hwnd window);
  Point to_frame(Hwnd window, Point client) const;

  WindowSystem& system_;
  HeadlessBackend& backend_;
  HeadlessDialogs& dialogs_;
  int64_t clock_ms_ = 0;
  int64_t step_ms_ = 1000;  // time between two actions
};

}  // namespace platform
