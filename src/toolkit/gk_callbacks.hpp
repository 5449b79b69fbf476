// Callback threads, the thread list of a window, the idle event, the mutex table and delay.
//
// A control, menu or scroll callback runs on a thread of its own, so the window keeps painting
// and answering while it runs, and several callbacks (also of the same control) can run at
// once. Each callback thread knows what fired it (`current_callback`), so a callback asking
// which control or menu item it serves gets its own answer even when callbacks overlap.
// When it ends it tells the window with kMsgCallbackDone.
//
// The thread list of a window holds the thread that made it, its window thread and every
// callback thread started for it; `getsignallingwindow` finds the window a thread works for.
//
// The idle event is how the program's own threads wait for callbacks: `loop` and `startidle`
// wait on the current window's event, `stopidle` sets it (one pending wake-up at most).
#pragma once

#include <cstdint>

#include "toolkit/gk_record.hpp"

namespace gk {

// What fired the running callback thread.
struct CallbackOrigin {
  Hwnd control = 0;        // the control, 0 for a menu item
  int32_t menu_item = -1;  // the menu item id, -1 for a control
};
// The origin of the calling callback thread; null on any other thread.
const CallbackOrigin* current_callback();

void loop();
void startidle(int32_t timeout);  // milliseconds; negative waits like loop
int32_t stopidle();
int32_t getsignallingwindow();

void WndRegisterThread(ThreadId thread_id, WindowData& record);
void WndRegisterCurrentThread(WindowData& record);
void WndDeRegisterThread(ThreadId thread_id, WindowData& record);
// Drops the ids of ended threads from the list once more than kPruneEnded of them have ended.
void WndCleanThreads(WindowData& record);
inline constexpr int32_t kPruneEnded = 10;

// Fires the callback of `control` when it is in the record's `table`: records it as the running
// control and starts the callback on a new thread. 1 when the control was found, else 0 (also
// when the control-table lock could not be had within 1000 ms).
int32_t cls_OnCommandSimpleGeneric(const WindowRef& record,
                                   Hwnd control,
                                   ControlTable WindowData::*table);
// Starts `callback` on a new callback thread of the window (nothing when it cannot be started).
void start_callback(const WindowRef& record, Callback callback, CallbackOrigin origin);
// Starts the scroll callbacks of a scroll bar with the new position on a new thread.
void start_scroll_callback(const WindowRef& record,
                           ScrollCallback by_value,
                           ScrollCallbackRef by_reference,
                           int32_t position,
                           Hwnd control);
// Waits until no callback of `control` is running any more. Returns at once when called from
// a callback of that control (it would wait for itself), or from a callback of a control
// whose removal a callback of `control` is already waiting for (they would wait for each
// other). Callers make sure no new callback of
// the control can start (its table entry is cleared) and do not call it on the window thread,
// which running callbacks may need.
void wait_control_callbacks(Hwnd control);
// Waits for every callback thread still running to end (gk::reset does, before it detaches
// the window system, so no callback outlives the system it uses).
void join_callback_threads();

int32_t createmutex();
int32_t lockmutex(int32_t id, int32_t timeout);
void unlockmutex(int32_t id);
void reset_mutexes();  // forgets every mutex (tests)

void delay(int32_t ms);

}  // namespace gk
