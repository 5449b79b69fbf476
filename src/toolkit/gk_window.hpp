// The toolkit's windows: the window table, the current window and the window lifecycle.
//
// A program gets numbered windows (indices 0, 1, 2, ... never reused). `initwindow` starts a
// window thread that creates the window and runs its message loop (gk_wndproc.hpp), waits for
// it to be ready, makes the new window current and clears its pages to black. Almost every
// other toolkit call acts on the current window through `GK__GetWindowDataPtr(0)`.
//
// The table and the current window are guarded, so windows may be made and closed from any
// thread. Records are shared (gk_record.hpp): a closed window's record is marked dead and
// calls that reach it do nothing; the last user frees it.
//
// The toolkit works on the window system attached with `attach`, made by the program's
// start-up (or by a test) around its backend.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/window_system.hpp"
#include "toolkit/gk_record.hpp"

namespace gk {

inline constexpr int32_t kNoWindow = -3;        // GK__CurrentWindow when there is none
inline constexpr int32_t kDefaultPos = -32768;  // left/top: the system's default position
inline constexpr int32_t kUnknownWindow = -1;   // answer of calls on a window that is gone
inline constexpr const char* kClassName = "GuiKitLibrary";

// Module state, guarded by table_lock.
inline std::mutex table_lock;
inline std::vector<Hwnd> GK__WindowTable;  // slot i: window index i; 0 once closed
inline int32_t GK__WindowCount = 0;
inline int32_t GK__CurrentWindow = kNoWindow;
inline bool called = false;  // the one-time initialisation has run (for the attached system)
inline platform::WindowSystem* window_system = nullptr;

// Uses `system` from now on (null detaches). Windows of a previous system must be closed first.
void attach(platform::WindowSystem* system);
// Closes every window, joins their threads and detaches; the state of a fresh start. Call it
// before the attached window system goes away (the exit hook closes windows only while a
// system is attached).
void reset();

// Opens a window; returns its index or -1. title null or empty: a window without caption;
// left/top kDefaultPos: default position; dbflag: double buffering; closeflag: closing the
// window ends the program.
int32_t initwindow(int32_t width,
                   int32_t height,
                   const char* title,
                   int32_t left,
                   int32_t top,
                   uint8_t dbflag,
                   uint8_t closeflag);
// index -1: the current window; -2: every window in index order; otherwise that index.
// Returns once the window is torn down.
void closewindow(int32_t index);
int32_t getcurrentwindow();
void setcurrentwindow(int32_t index);
int32_t isvalidwindow(int32_t index);
void enablewindow(int32_t index, int32_t flag);

// The record of a window; handle 0 = the current window. With no current window at all the
// program is stopped with a message (see stop_without_window). Null for a closed window.
WindowRef GK__GetWindowDataPtr(Hwnd handle);
// The same, but null where the former stops the program.
WindowRef GK__GetWindowDataPtrOrNull(Hwnd handle);
Hwnd GK__GetCurrentWindowHandle();
Hwnd getwin32handle();

void setwindowtitle(const char* title);
void setwindowlargeicon(int32_t id);
void setwindowsmallicon(int32_t id);
void enableresize(Callback callback);
void enableresize_ptr(const Callback* callback);
void disableresize();
void setwindowclosecallback(Callback callback);
void setwindowclosecallback_ptr(const Callback* callback);
void setwindowsystemclosecallback(CloseQuery callback);
void setwindowsystemclosecallback_ptr(const CloseQuery* callback);
void setdialoghotkeys(int32_t flag);

int32_t getactivepage();
int32_t getvisualpage();
void setactivepage(int32_t page);
void setvisualpage(int32_t page);
void swapbuffers();

// Resets the drawing state of the current window.
void graphdefaults();
// The same for a given window.
void reset_drawing_state(WindowData& record);

// A modal error box titled "Error" with a stop icon and no owner; null text shows the text of
// the last system error.
void showerrorbox(const char* text);

// One-time initialisation (reason 1) and its undoing (reason 0); returns 1.
int32_t DllMain_MGM(int32_t reason);
int32_t registerWindowClass();
void unregisterWindowClass();

// Ends the program: the "no current window" stop (message box, exit code 1) and the
// exit-on-close exit (code 0). Remaining windows are closed first.
[[noreturn]] void stop_without_window();
[[noreturn]] void exit_program(int32_t code);

}  // namespace gk
