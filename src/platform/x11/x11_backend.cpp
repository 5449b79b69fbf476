// The X11 backend's display and native windows: connection, windows, presenting pixels,
// cursors.
#include "platform/x11/x11_backend.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>

#include "platform/x11/xlib.hpp"

namespace platform {
namespace {

// Xlib's default error handler ends the process; a window that vanished under a request (the
// window manager destroyed it, a focus on an unmapped window) must not.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

// A broken connection: the program's handler, else the handler Xlib had (its message and exit).
std::atomic<X11Backend::ConnectionLost> connection_lost{nullptr};
std::atomic<XIOErrorHandler> xlib_io_handler{nullptr};

int io_error(Display* display) {
  if (const X11Backend::ConnectionLost lost = connection_lost.load()) lost(DisplayString(display));
  const XIOErrorHandler previous = xlib_io_handler.load();
  return previous ? previous(display) : 0;  // Xlib ends the process when this returns
}

unsigned int cursor_glyph(CursorShape shape) {
  switch (shape) {
    case CursorShape::Arrow:
      return XC_left_ptr;
    case CursorShape::Cross:
      return XC_crosshair;
    case CursorShape::Hand:
      return XC_hand2;
    case CursorShape::IBeam:
      return XC_xterm;
    case CursorShape::Wait:
      return XC_watch;
    case CursorShape::SizeAll:
      return XC_fleur;
    case CursorShape::SizeNS:
      return XC_sb_v_double_arrow;
    case CursorShape::SizeWE:
      return XC_sb_h_double_arrow;
    case CursorShape::SizeNWSE:
      return XC_bottom_right_corner;
    case CursorShape::SizeNESW:
      return XC_bottom_left_corner;
    case CursorShape::No:
      return XC_X_cursor;
    case CursorShape::Help:
      return XC_question_arrow;
  }
  return XC_left_ptr;
}

// Fixed-size windows tell the window manager so; all windows ask for their own position.
// `area` is the X window's (client area and menu bar). Positions are the X window's own, not
// those of the window manager's frame (static gravity), so moving the window, or growing it
// upwards for a menu bar, does not shift it by the frame's decorations.
void set_size_hints(Display* d, Window w, const Rect& area, bool resizable) {
  XSizeHints hints{};
  hints.flags = PPosition | USPosition | PWinGravity;
  hints.win_gravity = StaticGravity;
  hints.x = area.left;
  hints.y = area.top;
  if (!resizable) {
    hints.flags |= PMinSize | PMaxSize;
    hints.min_width = hints.max_width = std::max(1, area.width());
    hints.min_height = hints.max_height = std::max(1, area.height());
  }
  XSetWMNormalHints(d, w, &hints);
}

// What a desktop program tells the window manager of each of its windows: it takes keyboard
// input (without the hint a window manager may never give it the focus) and starts out
// normal, not iconic; the program's instance and class names.
void set_wm_hints(Display* d, Window w) {
  XWMHints wm{};
  wm.flags = InputHint | StateHint;
  wm.input = True;
  wm.initial_state = NormalState;
  XSetWMHints(d, w, &wm);
  char name[] = "varqen", cls[] = "Varqen";
  XClassHint class_hint{name, cls};
  XSetClassHint(d, w, &class_hint);
}

}  // namespace

void X11Backend::on_connection_lost(ConnectionLost handler) { connection_lost.store(handler); }

X11Backend::X11Backend(std::string display_name) : display_name_(std::move(display_name)) {}

X11Backend::~X11Backend() { close(); }

bool X11Backend::open() {
  std::lock_guard<std::mutex> g(mutex_);
  if (display_) return true;
  XSetErrorHandler(ignore_x_error);
  const XIOErrorHandler previous = XSetIOErrorHandler(io_error);
  if (previous != io_error) xlib_io_handler.store(previous);
  display_ = XOpenDisplay(display_name_.empty() ? nullptr : display_name_.c_str());
  if (!display_) return false;
  const int screen = DefaultScreen(display_);
  Visual* visual = DefaultVisual(display_, screen);
  // Pages are shown without conversion: only 24-bit TrueColor with 0x00RRGGBB pixels fits.
  if (DefaultDepth(display_, screen) != kPageDepth || visual->red_mask != 0xFF0000 ||
      visual->green_mask != 0xFF00 || visual->blue_mask != 0xFF ||
      ImageByteOrder(display_) != LSBFirst || pipe2(wake_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    XCloseDisplay(display_);
    display_ = nullptr;
    return false;
  }
  root_ = RootWindow(display_, screen);
  atoms_.wm_protocols = XInternAtom(display_, "WM_PROTOCOLS", False);
  atoms_.wm_delete = XInternAtom(display_, "WM_DELETE_WINDOW", False);
  atoms_.wm_take_focus = XInternAtom(display_, "WM_TAKE_FOCUS", False);
  atoms_.net_wm_name = XInternAtom(display_, "_NET_WM_NAME", False);
  atoms_.utf8 = XInternAtom(display_, "UTF8_STRING", False);
  atoms_.clipboard = XInternAtom(display_, "CLIPBOARD", False);
  atoms_.targets = XInternAtom(display_, "TARGETS", False);
  atoms_.string = XA_STRING;
  atoms_.property = XInternAtom(display_, "VARQEN_SELECTION", False);
  clipboard_window_ = XCreateSimpleWindow(display_, root_, 0, 0, 1, 1, 0, 0, 0);
  XSelectInput(display_, clipboard_window_, PropertyChangeMask);
  sync();
  return true;
}

void X11Backend::close() {
  std::lock_guard<std::mutex> g(mutex_);
  if (!display_) return;
  for (auto& [hwnd, n] : natives_) XDestroyWindow(display_, n.xwin);
  natives_.clear();
  menus_shown_.clear();
  for (auto& [shape, cursor] : cursors_) XFreeCursor(display_, cursor);
  cursors_.clear();
  XDestroyWindow(display_, clipboard_window_);
  XCloseDisplay(display_);
  display_ = nullptr;
  for (int& fd : wake_pipe_) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

Size X11Backend::screen_size() const {
  std::lock_guard<std::mutex> g(mutex_);
  if (!display_) return {};
  const int s = DefaultScreen(display_);
  return {DisplayWidth(display_, s), DisplayHeight(display_, s)};
}

int32_t X11Backend::dpi() const {
  std::lock_guard<std::mutex> g(mutex_);
  if (!display_) return 96;
  const int s = DefaultScreen(display_);
  const int mm = DisplayWidthMM(display_, s);
  // A screen that reports no physical size counts as the classic 96 dots per inch.
  if (mm <= 0) return 96;
  return static_cast<int32_t>(std::lround(DisplayWidth(display_, s) * 25.4 / mm));
}

// Waits until the server has carried out every request so far, so what a call changed is on
// the screen when it returns (and other clients see it); events read meanwhile wake the pump.
void X11Backend::sync() {
  XSync(display_, False);
  wake_if_queued();
}

X11Backend::Native* X11Backend::native(Hwnd window) {
  auto it = natives_.find(window);
  return it == natives_.end() ? nullptr : &it->second;
}

Hwnd X11Backend::by_xwin(XID xwin) const {
  for (const auto& [hwnd, n] : natives_)
    if (n.xwin == xwin) return hwnd;
  return 0;
}

XID X11Backend::x_window(Hwnd window) const {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = natives_.find(window);
  return it == natives_.end() ? 0 : it->second.xwin;
}

bool X11Backend::create_native(Hwnd window, const NativeWindow& params) {
  std::lock_guard<std::mutex> g(mutex_);
  if (!display_ || natives_.count(window)) return false;
  XSetWindowAttributes attrs{};
  attrs.background_pixel = 0;
  const bool popup = params.kind == NativeKind::Popup || params.kind == NativeKind::Menu;
  attrs.override_redirect = popup ? True : False;
  attrs.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask |
                     ButtonReleaseMask | PointerMotionMask | StructureNotifyMask | FocusChangeMask;
  const Rect& c = params.client;
  const Window xwin = XCreateWindow(display_,
                                    root_,
                                    c.left,
                                    c.top,
                                    std::max(1, c.width()),
                                    std::max(1, c.height()),
                                    0,
                                    CopyFromParent,
                                    InputOutput,
                                    CopyFromParent,
                                    CWBackPixel | CWOverrideRedirect | CWEventMask,
                                    &attrs);
  if (xwin == 0) return false;
  Atom protocols[] = {static_cast<Atom>(atoms_.wm_delete), static_cast<Atom>(atoms_.wm_take_focus)};
  XSetWMProtocols(display_, xwin, protocols, 2);
  set_size_hints(display_, xwin, c, params.resizable);
  if (!popup) set_wm_hints(display_, xwin);
  if (params.kind == NativeKind::Dialog) {
    if (Native* owner = native(params.owner)) XSetTransientForHint(display_, xwin, owner->xwin);
  }
  Native& n = natives_[window];
  n.xwin = xwin;
  n.frame = params.frame;
  n.client = c;
  n.resizable = params.resizable;
  n.menu = params.kind == NativeKind::Menu;
  n.on_screen = x_area(n);
  XStoreName(display_, xwin, params.title.c_str());
  XChangeProperty(display_,
                  xwin,
                  atoms_.net_wm_name,
                  atoms_.utf8,
                  8,
                  PropModeReplace,
                  reinterpret_cast<const unsigned char*>(params.title.data()),
                  static_cast<int>(params.title.size()));
  sync();
  return true;
}

void X11Backend::destroy_native(Hwnd window) {
  std::lock_guard<std::mutex> g(mutex_);
  Native* n = native(window);
  if (!n) return;
  XDestroyWindow(display_, n->xwin);
  natives_.erase(window);
  if (focus_pending_ == window) focus_pending_ = 0;
  track_menu(window, false);
  sync();
}

void X11Backend::set_native_title(Hwnd window, const std::string& title) {
  std::lock_guard<std::mutex> g(mutex_);
  Native* n = native(window);
  if (!n) return;
  XStoreName(display_, n->xwin, title.c_str());
  XChangeProperty(display_,
                  n->xwin,
                  atoms_.net_wm_name,
                  atoms_.utf8,
                  8,
                  PropModeReplace,
                  reinterpret_cast<const unsigned char*>(title.data()),
                  static_cast<int>(title.size()));
  sync();
}

void X11Backend::show_native(Hwnd window, bool visible) {
  std::lock_guard<std::mutex> g(mutex_);
  Native* n = native(window);
  if (!n || (n->mapped == visible && !n->iconic)) return;
  n->mapped = visible;
  n->iconic = false;
  if (visible) {
    XMapRaised(display_, n->xwin);
  } else {
    XUnmapWindow(display_, n->xwin);
    if (focus_pending_ == window) focus_pending_ = 0;
  }
  if (n->menu) track_menu(window, visible);
  sync();
}

// An open menu grabs the pointer (its events reported as usual on the program's own windows),
// so a press outside every window of the program reaches it and closes the menus. X ends the
// grab when the grabbing menu is unmapped; a menu still open below it takes the grab back.
void X11Backend::track_menu(Hwnd window, bool shown) {
  const auto it = std::find(menus_shown_.begin(), menus_shown_.end(), window);
  if (shown == (it != menus_shown_.end())) return;
  if (shown) {
    menus_shown_.push_back(window);
  } else {
    menus_shown_.erase(it);
    if (menus_shown_.empty()) return;
  }
  // A pop-up is mapped at once (the window manager leaves it alone), so it can grab now.
  const Native* n = native(menus_shown_.back());
  if (!n) return;
  XGrabPointer(display_,
               n->xwin,
               True,
               ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
               GrabModeAsync,
               GrabModeAsync,
               None,
               None,
               CurrentTime);
}

void X11Backend::move_native(Hwnd window, const Rect& frame, const Rect& client) {
  std::lock_guard<std::mutex> g(mutex_);
  Native* n = native(window);
  if (!n) return;
  n->frame = frame;
  n->client = client;
  place(*n);
  sync();
}

Rect X11Backend::x_rect(const Native& n) {
  return Rect{n.client.left, n.client.top - n.bar.height(), n.client.right, n.client.bottom};
}

Rect X11Backend::x_area(const Native& n) {
  const Rect r = x_rect(n);
  return Rect{r.left, r.top, r.left + std::max(1, r.width()), r.top + std::max(1, r.height())};
}

void X11Backend::place(Native& n) {
  const Rect r = x_area(n);
  // The hints first: a window manager holds a fixed-size window to the size they give.
  set_size_hints(display_, n.xwin, r, n.resizable);
  // The same place again (the window system often confirms a move with a resize) changes
  // nothing on the server, which then reports nothing.
  if (n.requested.empty() || n.requested.back().area != r)
    n.requested.push_back(Request{NextRequest(display_), r});
  if (n.requested.size() > kMaxRequested) {
    n.forgotten = n.requested.front().serial;
    n.requested.pop_front();
  }
  XMoveResizeWindow(display_,
                    n.xwin,
                    r.left,
                    r.top,
                    static_cast<unsigned>(r.width()),
                    static_cast<unsigned>(r.height()));
}

void X11Backend::raise_native(Hwnd window) {
  std::lock_guard<std::mutex> g(mutex_);
  if (Native* n = native(window)) {
    XRaiseWindow(display_, n->xwin);
    sync();
  }
}

// A window the server does not show yet cannot take the focus (an X error). Under a window
// manager that is the normal case for a window just shown, whose mapping waits for the
// manager; and a window may be asked to take the focus just before it is shown. The focus is
// then remembered and given when the server shows the window. The last request wins: a later
// focus on another window cancels a remembered one, and so does hiding the window.
void X11Backend::focus_native(Hwnd window) {
  std::lock_guard<std::mutex> g(mutex_);
  Native* n = native(window);
  focus_pending_ = 0;
  if (!n) return;
  if (!n->mapped || !viewable(*n)) {
    focus_pending_ = window;
    return;
  }
  XSetInputFocus(display_, n->xwin, RevertToParent, CurrentTime);
  sync();
}

bool X11Backend::viewable(const Native& n) {
  XWindowAttributes a{};
  return XGetWindowAttributes(display_, n.xwin, &a) != 0 && a.map_state == IsViewable;
}

void X11Backend::give_pending_focus(Hwnd window) {
  if (focus_pending_ == 0 || focus_pending_ != window) return;
  const Native* n = native(window);
  if (!n || !viewable(*n)) return;  // mapped inside a frame not yet shown: wait for Expose
  focus_pending_ = 0;
  XSetInputFocus(display_, n->xwin, RevertToParent, CurrentTime);
}

void X11Backend::put(const Native& n, const Page& page, const Rect& area, int32_t top) {
  const Rect r = intersect(area, Rect{0, 0, page.width(), page.height()});
  if (r.empty()) return;
  XImage* image = XCreateImage(display_,
                               DefaultVisual(display_, DefaultScreen(display_)),
                               24,
                               ZPixmap,
                               0,
                               reinterpret_cast<char*>(const_cast<Pixel*>(page.data())),
                               static_cast<unsigned>(page.width()),
                               static_cast<unsigned>(page.height()),
                               32,
                               page.width() * 4);
  if (!image) return;
  XPutImage(display_,
            n.xwin,
            DefaultGC(display_, DefaultScreen(display_)),
            image,
            r.left,
            r.top,
            r.left,
            r.top + top,
            static_cast<unsigned>(r.width()),
            static_cast<unsigned>(r.height()));
  image->data = nullptr;  // the page owns the pixels
  XDestroyImage(image);
}

void X11Backend::repaint(const Native& n, const Rect& area) {
  const int32_t bar = n.bar.height();
  put(n, n.bar, area, 0);
  put(n, n.shown, area.translated(0, -bar), bar);
}

void X11Backend::present(Hwnd window, const Page& surface, const Rect& dirty) {
  std::lock_guard<std::mutex> g(mutex_);
  Native* n = native(window);
  if (!n) return;
  Rect area = dirty;
  if (n->shown.width() != surface.width() || n->shown.height() != surface.height()) {
    n->shown = surface;  // a new size: the whole picture changes
    area = Rect{0, 0, surface.width(), surface.height()};
  } else {
    const Rect r = intersect(dirty, Rect{0, 0, surface.width(), surface.height()});
    for (int32_t y = r.top; y < r.bottom; ++y)
      std::copy(surface.row(y) + r.left, surface.row(y) + r.right, n->shown.row(y) + r.left);
  }
  put(*n, n->shown, area, n->bar.height());
  sync();
}

// A bar that appears, goes or changes height moves the X window's top edge, so the client
// area stays where it is on the screen, with its size (as the platform's frame grows).
void X11Backend::present_menu_bar(Hwnd window, const Page& bar) {
  std::lock_guard<std::mutex> g(mutex_);
  Native* n = native(window);
  if (!n) return;
  const bool moved = bar.height() != n->bar.height();
  n->bar = bar;
  if (moved) place(*n);
  put(*n, n->bar, Rect{0, 0, bar.width(), bar.height()}, 0);
  sync();
}

void X11Backend::set_cursor(Hwnd window, CursorShape shape) {
  std::lock_guard<std::mutex> g(mutex_);
  Native* n = native(window);
  if (!n) return;
  auto it = cursors_.find(static_cast<int32_t>(shape));
  if (it == cursors_.end())
    it = cursors_
             .emplace(static_cast<int32_t>(shape), XCreateFontCursor(display_, cursor_glyph(shape)))
             .first;
  XDefineCursor(display_, n->xwin, it->second);
  sync();
}

}  // namespace platform
