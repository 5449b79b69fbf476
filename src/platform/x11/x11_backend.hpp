// The X11 backend: the window system's top-level windows on an X display.
//
// Each native window is an X window the size of the platform window's client area (the
// window manager draws its own frame), grown upwards by the menu bar's height when the window
// has one: the bar's strip sits at the X window's top, the client area below it. One X window
// rather than a child window for the bar keeps one coordinate offset for all input and lets
// the window manager see a single window. The backend keeps a copy of what it last showed of
// each window and of its bar, so an Expose is repainted from those copies on the pump thread,
// without asking the window's thread. X input (keys, mouse, the close box, moves and resizes
// by the window manager, focus) becomes platform input; the CLIPBOARD selection serves the
// clipboard. An open menu holds the pointer, so a click anywhere else closes it.
//
// Under a window manager: every managed window says it takes keyboard input (WM_HINTS), names
// its program (WM_CLASS) and answers WM_TAKE_FOCUS by taking the focus. Mapping a window waits
// for the manager, so the focus asked for a window not yet on the screen is given to it as
// soon as the server shows it.
//
// Threads: every Xlib call happens under `mutex_`, so one connection serves the pump thread
// and the window threads. Input is translated under the lock but delivered after it is
// released, so a sink that calls back into the backend cannot deadlock.
//
// Pixels: pages hold 0x00RRGGBB, the layout of a 24-bit TrueColor visual with 32-bit pixels;
// `open` refuses a display whose default visual is anything else.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/backend.hpp"

// Xlib's types without its headers (they define macros that clash with ordinary names).
typedef struct _XDisplay Display;
typedef union _XEvent XEvent;
typedef unsigned long XID;

namespace platform {

class X11Backend : public Backend {
 public:
  // `display_name` empty: the DISPLAY environment variable.
  explicit X11Backend(std::string display_name = "");
  ~X11Backend() override;
  X11Backend(const X11Backend&) = delete;
  X11Backend& operator=(const X11Backend&) = delete;

  bool open() override;
  void close() override;
  Size screen_size() const override;
  int32_t dpi() const override;

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

  // The X window showing a native window (0: none); for tests that drive the display.
  XID x_window(Hwnd window) const;

  // What to do when the connection to a display breaks (the server went away): called with the
  // display's name on the thread whose Xlib call found the break. It must not return: Xlib
  // cannot go on without the connection and ends the process when it does. Process-wide, as
  // Xlib's own handler is; none (the default): Xlib's message and exit.
  using ConnectionLost = void (*)(const char* display_name);
  static void on_connection_lost(ConnectionLost handler);

 private:
  // Outstanding placements kept per window. Echoes come back in order and confirm all older
  // requests, so the list grows only while the pump lags behind a burst of moves (or a window
  // manager answers with places of its own); the newest requests are the ones that matter.
  static constexpr size_t kMaxRequested = 64;
  // A placement of the X window the backend asked the server for and has not yet seen
  // superseded: the window's ConfigureNotify echoes it, perhaps after later requests.
  struct Request {
    unsigned long serial = 0;  // the X request's serial; its echo carries this one or later
    Rect area;                 // the X window's place asked for (screen pixels)
  };
  struct Native {
    XID xwin = 0;
    Rect frame;   // as the window system last said or the display last reported
    Rect client;  // screen pixels
    Page shown;   // what was presented, for Expose
    Page bar;     // the menu bar shown above the client area (empty: none)
    bool resizable = false;
    bool menu = false;    // an open menu: holds the pointer while shown
    bool mapped = false;  // as the window system wants it
    bool iconic = false;  // unmapped by someone else (the window manager minimised it)

    // Telling the server's reports of our own placements from changes by others.
    Rect on_screen;                 // the X window's place as the server last reported it
    std::deque<Request> requested;  // oldest first, at most kMaxRequested
    unsigned long forgotten = 0;    // serial of the newest request dropped from a full list
    bool framed = false;            // reparented into a window manager's frame
  };
  // The atoms the backend speaks.
  struct Atoms {
    XID wm_protocols = 0, wm_delete = 0, wm_take_focus = 0, net_wm_name = 0, utf8 = 0,
        clipboard = 0, targets = 0, string = 0, property = 0;
  };
  // A paste in progress: the thread asking waits until the pump sees the owner's answer.
  struct Paste {
    bool waiting = false;
    bool done = false;
    std::optional<std::string> text;
  };

  Native* native(Hwnd window);
  Hwnd by_xwin(XID xwin) const;
  // The X window's place on the screen: the client area with the bar's strip above it.
  static Rect x_rect(const Native& n);
  // x_rect as X holds it: a window is at least one pixel wide and high.
  static Rect x_area(const Native& n);
  // Moves and sizes the X window to x_area (size hints first, for fixed-size windows) and
  // records the request, so its echo is known as such.
  void place(Native& n);
  // Puts `area` (page coordinates) of `page` on the X window, its row 0 at X row `top`.
  void put(const Native& n, const Page& page, const Rect& area, int32_t top);
  // Repaints `area` (X window coordinates) from the held copies of bar and client area.
  void repaint(const Native& n, const Rect& area);
  // A menu shown or gone: the last menu still shown holds the pointer.
  void track_menu(Hwnd window, bool shown);
  // Whether the server shows the X window (it and every ancestor mapped): only such a window
  // can take the focus.
  bool viewable(const Native& n);
  // Gives the focus asked for before the window could take it, once the server shows it.
  void give_pending_focus(Hwnd window);
  // x11_input.cpp: one X event to platform input (and Expose, configure and selection work).
  void handle_event(XEvent& event, std::vector<InputEvent>& input);
  void handle_configure(XEvent& event, std::vector<InputEvent>& input);
  // The X window's place on the screen as the server holds it now.
  Rect server_place(const Native& n);
  // Whether a ConfigureNotify (request serial `serial`) placing the X window at `seen` shows
  // it merely passing through placements the backend asked for, on its way to the newest:
  // no news for the window system, which holds the newest. `position_known`: false when the
  // event's position is relative to a frame (then only the size is compared).
  bool passing_through(Native& n, const Rect& seen, bool position_known, unsigned long serial);
  // x11_clipboard.cpp: selection traffic seen by the pump.
  void serve_selection_request(XEvent& event);
  void take_selection_notify(XEvent& event);
  void drain_wake_pipe();
  void wake_if_queued();  // under mutex_: events another call read off the socket
  void sync();            // under mutex_

  const std::string display_name_;
  Display* display_ = nullptr;
  XID root_ = 0;
  XID clipboard_window_ = 0;  // owns the selection and receives pasted text
  Atoms atoms_;
  int wake_pipe_[2] = {-1, -1};
  mutable std::mutex mutex_;  // guards every Xlib call and everything below
  std::map<Hwnd, Native> natives_;
  std::vector<Hwnd> menus_shown_;   // menus on the screen, the one opened last at the back
  Hwnd focus_pending_ = 0;          // asked for the focus before the server showed it
  std::map<int32_t, XID> cursors_;  // by CursorShape
  std::string clipboard_;           // what we serve while we own CLIPBOARD
  Paste paste_;
  std::condition_variable paste_done_;
  std::thread::id pump_thread_;
};

}  // namespace platform
