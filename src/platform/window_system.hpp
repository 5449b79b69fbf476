// The window system: windows owned by threads, their messages, paint and input.
//
// A window belongs to the thread that created it; only that thread runs its window procedure
// and may destroy it. Other threads reach it by sending (blocking until the owner answered) or
// posting messages. Top-level windows have a native window on the backend and a client surface
// of 32-bit pixels that painting fills and `present` shows; child windows live inside their
// parent's client area.
//
// Default processing (`default_window_proc`) gives every window the classic behaviour: the
// close road (close box -> system command -> close -> destroy), hit testing of the frame,
// minimise/maximise/restore and user resizing with size messages and tracking limits, and
// painting that just validates.
//
// One WindowSystem serves one display; it is made at start-up (or by each test) around a
// backend and a dialog provider and handed to whoever needs it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/backend.hpp"
#include "platform/dialogs.hpp"
#include "platform/gfx/page.hpp"
#include "platform/menus.hpp"
#include "platform/message_queue.hpp"
#include "platform/messages.hpp"
#include "platform/metrics.hpp"
#include "platform/print/printer.hpp"
#include "platform/thread_id.hpp"

namespace platform {

using WindowProc = std::function<int64_t(Hwnd, uint32_t message, uint64_t wparam, int64_t lparam)>;

// What a child window paints into when its top-level window paints (lparam of kMsgPaint sent
// to a child): the top-level surface, the child's whole window on it (a child draws its own
// border) and the part that may be drawn (the update region within the child and its
// ancestors).
struct ChildPaint {
  Page* surface = nullptr;
  Rect bounds;  // the child's window, surface pixels
  Rect clip;    // surface pixels
};

struct CreateWindowParams {
  std::string class_name;
  std::string title;
  uint32_t style = 0;
  Rect frame;       // top-level: screen pixels of the whole frame; child: in the parent's client
  Hwnd parent = 0;  // 0 = top-level
  Hwnd owner = 0;   // top-level: the window a dialog belongs to (kept above it), 0 = none
};

class WindowSystem : public InputSink {
 public:
  WindowSystem(Backend& backend, DialogProvider& dialogs);
  ~WindowSystem() override;
  WindowSystem(const WindowSystem&) = delete;
  WindowSystem& operator=(const WindowSystem&) = delete;

  Backend& backend() { return backend_; }
  DialogProvider& dialogs() { return dialogs_; }

  // Printing services of the display, which tests may substitute: the spooler that reaches
  // the system's printers (by default the lp command), how the printer the print dialog chose
  // is opened (by default through the spooler, or a PDF file when a file was chosen), and the
  // printer chosen last (the spooler's default until one is chosen).
  using PrinterOpener = std::function<std::shared_ptr<Printer>(const PrintDialogAnswer&)>;
  Spooler& spooler();
  void set_spooler(Spooler* spooler);  // null: the default
  std::shared_ptr<Printer> open_printer(const PrintDialogAnswer& answer);
  void set_printer_opener(PrinterOpener opener);  // null: the default
  std::string last_printer();
  void remember_printer(const std::string& printer);
  int32_t metric(Metric m) const { return system_metric(m, backend_); }

  // Window classes. false when the name is taken (register) or unknown (unregister).
  bool register_class(const std::string& name, uint32_t class_style, WindowProc proc);
  bool unregister_class(const std::string& name);

  // Creates a window owned by the calling thread; 0 when the class is unknown, the parent is
  // not a window, or the display refuses it. Sends kMsgGetMinMaxInfo to size it within limits.
  Hwnd create_window(const CreateWindowParams& params);
  // Destroys a window and its children (kMsgDestroy to each, parents first); only the owner
  // thread may do this (false otherwise, or when it is not a window).
  bool destroy_window(Hwnd window);
  bool is_window(Hwnd window) const;
  ThreadId window_thread(Hwnd window) const;  // 0 when not a window
  Hwnd parent(Hwnd window) const;
  std::vector<Hwnd> children(Hwnd window) const;

  // Attributes.
  uint32_t style(Hwnd window) const;
  // A new style keeps the client area where it is; the frame follows the new borders.
  void set_style(Hwnd window, uint32_t style);
  void set_user_data(Hwnd window, std::shared_ptr<void> data);
  std::shared_ptr<void> user_data(Hwnd window) const;
  // Private data of the window's class (the built-in controls keep their state here).
  void set_class_data(Hwnd window, std::shared_ptr<void> data);
  std::shared_ptr<void> class_data(Hwnd window) const;
  std::string class_name(Hwnd window) const;
  // Replaces the window's procedure (subclassing) and returns the one it had; the owner
  // thread only. An empty procedure leaves it as it was.
  WindowProc set_window_proc(Hwnd window, WindowProc proc);
  bool set_text(Hwnd window, const std::string& text);
  std::string text(Hwnd window) const;
  Rect frame_rect(Hwnd window) const;      // screen pixels (child: parent client coordinates)
  Rect client_rect(Hwnd window) const;     // (0, 0, width, height)
  Point client_origin(Hwnd window) const;  // top-left of the client area, screen pixels
                                           // (a child's too, through its ancestors)
  // The top-level window a window lies in (itself for a top-level window; 0: not a window).
  Hwnd root(Hwnd window) const;
  // Top-left of a window's client area in its top-level window's client area.
  Point offset_in_root(Hwnd window) const;
  // Sends kMsgSize when the client changes; a visible child is repainted where it was and is.
  bool move_window(Hwnd window, const Rect& frame);
  bool is_minimized(Hwnd window) const;
  bool is_maximized(Hwnd window) const;

  // Visibility and enabling. show: the first show of a top-level window sends kMsgSize with
  // its client size; hiding a child repaints its parent where it was. enable: returns true
  // when the window was disabled before.
  bool show_window(Hwnd window, bool visible);
  bool is_visible(Hwnd window) const;
  bool enable_window(Hwnd window, bool enable);
  bool is_enabled(Hwnd window) const;

  // Menus. A menu bar set on a top-level window lies between its caption and its client area;
  // the frame keeps its place and size, so the client area shrinks by the bar's height (and
  // grows back when the bar is taken away). 0 takes the bar away. false for a child window or
  // an unknown menu.
  MenuStore& menus() { return menus_; }
  bool set_menu(Hwnd window, Hmenu menu);
  Hmenu menu(Hwnd window) const;
  // Draws the window's menu bar again (after its items changed) and shows it.
  void draw_menu_bar(Hwnd window);
  // The frame a top-level window of the style needs around a client rectangle (screen pixels),
  // with or without a menu bar.
  Rect adjust_window_rect(const Rect& client, uint32_t style, bool menu) const;
  // Menu choice, on the window's own thread: the user opens the bar entry `index` (by mouse
  // on the bar, or F10 for the first). Its pop-up menu opens below it as an owned top-level
  // window of class kClassMenuPopup (a command entry of the bar is chosen at once). In a
  // pop-up, a click or Enter chooses a command (the owner then gets kMsgCommand), opens a
  // pop-up entry's menu to its right, or does nothing for a greyed item or a separator; Up and
  // Down move the highlight, Left and Right go to the neighbouring bar entry, Escape and a
  // click anywhere else close the menus.
  void open_bar_menu(Hwnd window, int32_t index);
  void close_menus(Hwnd window);
  // Where things are, for a user who wants to click them: a bar entry in frame coordinates of
  // the window (empty when there is none), the innermost open pop-up of a window (0: none) and
  // an item of a pop-up in its client coordinates.
  Rect menu_bar_item_rect(Hwnd window, int32_t index) const;
  Hwnd open_menu_popup(Hwnd window) const;
  Rect menu_popup_item_rect(Hwnd popup, int32_t index) const;

  // Mouse capture: a window a mouse button went down in keeps the moves and the release of
  // its top-level window wherever the pointer is, until a button is released (a pressed
  // control clicks only when released over itself). The window holding it, or 0.
  Hwnd capture() const;

  // The display's clipboard text (UTF-8); false when it holds none or refuses.
  bool set_clipboard_text(const std::string& text) { return backend_.set_clipboard_text(text); }
  bool clipboard_text(std::string& text) { return backend_.clipboard_text(text); }

  // Keys the display holds down now (modifiers included), from the key input so far. A
  // window handling a key message reads the modifiers of that key from its lparam instead.
  bool key_down(uint32_t virtual_key) const;

  // Dialog navigation for the top-level window `dialog` (the message loop asks it first when
  // the window wants dialog keys): Tab and Shift+Tab move the focus to the next or previous
  // visible, enabled control with kStyleTabStop, in creation order, wrapping round (a text
  // field so reached has its whole text selected, kDlgCodeHasSetSel); Enter
  // clicks the focused push button, or else the window's default push button. true when it
  // took the message (the loop then does not dispatch it).
  bool is_dialog_message(Hwnd dialog, const Message& message);

  // Focus and activation (one active top-level window per display).
  Hwnd set_focus(Hwnd window);  // returns the previous focus
  Hwnd focus() const;
  bool activate(Hwnd window);
  Hwnd active_window() const;

  // Messages.
  int64_t send_message(Hwnd window, uint32_t message, uint64_t wparam = 0, int64_t lparam = 0);
  bool post_message(Hwnd window, uint32_t message, uint64_t wparam = 0, int64_t lparam = 0);
  // The calling thread's next message: messages sent to it are served first, then posted
  // messages, then paint for a window with an update region; false on the quit request
  // (wparam holds its code).
  bool get_message(Message& out);
  void post_quit_message(int32_t code);
  // Posts kMsgChar for a key-down that typed a character.
  void translate_message(const Message& message);
  int64_t dispatch_message(const Message& message);
  int64_t default_window_proc(Hwnd window, uint32_t message, uint64_t wparam, int64_t lparam);

  // Update regions and paint. An update region is one rectangle (the bounding box of all
  // invalidated parts) in client coordinates.
  // A child's invalidation is its parent's, over the child's place: the top-level window
  // repaints that part and its children paint themselves over it.
  // null = the whole client area (of a child: its whole window, border included).
  void invalidate(Hwnd window, const Rect* area);
  Rect update_rect(Hwnd window) const;
  // Paints a top-level window: calls `painter` with its surface and the update rectangle,
  // sends kMsgPaint (with a ChildPaint) to each visible child over it, parents before
  // children and in creation order, clears the update region, then presents the rectangle.
  // The painter's pixels under children are painted over by them, so windows behave as
  // clipping their children. false when there is nothing to do.
  bool paint(Hwnd window, const std::function<void(Page& surface, const Rect& update)>& painter);
  // A copy of a top-level window's client surface (empty page for other handles).
  Page surface(Hwnd window) const;

  // Input from the backend or the scripted user (any thread).
  void deliver_input(const InputEvent& event) override;

  // Posts a marker behind everything already posted to the window's thread (and its pending
  // paint) and waits for it to be dispatched; true then, or when the window is already gone;
  // false on time-out.
  bool flush(Hwnd window, int32_t timeout_ms);

 private:
  struct Window;
  struct WindowClass {
    uint32_t style = 0;
    WindowProc proc;
  };

  std::shared_ptr<Window> find(Hwnd window) const;
  int64_t call_proc(Hwnd window, uint32_t message, uint64_t wparam, int64_t lparam);
  void serve(SentMessage& sent);
  bool resize_client(
      Hwnd window, int32_t width, int32_t height, uint32_t size_kind, bool tell_display = true);
  int32_t hit_test(Hwnd window, Point screen) const;
  void system_command(Hwnd window, uint32_t command);
  void user_resize(Hwnd window, int32_t width, int32_t height, bool by_display);
  // Asks the display to place a top-level window as its record now says.
  void place_native(Window& w, const Rect& frame, const Rect& client);
  // Takes the client size the display gave the window (none: a later placement superseded it).
  std::optional<Size> take_display_size(Hwnd window);
  void display_moved(Hwnd window, Point frame_top_left);
  void display_resized(Hwnd window, Size client);
  void display_activated(Hwnd window);
  // The enabled dialog a disabled window waits for: its shown dialog, or that dialog's own
  // when it is disabled too (0: none, or the window is enabled).
  Hwnd waited_dialog(Hwnd window) const;
  // Brings the dialog a disabled window waits for to the front with the keyboard focus;
  // false when there is none.
  bool activate_waited_dialog(Hwnd window);
  void translate_mouse(const InputEvent& event);
  void translate_key(const InputEvent& event);
  int32_t modifiers_of(const InputEvent& event) const;  // kModifier* of an input event
  Rect frame_for_client(uint32_t style, const Rect& client_screen, bool menu = false) const;
  Rect client_for_frame(uint32_t style, const Rect& frame, bool menu = false) const;
  Rect client_of(const Window& w) const;  // under mutex_
  void open_popup(Hwnd owner, Hmenu menu, Point at, size_t depth);
  void choose_popup_item(Hwnd popup, int32_t index);
  void menu_bar_press(Hwnd window, int64_t screen_point);  // opens or closes the entry
  void popup_key(Hwnd popup, uint32_t key);
  // Closes the menus of every window but those a press in `window` belongs to (its own
  // pop-ups, or its bar when the press is on it).
  void cancel_menus_except(Hwnd window, bool on_bar);
  // Asks every open drop-down list but `pressed` to close after a press at a screen point
  // (kMsgCancelMode, wparam: `pressed`, 0 for a press outside every window; lparam: the
  // point). A list stays open for a press its own field receives, which toggles it.
  void close_dropped_lists(Hwnd pressed, Point screen);
  friend int64_t menu_popup_proc(WindowSystem&, Hwnd, uint32_t, uint64_t, int64_t);
  void run_pump();
  void paint_children(Hwnd window, Page& surface, Point origin, const Rect& clip);

  Backend& backend_;
  DialogProvider& dialogs_;
  MenuStore menus_;
  std::mutex print_mutex_;  // guards the four below
  std::unique_ptr<Spooler> system_spooler_;
  Spooler* spooler_ = nullptr;
  PrinterOpener printer_opener_;
  std::optional<std::string> last_printer_;  // nothing: not looked up yet
  mutable std::mutex mutex_;                 // guards everything below
  std::unordered_map<std::string, WindowClass> classes_;
  std::unordered_map<Hwnd, std::shared_ptr<Window>> windows_;
  Hwnd next_handle_ = 0x10000;  // handles count up and are never reused
  Hwnd focus_ = 0;
  Hwnd active_ = 0;
  // Input state: the last button press (double-click detection) and a frame drag.
  struct Press {
    Hwnd window = 0;
    uint32_t message = 0;
    Point point;
    int64_t time_ms = 0;
  } last_press_;
  Hwnd drag_window_ = 0;
  Hwnd capture_ = 0;
  std::vector<uint32_t> keys_down_;
  Point drag_from_;
  Rect drag_frame_;

  std::atomic<bool> pumping_{true};
  std::thread pump_thread_;
};

}  // namespace platform
