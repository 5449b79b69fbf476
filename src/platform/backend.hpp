// The seam between the window system and a display.
//
// Everything that does not need a display lives above this seam, once: threads and queues, the
// window tree, focus, update regions and paint, drawing into pages. A backend only hosts the
// top-level windows on a display (a native window per top-level platform window; children are
// drawn into their parent's surface), shows a window's surface when told to (`present`), and
// turns native input into platform input delivered to one InputSink. The window system runs
// the paint cycle and calls `present` afterwards; a backend never draws.
//
// Every function is pure virtual on purpose: a backend that forgets one does not compile.
// Clock, sleeping and print spooling are separate seams.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gfx/page.hpp"
#include "platform/messages.hpp"

namespace platform {

struct Size {
  int32_t width = 0;
  int32_t height = 0;
};

enum class MouseButton { Left, Right, Middle, X };

enum class InputKind {
  KeyDown,       // key (virtual key), character (code point typed, 0 = none)
  KeyUp,         // key
  MouseDown,     // button, point
  MouseUp,       // button, point
  MouseMove,     // point
  Wheel,         // point, wheel_delta (multiples of 120 per notch)
  CloseRequest,  // the window manager's close box
  Minimize,
  Maximize,
  Restore,
  Resize,    // size: the client size the user asks for (by the frame the platform draws)
  Resized,   // size: new client size; the display has already resized the window
  Moved,     // point: the frame's new top-left corner on the screen (moved by the display)
  Activate,  // the display gave the window the keyboard focus
};

inline constexpr int32_t kModifiersUnknown = -1;
inline constexpr int32_t kModifierShift = 1, kModifierControl = 2, kModifierAlt = 4;

// One piece of input, aimed at a top-level window. Points are relative to the window's frame
// (its outer top-left corner), as a display reports them.
struct InputEvent {
  InputKind kind = InputKind::MouseMove;
  Hwnd window = 0;
  uint32_t key = 0;
  uint32_t character = 0;
  MouseButton button = MouseButton::Left;
  Point point;
  int32_t wheel_delta = 0;
  Size size;
  int64_t time_ms = 0;  // when it happened (for double-click detection)
  // The modifiers held as the display reports them (kModifier*, after this key's own change),
  // or kModifiersUnknown: then the keys delivered so far tell.
  int32_t modifiers = kModifiersUnknown;
};

// What a native window is to the display: an ordinary top-level window, a dialog kept above
// its owner, a pop-up (a captionless window) that the window manager leaves alone, or an open
// menu or drop-down list: a pop-up that also takes every press the user makes elsewhere while
// it is shown (delivered to it as a point outside its frame), so a click anywhere closes it.
enum class NativeKind { TopLevel, Dialog, Popup, Menu };

struct NativeWindow {
  Rect frame;   // screen pixels, with the frame and caption the platform draws
  Rect client;  // screen pixels of the client area inside `frame`
  std::string title;
  NativeKind kind = NativeKind::TopLevel;
  Hwnd owner = 0;  // dialogs: the window they belong to (0: none)
  bool resizable = false;
};

// Receives translated input; implemented by the window system.
class InputSink {
 public:
  virtual ~InputSink() = default;
  virtual void deliver_input(const InputEvent& event) = 0;
};

enum class CursorShape {
  Arrow,
  Cross,
  Hand,
  IBeam,
  Wait,
  SizeAll,
  SizeNS,
  SizeWE,
  SizeNWSE,
  SizeNESW,
  No,
  Help
};

class Backend {
 public:
  virtual ~Backend() = default;

  // Display.
  virtual bool open() = 0;  // false when the display cannot be reached
  virtual void close() = 0;
  virtual Size screen_size() const = 0;  // pixels of the primary screen
  virtual int32_t dpi() const = 0;

  // Native windows, one per top-level platform window. A display that reports client
  // coordinates turns them into frame coordinates with the client's offset in the frame.
  virtual bool create_native(Hwnd window, const NativeWindow& params) = 0;
  virtual void destroy_native(Hwnd window) = 0;
  virtual void set_native_title(Hwnd window, const std::string& title) = 0;
  virtual void show_native(Hwnd window, bool visible) = 0;
  virtual void move_native(Hwnd window, const Rect& frame, const Rect& client) = 0;
  virtual void raise_native(Hwnd window) = 0;
  virtual void focus_native(Hwnd window) = 0;

  // Shows the `dirty` part (client coordinates) of a window's client surface.
  virtual void present(Hwnd window, const Page& surface, const Rect& dirty) = 0;
  // Shows a window's menu bar (drawn by the window system; an empty page: no bar).
  virtual void present_menu_bar(Hwnd window, const Page& bar) = 0;

  // Waits until input arrives, `wake` is called or the monotonic clock passes deadline_ms,
  // delivering what arrived to `sink`.
  virtual void pump(int64_t deadline_ms, InputSink& sink) = 0;
  virtual void wake() = 0;  // callable from any thread

  // Clipboard text (UTF-8).
  virtual bool set_clipboard_text(const std::string& text) = 0;
  virtual bool clipboard_text(std::string& text) = 0;

  virtual void set_cursor(Hwnd window, CursorShape shape) = 0;
};

}  // namespace platform
