#include "toolkit/gk_wndproc.hpp"

#include <algorithm>

#include "platform/gfx/brush.hpp"
#include "platform/gfx/device_context.hpp"
#include "toolkit/gk_callbacks.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/scrollbars.hpp"

namespace gk {
namespace {

using namespace platform;

// Wait limits of the window thread on the control-table lock.
constexpr int32_t kCallbackLockWaitMs = 1000;
constexpr int32_t kTeardownLockWaitMs = 5000;

// Prune the thread list on a command once it holds more ids than this.
constexpr size_t kPruneAbove = 20;

// A task carried to the window thread by kMsgRunOnWindow.
struct WindowTask {
  const std::function<int64_t()>* body;
  int64_t result = 0;
  bool ran = false;
};

WindowRef record_of(Hwnd window) {
  return std::static_pointer_cast<WindowData>(window_system->user_data(window));
}

// The classic PC codes of the extended keys (queued after a 0), or 0 for other keys.
uint8_t extended_code(uint32_t vk) {
  switch (vk) {
    case kVkClear:
      return 'L';
    case kVkPrior:
      return 'I';
    case kVkNext:
      return 'Q';
    case kVkEnd:
      return 'O';
    case kVkHome:
      return 'G';
    case kVkLeft:
      return 'K';
    case kVkUp:
      return 'H';
    case kVkRight:
      return 'M';
    case kVkDown:
      return 'P';
    case kVkInsert:
      return 'R';
    case kVkDelete:
      return 'S';
    default:
      if (vk >= kVkF1 && vk <= kVkF12) return static_cast<uint8_t>(';' + (vk - kVkF1));
      return 0;
  }
}

void on_size(WindowData& rec, uint64_t kind, int64_t lparam) {
  if (kind != kSizeRestored && kind != kSizeMaximized) return;  // minimised keeps the size
  rec.width = static_cast<int32_t>(lparam & 0xFFFF);
  rec.height = static_cast<int32_t>((lparam >> 16) & 0xFFFF);
  Callback resized;
  {
    std::lock_guard<std::mutex> g(rec.state_lock);
    resized = rec.resize_callback;
  }
  if (resized) resized();
}

// Copies the update rectangle of the visual page to the window (the window never draws itself
// otherwise: all drawing goes to pages).
void on_paint(WindowData& rec, Hwnd window) {
  std::lock_guard<CriticalSection> g(rec.dc_lock);
  const Page& page = rec.pages[rec.visual_page];
  window_system->paint(window, [&](Page& surface, const Rect& update) {
    const Rect r = intersect(update, Rect{0, 0, page.width(), page.height()});
    for (int32_t y = r.top; y < r.bottom; ++y)
      std::copy(page.row(y) + r.left, page.row(y) + r.right, surface.row(y) + r.left);
  });
}

// The close request: exit-on-close ends the program; otherwise the close callback runs, the
// window's own idle event wakes whoever waits for it, and the window is destroyed.
int64_t on_close(WindowData& rec, Hwnd window) {
  if (rec.exit_on_close) exit_program(0);
  Callback closing;
  {
    std::lock_guard<std::mutex> g(rec.state_lock);
    closing = rec.close_callback;
  }
  if (closing) closing();
  rec.idle_event.set();
  return window_system->default_window_proc(window, kMsgClose, 0, 0);
}

// A static control, check box, radio button, group box or read-only or disabled text box asks
// for its background: transparent text on the window's background brush. The brush is read
// and kept under the DC lock, which the window's paint holds while its controls paint, so
// setbkcolor cannot replace (and free) it before the control has filled with it.
int64_t on_ctl_color_static(WindowData& rec, uint64_t wparam) {
  std::lock_guard<CriticalSection> g(rec.dc_lock);
  auto* dc = reinterpret_cast<DeviceContext*>(wparam);
  if (dc) dc->set_bk_mode(BkMode::Transparent);  // a request without a context just gets the brush
  if (!rec.background_brush) rec.background_brush = Brush::solid(rec.background_color);
  return reinterpret_cast<int64_t>(rec.background_brush.get());
}

int64_t on_sys_command(WindowData& rec, Hwnd window, uint64_t wparam, int64_t lparam) {
  CloseQuery query;
  if ((wparam & 0xFFF0) == kScClose) {
    std::lock_guard<std::mutex> g(rec.state_lock);
    query = rec.system_close_callback;
  }
  if (query && query() == 0) return 0;  // the callback refused to close
  return window_system->default_window_proc(window, kMsgSysCommand, wparam, lparam);
}

void on_min_max_info(WindowData* rec, Hwnd window, int64_t lparam) {
  window_system->default_window_proc(window, kMsgGetMinMaxInfo, 0, lparam);
  auto* info = reinterpret_cast<MinMaxInfo*>(lparam);
  if (rec) {
    if (info->max_track.x < rec->width) info->max_track.x = rec->width + 64;
    if (info->max_track.y < rec->height) info->max_track.y = rec->height + 64;
  } else {
    // During creation: room for a window four screens large.
    const int32_t w = 4 * window_system->metric(Metric::CxVirtualScreen);
    const int32_t h = 4 * window_system->metric(Metric::CyVirtualScreen);
    if (info->max_track.x < w) info->max_track.x = w + 64;
    if (info->max_track.y < h) info->max_track.y = h + 64;
  }
}

int64_t on_command(const WindowRef& rec, uint64_t wparam, int64_t lparam) {
  size_t threads;
  {
    std::lock_guard<std::mutex> g(rec->state_lock);
    threads = rec->thread_list.size();
  }
  if (threads > kPruneAbove) WndCleanThreads(*rec);
  const uint32_t code = static_cast<uint32_t>((wparam >> 16) & 0xFFFF);
  if (lparam != 0) {  // from a control
    const Hwnd control = static_cast<Hwnd>(lparam);
    if (cls_OnCommandSimpleGeneric(rec, control, &WindowData::buttons)) return 1;
    if (code == 1 && !cls_OnCommandSimpleGeneric(rec, control, &WindowData::list_boxes))
      cls_OnCommandSimpleGeneric(rec, control, &WindowData::drop_downs);
    return 1;
  }
  if (code != 0) return -1;  // an accelerator: default processing
  const int32_t item = static_cast<int32_t>(wparam & 0xFFFF);
  Callback handler;
  {
    std::lock_guard<std::mutex> g(rec->state_lock);
    if (item >= rec->menu_handler_count) return 1;
    rec->running_menu_item = item;
    handler = rec->menu_handlers[item];
  }
  if (handler) start_callback(rec, handler, CallbackOrigin{0, item});
  return 1;
}

int64_t on_callback_done(WindowData& rec) {
  if (rec.control_table_lock.lock(kCallbackLockWaitMs)) {
    rec.running_control = 0;
    rec.control_table_lock.unlock();
  }
  rec.running_menu_item = -1;
  return 1;
}

// Teardown: children, control tables, menus, thread list, pages and fonts; then the loop ends.
void on_destroy(WindowData& rec, Hwnd window) {
  if (rec.torn_down) return;  // teardown runs once, however the window ends
  rec.torn_down = true;
  rec.alive = false;
  if (rec.control_table_lock.lock(kTeardownLockWaitMs)) {
    for (Hwnd child : window_system->children(window)) {
      window_system->show_window(child, false);
      window_system->destroy_window(child);
    }
    rec.buttons = {};
    rec.text_boxes = {};
    rec.list_boxes = {};
    rec.drop_downs = {};
    rec.scroll_bars = {};
    rec.running_control = 0;
    if (rec.control_map_lock.lock(kTeardownLockWaitMs)) {
      rec.control_map = {};
      rec.control_map_lock.unlock();
    }
    rec.control_table_lock.unlock();
  }
  {
    std::lock_guard<std::mutex> g(rec.state_lock);
    rec.menus.clear();
    rec.menu_count = 0;
    rec.menu_handlers.clear();
    rec.menu_handler_count = 0;
    rec.thread_list.clear();
  }
  {
    std::lock_guard<CriticalSection> g(rec.dc_lock);
    if (hooks.release_pages) hooks.release_pages(rec);
    for (Page& p : rec.pages) p = Page();
  }
  if (hooks.release_fonts) hooks.release_fonts(rec);
  // Whoever still waits for a key or for the idle event of this window must not wait for ever.
  rec.key_event.set();
  rec.idle_event.set();
  window_system->post_quit_message(0);
}

}  // namespace

int64_t run_on_window_thread(const WindowRef& record,
                             const std::function<int64_t()>& task,
                             int64_t if_gone) {
  if (!record || !record->alive) return if_gone;
  if (record->window_thread_id == platform::current_thread_id()) return task();
  WindowTask carried{&task};
  window_system->send_message(
      record->hwnd, kMsgRunOnWindow, 0, reinterpret_cast<int64_t>(&carried));
  return carried.ran ? carried.result : if_gone;
}

void queue_extended_key(WindowData& rec, uint32_t virtual_key) {
  const uint8_t code = extended_code(virtual_key);
  if (code == 0) return;
  {
    std::lock_guard<std::mutex> g(rec.key_lock);
    if (rec.keys.count() + 2 <= kKeyBufferSize - 1) {  // both codes or none
      rec.keys.codes.push_front(0);
      rec.keys.codes.push_front(code);
    }
  }
  rec.key_event.set();
}

void cls_OnChar(WindowData& rec, uint8_t code) {
  {
    std::lock_guard<std::mutex> g(rec.key_lock);
    if (rec.keys.count() < kKeyBufferSize - 1) rec.keys.codes.push_front(code);
  }
  rec.key_event.set();
}

int32_t take_key(WindowData& rec, bool wait) {
  for (;;) {
    {
      std::lock_guard<std::mutex> g(rec.key_lock);
      if (!rec.keys.codes.empty()) {
        const uint8_t code = rec.keys.codes.back();
        rec.keys.codes.pop_back();
        if (rec.keys.codes.empty()) rec.key_event.reset();
        return code;
      }
      if (!wait) return -1;
      if (!rec.alive) {
        rec.key_event.set();  // pass the wake-up on to the next thread waiting for a key
        return 0;
      }
    }
    rec.key_event.wait(kInfinite);
  }
}

uint32_t GK__ThreadInitWindow(WindowSystem* system, WindowRef rec) {
  // Step 1: the frame; a caption's height is added for captionless windows too.
  const int32_t fw = rec->width + 2 * system->metric(Metric::CxFixedFrame);
  const int32_t fh =
      rec->height + system->metric(Metric::CyCaption) + 2 * system->metric(Metric::CyFixedFrame);
  // Step 2.
  WndRegisterCurrentThread(*rec);
  // Step 3.
  CreateWindowParams p;
  p.class_name = kClassName;
  p.title = rec->title;
  p.style = rec->title.empty()
                ? kStylePopup | kStyleClipChildren | kStyleDlgFrame
                : kStyleClipChildren | kStyleCaption | kStyleSysMenu | kStyleMinimizeBox;
  p.frame = Rect{rec->left, rec->top, rec->left + fw, rec->top + fh};
  const Hwnd window = system->create_window(p);
  if (window == 0) {
    showerrorbox(nullptr);
    return 0;
  }
  // Step 4.
  rec->hwnd = window;
  rec->window_thread_id = current_thread_id();
  system->set_user_data(window, rec);
  rec->visual_page = 0;
  rec->active_page = 0;
  // Step 5: pages as large as the screen or the window, whichever is larger.
  {
    std::lock_guard<CriticalSection> g(rec->dc_lock);
    const Rect client = system->client_rect(window);
    const int32_t pw = std::max({system->metric(Metric::CxScreen),
                                 system->metric(Metric::CxVirtualScreen),
                                 client.width()});
    const int32_t ph = std::max({system->metric(Metric::CyScreen),
                                 system->metric(Metric::CyVirtualScreen),
                                 client.height()});
    for (Page& page : rec->pages) page = Page(pw, ph);
    if (hooks.create_pages) hooks.create_pages(*rec);
  }
  // Step 6.
  system->show_window(window, true);
  if (hooks.create_font) hooks.create_font(*rec);
  rec->ready_event.set();
  // Step 7: the message loop.
  Message m;
  while (system->get_message(m)) {
    if (rec->dialog_hot_keys && system->is_dialog_message(window, m)) continue;
    system->translate_message(m);
    system->dispatch_message(m);
  }
  // Step 8: the window goes with its thread (after closewindow's teardown it still exists);
  // the record goes with the last reference to it.
  system->destroy_window(window);
  return static_cast<uint32_t>(m.wparam);
}

int64_t WndProc(Hwnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
  WindowRef rec = record_of(window);
  if (!rec) {  // during creation, before the record is attached
    if (message == kMsgGetMinMaxInfo) {
      on_min_max_info(nullptr, window, lparam);
      return 0;
    }
    return window_system->default_window_proc(window, message, wparam, lparam);
  }
  int64_t result = 0;
  switch (message) {
    case kMsgDestroy:
      on_destroy(*rec, window);
      return 0;
    case kMsgSize:
      on_size(*rec, wparam, lparam);
      break;
    case kMsgPaint:
      on_paint(*rec, window);
      return 0;
    case kMsgClose:
      return on_close(*rec, window);
    case kMsgGetMinMaxInfo:
      on_min_max_info(rec.get(), window, lparam);
      return 0;
    case kMsgNcHitTest: {
      const int64_t hit = window_system->default_window_proc(window, message, wparam, lparam);
      // The frame of a captionless window drags it.
      bool captionless;
      {
        std::lock_guard<std::mutex> g(rec->state_lock);
        captionless = rec->title.empty();
      }
      if (hit != kHitClient && hit != kHitNowhere && captionless) return kHitCaption;
      return hit;
    }
    case kMsgKeyDown:
      queue_extended_key(*rec, static_cast<uint32_t>(wparam));
      window_system->default_window_proc(window, message, wparam, lparam);
      return 0;
    case kMsgChar:
      // The key buffer holds 8-bit text: Latin-1 characters as themselves, others as '?'.
      cls_OnChar(*rec, static_cast<uint8_t>(wparam < 256 ? wparam : '?'));
      window_system->default_window_proc(window, message, wparam, lparam);
      return 0;
    case kMsgCommand:
      result = on_command(rec, wparam, lparam);
      if (result >= 0) return result;
      break;
    case kMsgTextBoxEnter:  // Enter in a text box: its callback, as for a button
      if (cls_OnCommandSimpleGeneric(rec, static_cast<Hwnd>(lparam), &WindowData::text_boxes))
        return 1;
      break;
    case kMsgCtlColorStatic:
      return on_ctl_color_static(*rec, wparam);
    case kMsgHScroll:
    case kMsgVScroll:
      if (on_control_scroll(rec, wparam, static_cast<Hwnd>(lparam))) return 0;
      break;
    case kMsgSysCommand:
      return on_sys_command(*rec, window, wparam, lparam);
    case kMsgCallbackDone:
      return on_callback_done(*rec);
    case kMsgGetMenuHandlerId:
      return rec->running_menu_item;
    case kMsgActivate:
      window_system->activate(window);
      return 1;
    case kMsgRunOnWindow: {
      auto* task = reinterpret_cast<WindowTask*>(lparam);
      task->result = (*task->body)();
      task->ran = true;
      return 1;
    }
    default:
      for (const WindowHooks::MessageHook* h :
           {&hooks.controls, &hooks.text_boxes, &hooks.menus, &hooks.mouse})
        if (*h && (*h)(*rec, window, message, wparam, lparam, result)) return result;
      break;
  }
  return window_system->default_window_proc(window, message, wparam, lparam);
}

}  // namespace gk
