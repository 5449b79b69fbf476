#include "toolkit/mouse.hpp"

#include <mutex>

#include "platform/window_system.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/gk_wndproc.hpp"

namespace gk {
namespace {

using namespace platform;

bool is_wheel(int32_t kind) { return kind == kMouseWheel || kind == kMouseHWheel; }

// The queue of a kind, null for kinds outside 512..526.
MouseQueue* queue_of(WindowData& rec, int32_t kind) {
  if (kind < kMouseFirst || kind >= kMouseFirst + kMouseKinds) return nullptr;
  return &rec.mouse[kind - kMouseFirst];
}

template <class F>
void on_current(F&& f) {
  if (WindowRef rec = GK__GetWindowDataPtrOrNull(0)) f(*rec);
}

// Window thread: queues the point, records the position and runs the handlers.
bool on_mouse(
    WindowData& rec, Hwnd window, uint32_t message, uint64_t wp, int64_t lp, int64_t& result) {
  const int32_t kind = static_cast<int32_t>(message);
  MouseQueue* q = queue_of(rec, kind);
  if (!q) return false;
  Point p{point_x(lp), point_y(lp)};
  if (is_wheel(kind)) {  // the platform gives wheel points on the screen
    const Point o = window_system->client_origin(window);
    p = {static_cast<int16_t>(p.x - o.x), static_cast<int16_t>(p.y - o.y)};
  }
  MouseHandler by_value;
  MouseHandlerRef by_reference;
  {
    std::lock_guard<std::mutex> g(rec.mouse_lock);
    if (q->keep_all == 0 && !q->points.empty()) q->points.pop_back();
    if (static_cast<int32_t>(q->points.size()) < kMouseQueueSize) q->points.push_front(p);
    by_value = q->handler;
    by_reference = q->handler_ref;
  }
  rec.last_mouse_position = static_cast<int32_t>(pack_point(p.x, p.y));
  int32_t x = p.x, y = p.y;
  if (is_wheel(kind)) {
    x = static_cast<int16_t>((wp >> 16) & 0xFFFF);  // the rotation
    y = 0;
  }
  if (by_value) by_value(x, y);
  if (by_reference) {
    int32_t cx = x, cy = y;
    by_reference(&cx, &cy);
  }
  if (message != kMsgLButtonDblClk) return false;  // on to default processing
  result = 0;
  return true;
}

CursorShape shape_of(int32_t shape) {
  static constexpr CursorShape kShapes[] = {CursorShape::Arrow,
                                            CursorShape::Cross,
                                            CursorShape::IBeam,
                                            CursorShape::Hand,
                                            CursorShape::Help,
                                            CursorShape::Wait,
                                            CursorShape::No,
                                            CursorShape::SizeNS,
                                            CursorShape::SizeWE,
                                            CursorShape::SizeNWSE,
                                            CursorShape::SizeNESW};
  return shape >= 0 && shape < kCursorShapes ? kShapes[shape] : CursorShape::Arrow;
}

constexpr int32_t kWaitCursor = 5;

// Shows the cursor and returns the one shown before (as setcursor numbers).
int32_t show_cursor(WindowData& rec, int32_t shape) {
  if (shape < 0 || shape >= kCursorShapes) shape = 0;
  const int32_t before = rec.cursor_shape.exchange(shape);
  window_system->send_message(rec.hwnd, kMsgSetCursor, static_cast<uint64_t>(shape_of(shape)));
  return before;
}

}  // namespace

int32_t ismouseclick(int32_t kind) {
  int32_t answer = 0;
  on_current([&](WindowData& rec) {
    MouseQueue* q = queue_of(rec, kind);
    if (!q || is_wheel(kind)) return;
    std::lock_guard<std::mutex> g(rec.mouse_lock);
    answer = q->points.empty() ? 0 : 1;
  });
  return answer;
}

void getmouseclick(int32_t kind, int32_t* x, int32_t* y) {
  Point p{-1, -1};
  on_current([&](WindowData& rec) {
    MouseQueue* q = queue_of(rec, kind);
    if (!q || is_wheel(kind)) return;
    std::lock_guard<std::mutex> g(rec.mouse_lock);
    if (q->points.empty()) return;
    p = q->points.back();
    q->points.pop_back();
  });
  if (x) *x = p.x;
  if (y) *y = p.y;
}

void clearmouseclickwindow(WindowData& rec, int32_t kind) {
  MouseQueue* q = queue_of(rec, kind);
  if (!q || is_wheel(kind)) return;
  std::lock_guard<std::mutex> g(rec.mouse_lock);
  if (!q->points.empty()) q->points.pop_back();
}

void clearmouseclick(int32_t kind) {
  on_current([&](WindowData& rec) { clearmouseclickwindow(rec, kind); });
}

void setmousequeuestatus(int32_t kind, int32_t flag) {
  on_current([&](WindowData& rec) {
    MouseQueue* q = queue_of(rec, kind);
    if (!q || is_wheel(kind)) return;
    std::lock_guard<std::mutex> g(rec.mouse_lock);
    q->keep_all = static_cast<uint8_t>(flag);
  });
}

int32_t mousex() {
  int32_t x = 0;
  on_current([&](WindowData& rec) { x = point_x(rec.last_mouse_position); });
  return x;
}

int32_t mousey() {
  int32_t y = 0;
  on_current([&](WindowData& rec) { y = point_y(rec.last_mouse_position); });
  return y;
}

void registermousehandler(int32_t kind, MouseHandler handler) {
  on_current([&](WindowData& rec) {
    MouseQueue* q = queue_of(rec, kind);
    if (!q) return;
    std::lock_guard<std::mutex> g(rec.mouse_lock);
    q->handler = std::move(handler);
  });
}

void registermousehandler_ptr(int32_t kind, const MouseHandlerRef* handler) {
  on_current([&](WindowData& rec) {
    MouseQueue* q = queue_of(rec, kind);
    if (!q) return;
    std::lock_guard<std::mutex> g(rec.mouse_lock);
    q->handler_ref = handler ? *handler : MouseHandlerRef();
  });
}

void setcursor(int32_t shape) {
  on_current([&](WindowData& rec) { show_cursor(rec, shape); });
}

WaitCursor::WaitCursor() : window_(GK__GetWindowDataPtrOrNull(0)) {
  if (window_) previous_ = show_cursor(*window_, kWaitCursor);
}

WaitCursor::~WaitCursor() {
  if (window_) show_cursor(*window_, previous_);
}

void install_mouse() { hooks.mouse = on_mouse; }

}  // namespace gk
