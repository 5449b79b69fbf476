#include "toolkit/gk_window.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/thread.hpp"
#include "toolkit/gk_callbacks.hpp"
#include "toolkit/gk_wndproc.hpp"

namespace gk {
namespace {

// Window threads by index, so that closing a window can wait for its thread to finish.
std::vector<std::shared_ptr<platform::Thread>> window_threads;  // guarded by table_lock

// How long closing a window waits for its thread to end after the teardown answered. The
// thread only frees its record then; a thread that hangs is left to finish on its own.
constexpr int32_t kThreadEndWaitMs = 5000;

bool exit_hook_installed = false;  // guarded by table_lock

void close_all_at_exit() {
  if (window_system != nullptr) closewindow(-2);
}

Hwnd slot_handle(int32_t index) {
  std::lock_guard<std::mutex> g(table_lock);
  if (index < 0 || index >= GK__WindowCount) return 0;
  return GK__WindowTable[index];
}

WindowRef record_of(Hwnd handle) {
  if (handle == 0 || window_system == nullptr) return nullptr;
  auto rec = std::static_pointer_cast<WindowData>(window_system->user_data(handle));
  return rec && rec->alive ? rec : nullptr;
}

// Fills the client area of the active page with black (the first picture of a window).
void paint_black(WindowData& rec) {
  std::lock_guard<platform::CriticalSection> g(rec.dc_lock);
  platform::Page& page = rec.pages[rec.active_page];
  const int32_t w = std::min(rec.width.load(), page.width());
  const int32_t h = std::min(rec.height.load(), page.height());
  for (int32_t y = 0; y < h; ++y) std::fill_n(page.row(y), w, platform::Pixel{0});
  if (rec.refresh && rec.active_page == rec.visual_page) {
    const platform::Rect r{0, 0, w, h};
    window_system->invalidate(rec.hwnd, &r);
  }
}

}  // namespace

void attach(platform::WindowSystem* system) {
  std::lock_guard<std::mutex> g(table_lock);
  window_system = system;
  called = false;
}

void reset() {
  if (window_system != nullptr) closewindow(-2);
  join_callback_threads();
  reset_mutexes();
  std::lock_guard<std::mutex> g(table_lock);
  GK__WindowTable.clear();
  window_threads.clear();
  GK__WindowCount = 0;
  GK__CurrentWindow = kNoWindow;
  if (window_system != nullptr && called) window_system->unregister_class(kClassName);
  called = false;
  window_system = nullptr;
}

int32_t registerWindowClass() {
  const bool ok = window_system->register_class(
      kClassName, platform::kClassDblClks | platform::kClassSaveBits, WndProc);
  if (!ok) showerrorbox(nullptr);
  return ok ? 1 : 0;
}

void unregisterWindowClass() { window_system->unregister_class(kClassName); }

int32_t DllMain_MGM(int32_t reason) {
  std::lock_guard<std::mutex> g(table_lock);
  if (reason == 1 && !called) {
    if (registerWindowClass() == 0) return 0;
    called = true;
  } else if (reason == 0 && called) {
    called = false;
    unregisterWindowClass();
  }
  return 1;
}

int32_t initwindow(int32_t width,
                   int32_t height,
                   const char* title,
                   int32_t left,
                   int32_t top,
                   uint8_t dbflag,
                   uint8_t closeflag) {
  // Step 1: one-time initialisation.
  if (window_system == nullptr || DllMain_MGM(1) == 0) return -1;
  {
    std::lock_guard<std::mutex> g(table_lock);
    if (!exit_hook_installed) {
      exit_hook_installed = true;
      std::atexit(close_all_at_exit);  // windows close before static destruction
    }
  }
  // Steps 2-7: the record.
  auto rec = std::make_shared<WindowData>();
  rec->width = width;
  rec->height = height;
  const bool default_pos = left == kDefaultPos || top == kDefaultPos;
  rec->left = default_pos ? platform::kDefaultWindowX : left;
  rec->top = default_pos ? 5 : top;
  rec->title = title ? title : "";
  rec->radio_group = 1;
  rec->thread_list.push_back(platform::current_thread_id());

  // Step 8: the window thread; wait until it is ready or has given up.
  platform::WindowSystem* system = window_system;
  auto thread =
      platform::Thread::create([system, rec] { return GK__ThreadInitWindow(system, rec); }, true);
  if (!thread) {
    showerrorbox(nullptr);
    return -1;
  }
  rec->thread_id = thread->id();
  thread->resume();
  // Step 9: the thread ended first: the window could not be made.
  if (platform::wait_any({&thread->ended(), &rec->ready_event}, platform::kInfinite) == 0) {
    thread->join();
    return -1;
  }
  // Step 10.
  int32_t index;
  {
    std::lock_guard<std::mutex> g(table_lock);
    GK__WindowTable.push_back(rec->hwnd);
    window_threads.push_back(thread);
    index = GK__WindowCount++;
    GK__CurrentWindow = index;
  }
  rec->double_buffer = dbflag;
  rec->exit_on_close = closeflag;
  // The new window by name: another thread may have made a different window current already.
  reset_drawing_state(*rec);
  paint_black(*rec);
  return index;
}

void closewindow(int32_t index) {
  if (index == -2) {
    for (int32_t i = 0;; ++i) {
      {
        std::lock_guard<std::mutex> g(table_lock);
        if (i >= GK__WindowCount) return;
      }
      closewindow(i);
    }
  }
  std::shared_ptr<platform::Thread> thread;
  Hwnd handle;
  {
    std::lock_guard<std::mutex> g(table_lock);
    if (index == -1) index = GK__CurrentWindow;
    if (index < 0 || index >= GK__WindowCount || GK__WindowTable[index] == 0) return;
    handle = GK__WindowTable[index];
    thread = window_threads[index];
    // Cleared first, so that no other caller closes it twice or makes it current again.
    GK__WindowTable[index] = 0;
    window_threads[index] = nullptr;
    if (GK__CurrentWindow == index) GK__CurrentWindow = kNoWindow;
  }
  // A window already destroyed through its close box answers 0 at once.
  window_system->send_message(handle, platform::kMsgDestroy, 0, 0);
  if (thread && thread->id() != platform::current_thread_id()) {
    if (thread->ended().wait(kThreadEndWaitMs)) thread->join();
  }
}

int32_t getcurrentwindow() {
  std::lock_guard<std::mutex> g(table_lock);
  return GK__CurrentWindow;
}

void setcurrentwindow(int32_t index) {
  Hwnd handle;
  {
    std::lock_guard<std::mutex> g(table_lock);
    if (index < 0 || index >= GK__WindowCount || GK__WindowTable[index] == 0) return;
    GK__CurrentWindow = index;
    handle = GK__WindowTable[index];
  }
  window_system->send_message(handle, kMsgActivate, 0, 0);
}

int32_t isvalidwindow(int32_t index) {
  const Hwnd h = slot_handle(index);
  return h != 0 && window_system->is_window(h) ? 1 : 0;
}

void enablewindow(int32_t index, int32_t flag) {
  const Hwnd h = slot_handle(index);
  if (h != 0) window_system->enable_window(h, flag == 1);
}

WindowRef GK__GetWindowDataPtrOrNull(Hwnd handle) {
  if (handle == 0) {
    std::lock_guard<std::mutex> g(table_lock);
    if (GK__CurrentWindow < 0 || GK__CurrentWindow >= GK__WindowCount) return nullptr;
    handle = GK__WindowTable[GK__CurrentWindow];
  }
  return record_of(handle);
}

WindowRef GK__GetWindowDataPtr(Hwnd handle) {
  if (handle == 0 && slot_handle(getcurrentwindow()) == 0) stop_without_window();
  return GK__GetWindowDataPtrOrNull(handle);
}

Hwnd GK__GetCurrentWindowHandle() {
  const Hwnd h = slot_handle(getcurrentwindow());
  return h != 0 && window_system->is_window(h) ? h : 0;
}

Hwnd getwin32handle() { return slot_handle(getcurrentwindow()); }

void setwindowtitle(const char* title) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  {
    std::lock_guard<std::mutex> g(rec->state_lock);
    rec->title = title ? title : "";
  }
  if (title)
    window_system->send_message(
        rec->hwnd, platform::kMsgSetText, 0, reinterpret_cast<int64_t>(title));
}

static void set_icon(int32_t id, uint64_t big) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  // The program carries no icon resources: any id leaves the window without that icon.
  (void)id;
  window_system->send_message(rec->hwnd, platform::kMsgSetIcon, big, 0);
}

void setwindowlargeicon(int32_t id) { set_icon(id, 1); }
void setwindowsmallicon(int32_t id) { set_icon(id, 0); }

void enableresize(Callback callback) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  {
    std::lock_guard<std::mutex> g(rec->state_lock);
    rec->resize_callback = std::move(callback);
  }
  const uint32_t s = window_system->style(rec->hwnd);
  window_system->set_style(rec->hwnd, s | platform::kStyleThickFrame | platform::kStyleMaximizeBox);
}

void enableresize_ptr(const Callback* callback) { enableresize(callback ? *callback : Callback()); }

void disableresize() {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  {
    std::lock_guard<std::mutex> g(rec->state_lock);
    rec->resize_callback = nullptr;
  }
  // The sizing border and maximise box go too, so the user can no longer resize the window.
  const uint32_t s = window_system->style(rec->hwnd);
  window_system->set_style(
      rec->hwnd,
      (s | platform::kStyleDlgFrame) & ~(platform::kStyleThickFrame | platform::kStyleMaximizeBox));
}

void setwindowclosecallback(Callback callback) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  std::lock_guard<std::mutex> g(rec->state_lock);
  rec->close_callback = std::move(callback);
}

void setwindowclosecallback_ptr(const Callback* callback) {
  setwindowclosecallback(callback ? *callback : Callback());
}

void setwindowsystemclosecallback(CloseQuery callback) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  std::lock_guard<std::mutex> g(rec->state_lock);
  rec->system_close_callback = std::move(callback);
}

void setwindowsystemclosecallback_ptr(const CloseQuery* callback) {
  setwindowsystemclosecallback(callback ? *callback : CloseQuery());
}

void setdialoghotkeys(int32_t flag) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  rec->dialog_hot_keys = flag & 0xFF;
}

int32_t getactivepage() {
  auto rec = GK__GetWindowDataPtr(0);
  return rec ? rec->active_page.load() : kUnknownWindow;
}

int32_t getvisualpage() {
  auto rec = GK__GetWindowDataPtr(0);
  return rec ? rec->visual_page.load() : kUnknownWindow;
}

void setactivepage(int32_t page) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec || page < 0 || page >= kPageCount) return;
  rec->active_page = page;
}

void setvisualpage(int32_t page) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec || page < 0 || page >= kPageCount) return;
  rec->visual_page = page;
  window_system->invalidate(rec->hwnd, nullptr);
}

void swapbuffers() {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec || !rec->double_buffer) return;
  if (rec->active_page == 0) {
    rec->active_page = 1;
    rec->visual_page = 0;
  } else {
    rec->active_page = 0;
    rec->visual_page = 1;
  }
  window_system->invalidate(rec->hwnd, nullptr);
}

void graphdefaults() {
  auto rec = GK__GetWindowDataPtr(0);
  if (rec) reset_drawing_state(*rec);
}

void reset_drawing_state(WindowData& r) {
  std::lock_guard<platform::CriticalSection> dc(r.dc_lock);
  // Step 1.
  r.viewport = {0, 0, r.width, r.height, 0};
  r.last_mouse_position = 0;
  r.refresh = 1;
  r.background_color = 0;
  r.fill_transparency = 0;
  r.drawing_color = 0xFFFFFF;
  r.fill_style = 1;
  r.fill_color = 0xFFFFFF;
  // Step 2: pens, brushes and text colour of the pages.
  if (hooks.reset_pages) hooks.reset_pages(r);
  // Step 3.
  {
    std::lock_guard<platform::CriticalSection> f(r.font_lock);
    r.current_font = nullptr;
  }
  r.user_char_size = {1, 1, 1, 1};
  r.active_page = r.double_buffer;
  r.visual_page = 0;
  r.text_position = {0, 0};
  r.line_style = 0;
  r.line_thickness = 1;
  r.line_transparency = 1;
  r.text = WindowData::TextSettings{0, 0, 12, 0, 2, 0};
  r.graphics_result = 0;
  r.aspect_x = r.aspect_y = 10000;
  // The menu tables stay: emptied, they would leave the menus on the screen without handlers.
  std::lock_guard<std::mutex> s(r.state_lock);
  r.dialog_hot_keys = 0;
  r.background_brush_color = r.background_color;
}

void showerrorbox(const char* text) {
  platform::MessageBoxRequest box;
  box.title = "Error";
  box.text = text ? text : std::strerror(errno);
  box.icon = platform::DialogIcon::Error;
  box.buttons = platform::DialogButtons::Ok;
  if (window_system != nullptr) {
    window_system->dialogs().message_box(box);
  } else {
    std::fprintf(stderr, "%s: %s\n", box.title.c_str(), box.text.c_str());
  }
}

void stop_without_window() {
  showerrorbox("Drawing operation was attempted when there was no current window.");
  exit_program(1);
}

void exit_program(int32_t code) {
  std::fflush(stdout);
  std::exit(code);  // the exit hook closes the remaining windows first
}

}  // namespace gk
