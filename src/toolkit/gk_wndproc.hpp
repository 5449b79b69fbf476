// The window thread and the window procedure of every toolkit window.
//
// Each window is created by a thread of its own (`GK__ThreadInitWindow`), which then runs the
// window's message loop until the window is torn down. `WndProc` paints the window from its
// visual page, queues keys, runs the close, system-close and resize callbacks on this thread,
// starts a callback thread for every control and menu command (gk_callbacks.hpp), and has its
// static controls, check boxes, radio buttons, group boxes and read-only or disabled text boxes
// drawn on the window's background brush with transparent text. Other threads reach the
// window only with the messages below.
//
// The modules of pages, fonts, controls, text boxes, menus and the mouse plug into the
// window's life through `hooks`: each module has its own slots, optional, filled once before
// windows are made (install_* functions), so no module replaces another's.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/window_system.hpp"
#include "toolkit/gk_record.hpp"

namespace gk {

// The toolkit's private messages.
enum : uint32_t {
  kMsgCreateControl = platform::kMsgUser + 1,
  kMsgRunOnWindow = platform::kMsgUser + 2,     // lparam: WindowTask* (run_on_window_thread)
  kMsgTextBoxFirst = platform::kMsgUser + 101,  // text-box requests 1125..1137
  kMsgTextBoxEnter = platform::kMsgUser + 103,
  kMsgTextBoxLast = platform::kMsgUser + 113,
  kMsgGetScrollPosition = platform::kMsgUser + 114,
  kMsgCallbackDone = platform::kMsgUser + 115,
  kMsgGetMenuHandlerId = platform::kMsgUser + 116,
  kMsgGetCallbackControlId = platform::kMsgUser + 117,
  kMsgEnableControl = platform::kMsgUser + 201,
  kMsgDisableControl = platform::kMsgUser + 202,
  kMsgActivate = platform::kMsgUser + 301,
};

struct WindowHooks {
  // Pages and their device contexts: made after the pages (window thread, under dc_lock),
  // reset by graphdefaults (under dc_lock), released at teardown (under dc_lock).
  std::function<void(WindowData&)> create_pages;
  std::function<void(WindowData&)> reset_pages;
  std::function<void(WindowData&)> release_pages;
  // The current font: made as the window starts, released at teardown.
  std::function<void(WindowData&)> create_font;
  std::function<void(WindowData&)> release_fonts;
  // Messages answered by a module, one slot each, asked in this order: controls (control
  // requests, scrolling, enabling controls), text boxes, menus (enabling items), mouse. A slot
  // returns true and sets `result` when it handled the message.
  using MessageHook =
      std::function<bool(WindowData&, Hwnd, uint32_t, uint64_t, int64_t, int64_t& result)>;
  MessageHook controls;
  MessageHook text_boxes;
  MessageHook menus;
  MessageHook mouse;
};
inline WindowHooks hooks;

// The window thread's body (started by initwindow). Returns the quit code; 0 when the window
// could not be created (after an error box).
uint32_t GK__ThreadInitWindow(platform::WindowSystem* system, WindowRef record);

int64_t WndProc(Hwnd window, uint32_t message, uint64_t wparam, int64_t lparam);

// Runs `task` on the window thread of `record` and returns its result: at once when called on
// that thread, else through a synchronous kMsgRunOnWindow (the caller serves messages sent to
// it meanwhile). `if_gone` when the window no longer runs its loop. Callers hold no toolkit
// lock across it, so the window thread never waits for the caller.
int64_t run_on_window_thread(const WindowRef& record,
                             const std::function<int64_t()>& task,
                             int64_t if_gone);

// The key buffer (see KeyBuffer). A full buffer drops keys; an extended key takes two codes,
// 0 and its code, or none at all. Both set the key event.
void queue_extended_key(WindowData& record, uint32_t virtual_key);
void cls_OnChar(WindowData& record, uint8_t code);
// The oldest queued code; waits for one when `wait` (returning 0 if the window goes away
// meanwhile); -1 when nothing is queued and `wait` is false.
int32_t take_key(WindowData& record, bool wait);

}  // namespace gk
