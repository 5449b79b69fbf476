#include "platform/window_system.hpp"

#include <algorithm>
#include <chrono>
#include <utility>

#include "platform/controls/control_classes.hpp"
#include "platform/print/lp_spooler.hpp"
#include "platform/sync.hpp"
#include "platform/window_internal.hpp"

namespace platform {
namespace {

int64_t monotonic_now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

Rect unite(const Rect& a, const Rect& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return {std::min(a.left, b.left),
          std::min(a.top, b.top),
          std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

std::string file_dialog_title(const FileDialogRequest& request) {
  if (!request.title.empty()) return request.title;
  return request.save ? "Save As" : "Open";
}

DialogAnswer default_answer(DialogButtons buttons) {
  switch (buttons) {
    case DialogButtons::Ok:
    case DialogButtons::OkCancel:
      return DialogAnswer::Ok;
    case DialogButtons::YesNo:
    case DialogButtons::YesNoCancel:
      return DialogAnswer::Yes;
  }
  return DialogAnswer::Ok;
}

WindowSystem::WindowSystem(Backend& backend, DialogProvider& dialogs)
    : backend_(backend), dialogs_(dialogs) {
  register_control_classes(*this);
  register_class(kClassMenuPopup, 0, [this](Hwnd w, uint32_t m, uint64_t wp, int64_t lp) {
    return menu_popup_proc(*this, w, m, wp, lp);
  });
  pump_thread_ = std::thread([this] { run_pump(); });
}

WindowSystem::~WindowSystem() {
  pumping_ = false;
  backend_.wake();
  pump_thread_.join();
}

void WindowSystem::run_pump() {
  // Short slices keep the loop responsive to `pumping_` even if a backend misses a wake-up.
  constexpr int64_t kSliceMs = 50;
  while (pumping_) backend_.pump(monotonic_now_ms() + kSliceMs, *this);
}

Spooler& WindowSystem::spooler() {
  std::lock_guard<std::mutex> g(print_mutex_);
  if (spooler_) return *spooler_;
  if (!system_spooler_) system_spooler_ = std::make_unique<LpSpooler>();
  return *system_spooler_;
}

void WindowSystem::set_spooler(Spooler* spooler) {
  std::lock_guard<std::mutex> g(print_mutex_);
  spooler_ = spooler;
}

std::shared_ptr<Printer> WindowSystem::open_printer(const PrintDialogAnswer& answer) {
  PrinterOpener opener;
  {
    std::lock_guard<std::mutex> g(print_mutex_);
    opener = printer_opener_;
  }
  if (opener) return opener(answer);
  if (answer.printer.empty()) return std::make_shared<PdfPrinter>(answer.file);
  return std::make_shared<SpoolerPrinter>(spooler(), answer.printer);
}

void WindowSystem::set_printer_opener(PrinterOpener opener) {
  std::lock_guard<std::mutex> g(print_mutex_);
  printer_opener_ = std::move(opener);
}

std::string WindowSystem::last_printer() {
  {
    std::lock_guard<std::mutex> g(print_mutex_);
    if (last_printer_) return *last_printer_;
  }
  // Asked outside the lock: the spooler may run a command.
  const std::string found = spooler().default_destination().value_or("");
  std::lock_guard<std::mutex> g(print_mutex_);
  if (!last_printer_) last_printer_ = found;
  return *last_printer_;
}

void WindowSystem::remember_printer(const std::string& printer) {
  std::lock_guard<std::mutex> g(print_mutex_);
  last_printer_ = printer;
}

bool WindowSystem::register_class(const std::string& name, uint32_t class_style, WindowProc proc) {
  std::lock_guard<std::mutex> g(mutex_);
  return classes_.emplace(name, WindowClass{class_style, std::move(proc)}).second;
}

bool WindowSystem::unregister_class(const std::string& name) {
  std::lock_guard<std::mutex> g(mutex_);
  return classes_.erase(name) != 0;
}

std::shared_ptr<WindowSystem::Window> WindowSystem::find(Hwnd window) const {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : it->second;
}

Hwnd WindowSystem::create_window(const CreateWindowParams& params) {
  auto w = std::make_shared<Window>();
  {
    std::lock_guard<std::mutex> g(mutex_);
    auto cls = classes_.find(params.class_name);
    if (cls == classes_.end()) return 0;
    if (params.parent != 0 && windows_.count(params.parent) == 0) return 0;
    w->hwnd = next_handle_++;
    w->parent = params.parent;
    w->class_name = params.class_name;
    w->class_style = cls->second.style;
    w->proc = cls->second.proc;
    w->style = params.style & ~kStyleVisible;
    w->text = params.title;
    w->frame = params.frame;
  }
  w->owner = current_thread_id();
  w->queue = ThreadQueue::current();

  // The tracking limits apply to the first size too.
  MinMaxInfo limits{};
  {
    std::lock_guard<std::mutex> g(mutex_);
    windows_.emplace(w->hwnd, w);
  }
  call_proc(w->hwnd, kMsgGetMinMaxInfo, 0, reinterpret_cast<int64_t>(&limits));
  {
    std::lock_guard<std::mutex> g(mutex_);
    Rect& f = w->frame;
    f.right = f.left + std::clamp(f.width(), 0, std::max(0, limits.max_track.x));
    f.bottom = f.top + std::clamp(f.height(), 0, std::max(0, limits.max_track.y));
    if (params.parent != 0) {
      auto parent = windows_.find(params.parent);
      if (parent == windows_.end()) {  // the parent went away meanwhile
        windows_.erase(w->hwnd);
        return 0;
      }
      parent->second->children.push_back(w->hwnd);
    }
  }
  if (params.parent == 0) {
    const Rect client = client_for_frame(w->style, w->frame);
    {
      std::lock_guard<std::mutex> g(w->surface_mutex);
      w->surface = Page(client.width(), client.height());
    }
    NativeWindow native;
    {
      std::lock_guard<std::mutex> g(mutex_);
      native.frame = w->frame;
      native.client = client_for_frame(w->style, w->frame);
      native.title = w->text;
      native.resizable = (w->style & kStyleThickFrame) != 0;
    }
    native.owner = params.owner;
    // A pop-up without a caption (a menu, a drop-down list) is placed by the program alone.
    const bool popup =
        (params.style & kStylePopup) != 0 && (params.style & kStyleCaption) != kStyleCaption;
    const bool menu = params.class_name == kClassMenuPopup || params.class_name == kClassComboList;
    native.kind = menu                ? NativeKind::Menu
                  : popup             ? NativeKind::Popup
                  : params.owner != 0 ? NativeKind::Dialog
                                      : NativeKind::TopLevel;
    if (native.kind == NativeKind::Dialog) {
      std::lock_guard<std::mutex> g(mutex_);
      w->dialog_owner = params.owner;
    }
    if (!backend_.create_native(w->hwnd, native)) {
      std::lock_guard<std::mutex> g(mutex_);
      windows_.erase(w->hwnd);
      return 0;
    }
  }
  return w->hwnd;
}

bool WindowSystem::destroy_window(Hwnd window) {
  auto w = find(window);
  if (!w || w->owner != current_thread_id()) return false;
  std::vector<Hwnd> kids;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (w->destroying) return true;  // already on its way (a destroy from its own handler)
    w->destroying = true;
  }
  call_proc(window, kMsgDestroy, 0, 0);
  if (w->parent == 0) close_menus(window);
  Hmenu bar = 0;
  {
    std::lock_guard<std::mutex> g(mutex_);
    kids = w->children;
    std::swap(bar, w->menu);
  }
  if (bar != 0) menus_.destroy(bar);  // a window's menu bar goes with it
  for (Hwnd k : kids) destroy_window(k);
  {
    std::lock_guard<std::mutex> g(mutex_);
    windows_.erase(window);
    if (w->parent != 0) {
      auto p = windows_.find(w->parent);
      if (p != windows_.end()) std::erase(p->second->children, window);
    }
    if (focus_ == window) focus_ = 0;
    if (active_ == window) active_ = 0;
    if (last_press_.window == window) last_press_ = {};
    if (drag_window_ == window) drag_window_ = 0;
    if (capture_ == window) capture_ = 0;
    w->user_data.reset();
    w->class_data.reset();
  }
  if (w->parent == 0) backend_.destroy_native(window);
  return true;
}

bool WindowSystem::is_window(Hwnd window) const { return find(window) != nullptr; }

ThreadId WindowSystem::window_thread(Hwnd window) const {
  auto w = find(window);
  return w ? w->owner : 0;
}

Hwnd WindowSystem::parent(Hwnd window) const {
  auto w = find(window);
  return w ? w->parent : 0;
}

std::vector<Hwnd> WindowSystem::children(Hwnd window) const {
  auto w = find(window);
  if (!w) return {};
  std::lock_guard<std::mutex> g(mutex_);
  return w->children;
}

uint32_t WindowSystem::style(Hwnd window) const {
  auto w = find(window);
  if (!w) return 0;
  std::lock_guard<std::mutex> g(mutex_);
  return w->style;
}

void WindowSystem::set_style(Hwnd window, uint32_t style) {
  auto w = find(window);
  if (!w) return;
  Rect frame;
  {
    std::lock_guard<std::mutex> g(mutex_);
    // The client area keeps its place and size; the frame grows or shrinks around it.
    const Rect client = client_of(*w);
    w->style = style;
    w->frame = frame_for_client(style, client, w->menu != 0);
    frame = w->frame;
  }
  if (w->parent == 0) place_native(*w, frame, client_for_frame(style, frame, menu(window) != 0));
}

void WindowSystem::set_user_data(Hwnd window, std::shared_ptr<void> data) {
  auto w = find(window);
  if (!w) return;
  std::lock_guard<std::mutex> g(mutex_);
  w->user_data = std::move(data);
}

std::shared_ptr<void> WindowSystem::user_data(Hwnd window) const {
  auto w = find(window);
  if (!w) return nullptr;
  std::lock_guard<std::mutex> g(mutex_);
  return w->user_data;
}

void WindowSystem::set_class_data(Hwnd window, std::shared_ptr<void> data) {
  auto w = find(window);
  if (!w) return;
  std::lock_guard<std::mutex> g(mutex_);
  w->class_data = std::move(data);
}

std::shared_ptr<void> WindowSystem::class_data(Hwnd window) const {
  auto w = find(window);
  if (!w) return nullptr;
  std::lock_guard<std::mutex> g(mutex_);
  return w->class_data;
}

std::string WindowSystem::class_name(Hwnd window) const {
  auto w = find(window);
  return w ? w->class_name : std::string();
}

Hwnd WindowSystem::root(Hwnd window) const {
  std::lock_guard<std::mutex> g(mutex_);
  for (Hwnd h = window; h != 0;) {
    auto it = windows_.find(h);
    if (it == windows_.end()) return 0;
    if (it->second->parent == 0) return h;
    h = it->second->parent;
  }
  return 0;
}

Point WindowSystem::offset_in_root(Hwnd window) const {
  std::lock_guard<std::mutex> g(mutex_);
  Point p;
  for (Hwnd h = window; h != 0;) {
    auto it = windows_.find(h);
    if (it == windows_.end() || it->second->parent == 0) break;
    const Rect c = client_for_frame(it->second->style, it->second->frame);
    p = {p.x + c.left, p.y + c.top};
    h = it->second->parent;
  }
  return p;
}

Hwnd WindowSystem::capture() const {
  std::lock_guard<std::mutex> g(mutex_);
  return capture_;
}

bool WindowSystem::set_text(Hwnd window, const std::string& text) {
  auto w = find(window);
  if (!w) return false;
  {
    std::lock_guard<std::mutex> g(mutex_);
    w->text = text;
  }
  if (w->parent == 0) backend_.set_native_title(window, text);
  return true;
}

std::string WindowSystem::text(Hwnd window) const {
  auto w = find(window);
  if (!w) return {};
  std::lock_guard<std::mutex> g(mutex_);
  return w->text;
}

Rect WindowSystem::frame_rect(Hwnd window) const {
  auto w = find(window);
  if (!w) return {};
  std::lock_guard<std::mutex> g(mutex_);
  return w->frame;
}

Rect WindowSystem::client_rect(Hwnd window) const {
  auto w = find(window);
  if (!w) return {};
  std::lock_guard<std::mutex> g(mutex_);
  const Rect c = client_of(*w);
  return {0, 0, c.width(), c.height()};
}

Point WindowSystem::client_origin(Hwnd window) const {
  std::lock_guard<std::mutex> g(mutex_);
  // A child's client area lies in its parent's: the offsets add up to the top-level window's.
  Point p;
  for (Hwnd h = window; h != 0;) {
    auto it = windows_.find(h);
    if (it == windows_.end()) return {};
    const Rect c = client_of(*it->second);
    p = {p.x + c.left, p.y + c.top};
    h = it->second->parent;
  }
  return p;
}

bool WindowSystem::is_minimized(Hwnd window) const {
  auto w = find(window);
  if (!w) return false;
  std::lock_guard<std::mutex> g(mutex_);
  return w->minimized;
}

bool WindowSystem::is_maximized(Hwnd window) const {
  auto w = find(window);
  if (!w) return false;
  std::lock_guard<std::mutex> g(mutex_);
  return w->maximized;
}

bool WindowSystem::show_window(Hwnd window, bool visible) {
  auto w = find(window);
  if (!w) return false;
  bool was_visible;
  bool first;
  {
    std::lock_guard<std::mutex> g(mutex_);
    was_visible = (w->style & kStyleVisible) != 0;
    w->style = visible ? (w->style | kStyleVisible) : (w->style & ~kStyleVisible);
    first = visible && !w->shown_once;
    if (visible) w->shown_once = true;
  }
  if (w->parent == 0) backend_.show_native(window, visible);
  if (w->parent != 0 && was_visible && !visible) {
    const Rect place = frame_rect(window);  // the parent shows again what the child covered
    invalidate(w->parent, &place);
  }
  if (first) {
    const Rect c = client_rect(window);
    send_message(window, kMsgSize, kSizeRestored, pack_point(c.width(), c.height()) & 0xFFFFFFFF);
  }
  if (visible) invalidate(window, nullptr);
  return was_visible;
}

bool WindowSystem::is_visible(Hwnd window) const { return (style(window) & kStyleVisible) != 0; }

bool WindowSystem::enable_window(Hwnd window, bool enable) {
  auto w = find(window);
  if (!w) return false;
  bool was_disabled;
  {
    std::lock_guard<std::mutex> g(mutex_);
    was_disabled = (w->style & kStyleDisabled) != 0;
    w->style = enable ? (w->style & ~kStyleDisabled) : (w->style | kStyleDisabled);
  }
  if (was_disabled == enable) send_message(window, kMsgEnable, enable ? 1 : 0, 0);
  return was_disabled;
}

bool WindowSystem::is_enabled(Hwnd window) const {
  return is_window(window) && (style(window) & kStyleDisabled) == 0;
}

Hwnd WindowSystem::set_focus(Hwnd window) {
  Hwnd previous;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (window != 0 && windows_.count(window) == 0) return 0;
    previous = focus_;
    focus_ = window;
  }
  if (previous == window) return previous;
  if (previous != 0) send_message(previous, kMsgKillFocus, window, 0);
  if (window != 0) send_message(window, kMsgSetFocus, previous, 0);
  return previous;
}

Hwnd WindowSystem::focus() const {
  std::lock_guard<std::mutex> g(mutex_);
  return focus_;
}

bool WindowSystem::activate(Hwnd window) {
  Hwnd previous;
  {
    std::lock_guard<std::mutex> g(mutex_);
    auto it = windows_.find(window);
    if (it == windows_.end() || it->second->parent != 0) return false;
    previous = active_;
    active_ = window;
  }
  if (previous == window) return true;
  if (previous != 0) post_message(previous, kMsgActivate, 0, static_cast<int64_t>(window));
  post_message(window, kMsgActivate, 1, static_cast<int64_t>(previous));
  backend_.raise_native(window);
  backend_.focus_native(window);
  return true;
}

Hwnd WindowSystem::active_window() const {
  std::lock_guard<std::mutex> g(mutex_);
  return active_;
}

int64_t WindowSystem::call_proc(Hwnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
  auto w = find(window);
  if (!w) return 0;
  WindowProc proc;  // a copy: the procedure may replace itself while it runs
  {
    std::lock_guard<std::mutex> g(mutex_);
    proc = w->proc;
  }
  if (!proc) return default_window_proc(window, message, wparam, lparam);
  return proc(window, message, wparam, lparam);
}

WindowProc WindowSystem::set_window_proc(Hwnd window, WindowProc proc) {
  auto w = find(window);
  if (!w || !proc || w->owner != current_thread_id()) return nullptr;
  std::lock_guard<std::mutex> g(mutex_);
  std::swap(w->proc, proc);
  return proc;
}

void WindowSystem::serve(SentMessage& sent) {
  const Message& m = sent.message;
  ThreadQueue::complete(sent, call_proc(m.hwnd, m.message, m.wparam, m.lparam));
}

int64_t WindowSystem::send_message(Hwnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
  auto w = find(window);
  if (!w) return 0;  // a destroyed target answers 0 at once
  if (w->owner == current_thread_id()) return call_proc(window, message, wparam, lparam);
  auto me = ThreadQueue::current();
  auto sent = std::make_shared<SentMessage>();
  sent->system = this;
  sent->message = {window, message, wparam, lparam, 0};
  sent->sender = me;
  if (!w->queue->add_sent(sent)) return 0;
  while (!me->wait_answer(*sent)) {
    // Serve what other threads send us while we wait (their sends may be what ours needs).
    while (auto other = me->take_sent()) other->system->serve(*other);
  }
  return sent->result;
}

bool WindowSystem::post_message(Hwnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
  auto w = find(window);
  if (!w) return false;  // posts to a destroyed window are dropped
  return w->queue->post({window, message, wparam, lparam, 0});
}

bool WindowSystem::get_message(Message& out) {
  auto q = ThreadQueue::current();
  for (;;) {
    if (auto sent = q->take_sent()) {
      sent->system->serve(*sent);
      continue;
    }
    if (q->take_posted(out)) {
      if (out.message == kMsgSync && q->has_paint()) {
        q->post_next(out);  // a sync marker waits for pending paint, so tests see the pixels
      } else if (out.message == kMsgQuit || is_window(out.hwnd) || out.hwnd == 0) {
        return true;
      } else {
        if (out.message == kMsgSync) complete_sync(out);
        continue;  // the window was destroyed after the post
      }
    }
    Hwnd h;
    if (q->take_paint(h)) {
      if (update_rect(h).empty()) continue;
      out = {h, kMsgPaint, 0, 0, 0};
      return true;
    }
    int32_t code;
    if (q->take_quit(code)) {
      out = {0, kMsgQuit, static_cast<uint64_t>(static_cast<uint32_t>(code)), 0, 0};
      return false;
    }
    q->wait_work();
  }
}

void WindowSystem::post_quit_message(int32_t code) { ThreadQueue::current()->post_quit(code); }

void WindowSystem::translate_message(const Message& message) {
  if (message.message != kMsgKeyDown) return;
  // Key-down messages carry the typed character (a code point) above bit 32.
  const uint32_t ch = static_cast<uint32_t>(static_cast<uint64_t>(message.lparam) >> 32);
  if (ch == 0) return;
  const uint64_t code = ch;
  // The character comes next, before input that followed the key.
  if (auto w = find(message.hwnd))
    w->queue->post_next({message.hwnd, kMsgChar, code, message.lparam & 0xFFFFFFFF, message.time});
}

int64_t WindowSystem::dispatch_message(const Message& message) {
  if (message.message == kMsgSync) {
    complete_sync(message);
    return 0;
  }
  return call_proc(message.hwnd, message.message, message.wparam, message.lparam);
}

bool WindowSystem::flush(Hwnd window, int32_t timeout_ms) {
  auto done = std::make_shared<Event>();
  auto* carried = new std::shared_ptr<Event>(done);
  if (!post_message(window, kMsgSync, 0, reinterpret_cast<int64_t>(carried))) {
    delete carried;
    return !is_window(window);  // a window already gone has nothing left to handle
  }
  return done->wait(timeout_ms);
}

void WindowSystem::invalidate(Hwnd window, const Rect* area) {
  auto w = find(window);
  if (!w) return;
  Rect add;
  Hwnd parent;
  {
    std::lock_guard<std::mutex> g(mutex_);
    const Rect c = client_of(*w);
    const Rect all{0, 0, c.width(), c.height()};
    add = area ? intersect(*area, all) : all;
    if (add.empty()) return;
    parent = w->parent;
    if (parent == 0) {
      w->update = unite(w->update, add);
    } else {
      // A hidden child shows nothing; a shown one is painted as part of its parent.
      if ((w->style & kStyleVisible) == 0) return;
      // The whole of a child is its frame: it draws its own border, around its client area.
      add = area ? Rect{add.left + c.left, add.top + c.top, add.right + c.left, add.bottom + c.top}
                 : w->frame;
    }
  }
  if (parent != 0) {
    invalidate(parent, &add);
    return;
  }
  w->queue->add_paint(window);
}

Rect WindowSystem::update_rect(Hwnd window) const {
  auto w = find(window);
  if (!w) return {};
  std::lock_guard<std::mutex> g(mutex_);
  return w->update;
}

bool WindowSystem::paint(Hwnd window,
                         const std::function<void(Page& surface, const Rect& update)>& painter) {
  auto w = find(window);
  if (!w) return false;
  Rect update;
  {
    std::lock_guard<std::mutex> g(mutex_);
    update = w->update;
    w->update = {};
  }
  if (update.empty() || w->parent != 0) return false;
  std::lock_guard<std::mutex> g(w->surface_mutex);
  update = intersect(update, Rect{0, 0, w->surface.width(), w->surface.height()});
  if (update.empty()) return false;
  if (painter) painter(w->surface, update);
  paint_children(window, w->surface, Point{0, 0}, update);
  backend_.present(window, w->surface, update);
  return true;
}

Page WindowSystem::surface(Hwnd window) const {
  auto w = find(window);
  if (!w || w->parent != 0) return Page();
  std::lock_guard<std::mutex> g(w->surface_mutex);
  return w->surface;
}

void WindowSystem::paint_children(Hwnd window, Page& surface, Point origin, const Rect& clip) {
  for (Hwnd child : children(window)) {
    auto c = find(child);
    if (!c) continue;
    Rect frame, client;
    {
      std::lock_guard<std::mutex> g(mutex_);
      if ((c->style & kStyleVisible) == 0) continue;
      frame = c->frame.translated(origin.x, origin.y);
      client = client_for_frame(c->style, c->frame).translated(origin.x, origin.y);
    }
    const Rect inside = intersect(frame, clip);
    if (inside.empty()) continue;
    // Only the owner thread runs a window's procedure; a child made by another thread keeps
    // the parent's pixels (children are controls, made by their parent's thread).
    if (c->owner != current_thread_id()) continue;
    ChildPaint target{&surface, frame, inside};
    call_proc(child, kMsgPaint, 0, reinterpret_cast<int64_t>(&target));
    paint_children(child, surface, Point{client.left, client.top}, intersect(client, inside));
  }
}

}  // namespace platform
