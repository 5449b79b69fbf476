// The window thread and the window procedure of every toolkit window.
//
// Each window is created by a thread of its own (`GK__ThreadInitWindow`), which then runs the
// window's message loop until the window is torn down. `WndProc` paints the window from its
// visual page, queues keys, runs the close, system-close and resize callbacks on this thread,
// and starts a callback thread for every control and menu command (gk_callbacks.hpp). Other
// threads reach the window only with the messages below.
//
// The modules of pages, fonts, controls, menus and the mouse plug into the window's life
// through `hooks`: each slot is optional and is filled once, before windows are made.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/window_system.hpp"
#include "toolkit/gk_record.hpp"

namespace gk {

// The toolkit's private messages.
enum : uint32_t {
  kMsgCreateControl = platform::kMsgUser + 1,
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
  // Messages answered by the control, menu and mouse modules (controls, text-box and
  // scroll-bar requests, scrolling, static colours, mouse messages, enabling). Returns true
  // and sets `result` when it handled the message.
  std::function<bool(WindowData&, Hwnd, uint32_t, uint64_t, int64_t, int64_t& result)> message;
  // Dialog navigation (when the dialog hot keys flag is set): true when it took the message.
  std::function<bool(WindowData&, const platform::Message&)> dialog_message;
};
inline WindowHooks hooks;

// The window thread's body (started by initwindow). Returns the quit code; 0 when the window
// could not be created (after an error box).
uint32_t GK__ThreadInitWindow(platform::WindowSystem* system, WindowRef record);

int64_t WndProc(Hwnd window, uint32_t message, uint64_t wparam, int64_t lparam);

// The key buffer (see KeyBuffer). A full buffer drops keys; an extended key takes two codes,
// 0 and its code, or none at all. Both set the key event.
void queue_extended_key(WindowData& record, uint32_t virtual_key);
void cls_OnChar(WindowData& record, uint8_t code);
// The oldest queued code; waits for one when `wait` (returning 0 if the window goes away
// meanwhile); -1 when nothing is queued and `wait` is false.
int32_t take_key(WindowData& record, bool wait);

}  // namespace gk
