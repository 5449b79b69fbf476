// The X11 backend's input: the pump, and X events turned into platform input.
//
// X reports points in the X window (the menu bar's strip, then the client area); platform
// input is in frame coordinates, so each point is moved by the X window's offset in the frame,
// and a point on the strip lands on the bar the platform's frame holds. Keys become virtual
// keys (from the key's unshifted symbol) with the character they type; buttons 4 and 5 are
// the wheel.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "platform/x11/x11_backend.hpp"
#include "platform/x11/xlib.hpp"

namespace platform {
namespace {

constexpr int32_t kWheelNotch = 120;

int64_t now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The virtual key of an unshifted key symbol (0: a key the platform does not name).
uint32_t virtual_key(KeySym sym) {
  if (sym >= XK_a && sym <= XK_z) return static_cast<uint32_t>('A' + (sym - XK_a));
  if (sym >= XK_A && sym <= XK_Z) return static_cast<uint32_t>(sym);
  if (sym >= XK_0 && sym <= XK_9) return static_cast<uint32_t>(sym);
  if (sym >= XK_F1 && sym <= XK_F12) return static_cast<uint32_t>(kVkF1 + (sym - XK_F1));
  switch (sym) {
    case XK_BackSpace:
      return kVkBack;
    case XK_Tab:
    case XK_ISO_Left_Tab:
      return kVkTab;
    case XK_Clear:
      return kVkClear;
    case XK_Return:
    case XK_KP_Enter:
      return kVkReturn;
    case XK_Escape:
      return kVkEscape;
    case XK_Shift_L:
    case XK_Shift_R:
      return kVkShift;
    case XK_Control_L:
    case XK_Control_R:
      return kVkControl;
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
      return kVkMenu;
    case XK_space:
      return kVkSpace;
    case XK_Prior:
      return kVkPrior;
    case XK_Next:
      return kVkNext;
    case XK_End:
      return kVkEnd;
    case XK_Home:
      return kVkHome;
    case XK_Left:
      return kVkLeft;
    case XK_Up:
      return kVkUp;
    case XK_Right:
      return kVkRight;
    case XK_Down:
      return kVkDown;
    case XK_Insert:
      return kVkInsert;
    case XK_Delete:
      return kVkDelete;
    default:
      return 0;
  }
}

// The code point a key symbol types (0: none). Latin-1 symbols are their code points;
// Unicode symbols carry theirs; control keys type their control characters.
uint32_t typed_character(KeySym sym, const char* bytes, int count) {
  if (sym >= 0x20 && sym <= 0xFF) return static_cast<uint32_t>(sym);
  if ((sym & 0xFF000000) == 0x01000000) return static_cast<uint32_t>(sym & 0x00FFFFFF);
  if (count == 1) return static_cast<unsigned char>(bytes[0]);  // Return, Tab, Ctrl+letter
  return 0;
}

// The modifiers of an X state mask; a modifier key's own press or release counts already.
int32_t modifiers(unsigned int state, uint32_t key = 0, bool pressed = false) {
  int32_t m = ((state & ShiftMask) ? kModifierShift : 0) |
              ((state & ControlMask) ? kModifierControl : 0) |
              ((state & Mod1Mask) ? kModifierAlt : 0);
  const int32_t own = key == kVkShift     ? kModifierShift
                      : key == kVkControl ? kModifierControl
                      : key == kVkMenu    ? kModifierAlt
                                          : 0;
  return pressed ? (m | own) : (m & ~own);
}

MouseButton mouse_button(unsigned int button) {
  switch (button) {
    case Button2:
      return MouseButton::Middle;
    case Button3:
      return MouseButton::Right;
    case 8:
    case 9:
      return MouseButton::X;
    default:
      return MouseButton::Left;
  }
}

}  // namespace

void X11Backend::wake() {
  const char byte = 1;
  // A full pipe already holds a wake-up; nothing is lost when this write fails.
  if (wake_pipe_[1] >= 0) [[maybe_unused]]
    auto n = ::write(wake_pipe_[1], &byte, 1);
}

void X11Backend::drain_wake_pipe() {
  char buf[64];
  while (::read(wake_pipe_[0], buf, sizeof buf) > 0) {
  }
}

void X11Backend::wake_if_queued() {
  // Another thread's request may have read events off the socket into Xlib's queue; the pump
  // polling the socket would not see them.
  if (display_ && XQLength(display_) > 0) wake();
}

void X11Backend::pump(int64_t deadline_ms, InputSink& sink) {
  std::vector<InputEvent> input;
  int fd = -1;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (!display_) return;
    pump_thread_ = std::this_thread::get_id();
    fd = ConnectionNumber(display_);
  }
  const int64_t wait = std::max<int64_t>(0, deadline_ms - now_ms());
  pollfd fds[2] = {{fd, POLLIN, 0}, {wake_pipe_[0], POLLIN, 0}};
  bool queued;
  {
    std::lock_guard<std::mutex> g(mutex_);
    queued = XPending(display_) > 0;
  }
  if (!queued) ::poll(fds, 2, static_cast<int>(std::min<int64_t>(wait, 1000)));
  drain_wake_pipe();
  {
    std::lock_guard<std::mutex> g(mutex_);
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      handle_event(event, input);
    }
    XFlush(display_);
  }
  // Delivered without the lock: the sink may call back into the backend.
  for (const InputEvent& e : input) sink.deliver_input(e);
}

void X11Backend::handle_event(XEvent& event, std::vector<InputEvent>& input) {
  switch (event.type) {
    case SelectionRequest:
      serve_selection_request(event);
      return;
    case SelectionNotify:
      take_selection_notify(event);
      return;
    case SelectionClear:
      clipboard_.clear();
      return;
    default:
      break;
  }
  const Hwnd hwnd = by_xwin(event.xany.window);
  Native* n = native(hwnd);
  if (!n) return;
  // X window point -> frame point.
  const Rect placed = x_rect(*n);
  const Point offset{placed.left - n->frame.left, placed.top - n->frame.top};
  InputEvent e;
  e.window = hwnd;
  switch (event.type) {
    case Expose:
      give_pending_focus(hwnd);
      repaint(*n,
              Rect{event.xexpose.x,
                   event.xexpose.y,
                   event.xexpose.x + event.xexpose.width,
                   event.xexpose.y + event.xexpose.height});
      return;
    case ConfigureNotify:
      handle_configure(event, input);
      return;
    case ClientMessage: {
      if (static_cast<XID>(event.xclient.message_type) != atoms_.wm_protocols) return;
      const XID protocol = static_cast<XID>(event.xclient.data.l[0]);
      if (protocol == atoms_.wm_delete) {
        e.kind = InputKind::CloseRequest;
        input.push_back(e);
      } else if (protocol == atoms_.wm_take_focus && n->mapped) {
        // The window manager hands the window the keyboard: it takes it, with the message's
        // time as the rules ask. The FocusIn that follows activates it (and a disabled owner
        // passes the activation on to its dialog).
        XSetInputFocus(
            display_, n->xwin, RevertToParent, static_cast<Time>(event.xclient.data.l[1]));
      }
      return;
    }
    case ReparentNotify:
      n->framed = static_cast<XID>(event.xreparent.parent) != root_;
      return;
    case UnmapNotify:
      // Unmapped though the window system shows it: minimised by the window manager.
      if (!n->mapped || n->iconic) return;
      n->iconic = true;
      e.kind = InputKind::Minimize;
      input.push_back(e);
      return;
    case MapNotify:
      give_pending_focus(hwnd);
      if (!n->iconic) return;
      n->iconic = false;
      e.kind = InputKind::Restore;
      input.push_back(e);
      return;
    case FocusIn:
      if (event.xfocus.mode == NotifyGrab || event.xfocus.mode == NotifyUngrab) return;
      e.kind = InputKind::Activate;
      input.push_back(e);
      return;
    case KeyPress:
    case KeyRelease: {
      char bytes[8] = {};
      KeySym typed = 0;
      const int count = XLookupString(&event.xkey, bytes, sizeof bytes, &typed, nullptr);
      e.kind = event.type == KeyPress ? InputKind::KeyDown : InputKind::KeyUp;
      e.key = virtual_key(XLookupKeysym(&event.xkey, 0));
      if (e.key == 0) e.key = virtual_key(typed);
      if (e.kind == InputKind::KeyDown) e.character = typed_character(typed, bytes, count);
      e.modifiers = modifiers(event.xkey.state, e.key, event.type == KeyPress);
      e.time_ms = static_cast<int64_t>(event.xkey.time);
      if (e.key != 0 || e.character != 0) input.push_back(e);
      return;
    }
    case ButtonPress:
    case ButtonRelease: {
      const unsigned int b = event.xbutton.button;
      e.point = {event.xbutton.x + offset.x, event.xbutton.y + offset.y};
      e.time_ms = static_cast<int64_t>(event.xbutton.time);
      e.modifiers = modifiers(event.xbutton.state);
      if (b == Button4 || b == Button5) {
        if (event.type == ButtonRelease) return;  // one notch per press
        e.kind = InputKind::Wheel;
        e.wheel_delta = b == Button4 ? kWheelNotch : -kWheelNotch;
      } else if (b == 6 || b == 7) {
        return;  // horizontal wheel: the platform has no such input
      } else {
        e.kind = event.type == ButtonPress ? InputKind::MouseDown : InputKind::MouseUp;
        e.button = mouse_button(b);
      }
      input.push_back(e);
      return;
    }
    case MotionNotify:
      e.kind = InputKind::MouseMove;
      e.point = {event.xmotion.x + offset.x, event.xmotion.y + offset.y};
      e.time_ms = static_cast<int64_t>(event.xmotion.time);
      e.modifiers = modifiers(event.xmotion.state);
      input.push_back(e);
      return;
    default:
      return;
  }
}

// The window moved or changed size. Changes the backend asked for itself are no news; others
// are reported as done by the display. The X window holds the menu bar's strip above the
// client area.
void X11Backend::handle_configure(XEvent& event, std::vector<InputEvent>& input) {
  const Hwnd hwnd = by_xwin(event.xconfigure.window);
  Native* n = native(hwnd);
  if (!n) return;
  // The event's position is on the screen unless a window manager's frame holds the window
  // (and did not send the event itself): then it is asked of the server, and so may already
  // be newer than the event.
  int x = event.xconfigure.x, y = event.xconfigure.y;
  const bool position_known = event.xconfigure.send_event || !n->framed;
  Window child = 0;
  if (!position_known) XTranslateCoordinates(display_, n->xwin, root_, 0, 0, &x, &y, &child);
  const Rect seen{x, y, x + event.xconfigure.width, y + event.xconfigure.height};
  // A window manager's report of a place the window has left since (sent for an earlier
  // request, it can come after the server's report of a later one) is no news: whatever
  // placed the window again brings a report of its own.
  if (event.xconfigure.send_event && seen != server_place(*n)) return;
  if (passing_through(*n, seen, position_known, event.xconfigure.serial)) return;
  const int32_t bar = n->bar.height();
  y += bar;
  const Rect placed = x_rect(*n);
  const int32_t w = event.xconfigure.width, h = std::max(0, event.xconfigure.height - bar);
  const Point offset{n->client.left - n->frame.left, n->client.top - n->frame.top};
  InputEvent e;
  e.window = hwnd;
  if (x != n->client.left || y != n->client.top) {
    const Rect frame = n->frame.translated(x - n->client.left, y - n->client.top);
    n->frame = frame;
    n->client = n->client.translated(x - n->client.left, y - n->client.top);
    e.kind = InputKind::Moved;
    e.point = {x - offset.x, y - offset.y};
    input.push_back(e);
  }
  if (w != std::max(1, placed.width()) || event.xconfigure.height != std::max(1, placed.height())) {
    n->frame.right += w - n->client.width();
    n->frame.bottom += h - n->client.height();
    n->client.right = n->client.left + w;
    n->client.bottom = n->client.top + h;
    e.kind = InputKind::Resized;
    e.size = {w, h};
    input.push_back(e);
  }
}

Rect X11Backend::server_place(const Native& n) {
  Window root = 0, child = 0;
  int x = 0, y = 0;
  unsigned int width = 0, height = 0, border = 0, depth = 0;
  if (!XGetGeometry(display_, n.xwin, &root, &x, &y, &width, &height, &border, &depth)) return {};
  XTranslateCoordinates(display_, n.xwin, root_, 0, 0, &x, &y, &child);
  return Rect{x, y, x + static_cast<int32_t>(width), y + static_cast<int32_t>(height)};
}

// Placements come back from the server in the order they were asked for, each echo carrying
// at least the serial of the request behind it, yet an echo may arrive after later requests
// were made. So a notify is taken for the echo of the oldest outstanding request made before
// it with the same place; it confirms that request and drops all older ones. While newer
// requests are outstanding the window is only passing through, and the window system (which
// holds the newest) hears nothing. Anything else was done by someone else (the window
// manager, another client, the user), even between two requests of ours, and settles the
// requests made before it. Once the newest request is confirmed, or after a change by someone
// else, the window system's record is brought to what the server reports: normally it holds
// that already; otherwise the window manager answered a request with another place, or our
// request overrode a change the window system had already been told of.
bool X11Backend::passing_through(Native& n,
                                 const Rect& seen,
                                 bool position_known,
                                 unsigned long serial) {
  const Rect before = n.on_screen;
  n.on_screen = seen;
  auto echoed = [&](const Request& r) {
    return r.serial <= serial && r.area.width() == seen.width() &&
           r.area.height() == seen.height() &&
           (!position_known || (r.area.left == seen.left && r.area.top == seen.top));
  };
  auto it = std::find_if(n.requested.begin(), n.requested.end(), echoed);
  if (it != n.requested.end()) {
    // The confirmed request stays: a window manager may echo it twice (real and synthetic).
    n.requested.erase(n.requested.begin(), it);
    return n.requested.size() > 1;
  }
  std::erase_if(n.requested, [&](const Request& r) { return r.serial <= serial; });
  // Restacking, or a window manager confirming a place unchanged, or the echo of a request
  // dropped from a full list, while requests of ours are still on their way: they decide
  // where the window ends.
  return !n.requested.empty() && (seen == before || serial <= n.forgotten);
}

}  // namespace platform
