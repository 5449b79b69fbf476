// The modal dialog frame: a dialog window of platform controls and the modal loop that runs it.
//
// Every dialog the platform draws itself (message box, text entry, selection, print, file) is
// a DialogWindow: a top-level window of class kClassDialog with a caption and a close box, not
// resizable, painted in the button-face colour, owned by the request's owner (0: none) and
// centred on it (or on the screen). Its controls are ordinary built-in controls (BUTTON,
// STATIC, EDIT, LISTBOX, COMBOBOX ...) placed in client pixels, each with a dialog-wide id.
//
// Use, all on one thread (the thread that makes the DialogWindow owns its window):
//   DialogWindow d(system, {owner, "Title", {width, height}});
//   d.add({kClassButton, "OK", kBsDefPushButton | kStyleTabStop, {...}, kIdOk});
//   d.on_command([&](int32_t id, uint32_t code) { if (id == kIdOk) d.end(1); });
//   d.set_cancel_result(0);
//   const int32_t result = d.run();
//
// `run` shows the dialog, disables the owner, and serves the calling thread's messages (the
// thread's other windows included) until a handler calls `end`. Dialog keys work as in every
// dialog: Tab and Shift+Tab move among the tab stops, Enter clicks the focused push button or
// else the default one, and Escape (like the close box) ends the dialog with the cancel result;
// an open drop-down list takes Enter and Escape itself. Afterwards the owner is enabled again
// (when it was enabled before) and activated, the window is destroyed, and a quit request that
// arrived meanwhile (it ends the dialog with the cancel result) is posted again for the
// thread's own loop.
//
// Any thread may run a dialog: a window thread keeps serving its windows inside the loop, and
// any other thread is blocked until the dialog ends. Dialogs on different threads run side by
// side; a dialog may open another one owned by itself (a nested loop on the same thread).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/text/font.hpp"
#include "platform/window_system.hpp"

namespace platform {

inline constexpr const char* kClassDialog = "#dialog";

// The frame's window style: caption with a close box and a fixed dialog frame.
inline constexpr uint32_t kDialogStyle =
    kStylePopup | kStyleCaption | kStyleSysMenu | kStyleClipChildren;

// The dialog base units of a font, by which dialog layouts are given: one horizontal unit is a
// quarter of the font's average character width (the mean advance of the 52 Latin letters,
// rounded), one vertical unit an eighth of its height. Each edge maps to the nearest pixel.
struct DialogUnits {
  explicit DialogUnits(const Font& font);
  int32_t x = 0;  // average character width, pixels
  int32_t y = 0;  // character height, pixels
  Rect to_pixels(const Rect& units) const;
};

// The window a dialog is and whom it belongs to.
struct DialogFrame {
  Hwnd owner = 0;  // the window kept disabled while the dialog runs; 0: none
  std::string title;
  Size client;  // client area, pixels
  // The frame's top-left corner on the screen; none: centred on the owner (or the screen).
  // Either way the dialog is kept on the screen.
  std::optional<Point> position;
  // Called on the dialog's thread once the dialog is shown and has the focus (tests use it
  // to find the window); may be empty.
  std::function<void(Hwnd dialog)> shown;
};

// One control of a dialog. kStyleChild and kStyleVisible are added to `style`.
struct DialogItem {
  const char* class_name = "";
  std::string text;
  uint32_t style = 0;
  Rect place;  // the control's window in the dialog's client area, pixels
  int32_t id = 0;
};

class DialogWindow {
 public:
  // A command from a control: its id and the notification code (kBnClicked, kLbnSelChange ...).
  using CommandHandler = std::function<void(int32_t id, uint32_t code)>;
  // Draws on the client surface after the face colour is filled (before the controls).
  using Painter = std::function<void(Page& surface, const Rect& update)>;

  // Makes the (hidden) window on the calling thread; `created()` tells whether it exists.
  DialogWindow(WindowSystem& system, const DialogFrame& frame);
  ~DialogWindow();  // destroys the window if `run` did not
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  bool created() const { return window_ != 0; }
  Hwnd window() const { return window_; }
  WindowSystem& system() { return system_; }

  // The dialog font (the default GUI font; its controls draw with it) and its base units.
  static std::shared_ptr<const Font> dialog_font() { return Font::default_gui(); }
  const DialogUnits& units() const { return units_; }

  // Adds a control; its handle, or 0 when it could not be made (it then has no id).
  Hwnd add(const DialogItem& item);
  Hwnd item(int32_t id) const;  // 0 when no control has the id
  std::string item_text(int32_t id) const;
  int64_t send_item(int32_t id, uint32_t message, uint64_t wparam = 0, int64_t lparam = 0);

  void on_command(CommandHandler handler);
  void on_paint(Painter painter);
  // What the close box, Escape and a quit request answer (default 0).
  void set_cancel_result(int32_t result);

  // Ends the dialog with the result (the loop returns it); from the dialog's thread.
  void end(int32_t result);
  bool ended() const;

  // Runs the dialog modally (see the header comment) and returns its result. The focus
  // starts on the control `focus_id`, else on the first tab stop; an edit field that takes
  // the focus so has its text selected. A dialog whose window could not be made answers the
  // cancel result at once.
  int32_t run(int32_t focus_id = 0);

 private:
  struct State;
  static int64_t proc(
      WindowSystem& system, Hwnd window, uint32_t message, uint64_t wparam, int64_t lparam);
  bool dialog_key(const Message& message);
  void set_initial_focus(int32_t focus_id);
  void finish(Hwnd owner, bool owner_disabled, Hwnd focus_before);

  WindowSystem& system_;
  std::shared_ptr<State> state_;
  DialogUnits units_;
  Hwnd owner_ = 0;
  Hwnd window_ = 0;
  std::function<void(Hwnd)> shown_;
};

}  // namespace platform
