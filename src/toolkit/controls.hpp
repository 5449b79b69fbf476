// Controls of a toolkit window: the kind tables, the control map behind global control ids,
// creating and removing controls, and the operations every kind shares.
//
// Each native control (push button, check box, radio button, text box, list box, drop-down
// list, scroll bar) is a child window made by its window's own thread. It is kept in the
// table of its kind in the window's record (gk_record.hpp); its position there is its
// kind-local index, and tables only grow. The control map gives each control a global control
// id, the 0-based slot it takes; slots of removed controls are handed out again, lowest first.
// The map records no kind: an operation names the kind, and an id looked up under another
// kind reaches the control of that kind with the same kind-local index.
//
// Kinds are named by their class names: "BUTTON", "EDIT", "LISTBOX", "COMBOBOX",
// "SCROLLBAR"; "MENUITEM" names a menu item in EnableControl only.
//
// Every operation runs on the window's own thread (run_on_window_thread): the table look-up
// and the platform call together, so no lock is held across a request to that thread and a
// control cannot disappear between the two. The control-table lock and the control-map lock
// (the table lock first when both are held, 5000 ms at most) still guard the tables against
// the window thread's own readers. All operations act on the current window; without one
// they do nothing and answer -1 (ids) or 0.
#pragma once

#include <cstdint>
#include <string>

#include "toolkit/gk_record.hpp"

namespace gk {

inline constexpr int32_t kControlLockWaitMs = 5000;
inline constexpr Hwnd kFreeSlot = ~Hwnd{0};  // handle of a free control-map slot

inline constexpr const char* kKindButton = "BUTTON";
inline constexpr const char* kKindEdit = "EDIT";
inline constexpr const char* kKindListBox = "LISTBOX";
inline constexpr const char* kKindComboBox = "COMBOBOX";
inline constexpr const char* kKindScrollBar = "SCROLLBAR";
inline constexpr const char* kKindMenuItem = "MENUITEM";

// What a creation function asks the window thread to make.
struct ControlRequest {
  int32_t left = 0, top = 0, width = 0, height = 0;  // client pixels of the window
  uint32_t style = 0;                                // kind-specific style bits
  const char* class_name = nullptr;                  // the kind
  std::string caption;                               // UTF-8
  Callback callback;                                 // all kinds but scroll bars
  ScrollCallback by_value;                           // scroll bars
  ScrollCallbackRef by_reference;
};

// Control map (call under no lock; each takes the control-map lock).
int32_t _MapControl(WindowData& record, int32_t local_index, Hwnd handle);  // -1 on time-out
int32_t GetGlobalControlId(WindowData& record, Hwnd handle);                // -1 when unknown
int32_t UnMapControl(WindowData& record, int32_t id);  // kind-local index, -1 out of range
void SetGlobalControlIndexInvalid(WindowData& record, int32_t id);
// The handle of the control `id` names under `kind`; 0 when there is none (a removed control
// answers 0 too).
Hwnd GetControl(WindowData& record, const char* kind, int32_t id);

// Creates the control on the current window's thread and enters it in its kind table and the
// map; its global control id, or -1 when there is no window or the platform could not make
// the control (nothing is entered then). A control whose table entry could not be stored
// (lock time-out) still gets an id that reaches nothing.
int32_t create_control(const ControlRequest& request);
// Removes the control `id` names under `kind`: its callbacks are cleared at once (no new
// firing), it is hidden and destroyed and, last, its id is freed. Then waits for callbacks of
// the control that are still running, unless called from one of them or on the window thread.
void remove_control(const char* kind, int32_t id);

void MoveControl(
    const char* kind, int32_t id, int32_t left, int32_t top, int32_t width, int32_t height);
// 1 with the control's place in the window's client area (each pointer may be null); 0 when
// there is no such control.
int32_t GetPosition(
    const char* kind, int32_t id, int32_t* left, int32_t* top, int32_t* width, int32_t* height);
void SetControlText(int32_t id, const char* text);  // a "BUTTON" caption; null: empty
// 1 enables, 0 disables; the platform's answer (nonzero: it was disabled), 0 for no control.
int32_t EnableControl(const char* kind, int32_t id, int32_t flag);
void SetControlVisible_(const char* kind, int32_t id, int32_t flag);  // > 0 shows
// The id of the control (the item id of the menu item) whose callback the calling callback
// thread runs; on other threads the one fired last on the current window; -1 when none.
int32_t getcallbackcontrolid();
int32_t getmenuhandlerid();

// The per-kind families.
void setbuttonposition(int32_t id, int32_t left, int32_t top, int32_t width, int32_t height);
void setcheckboxposition(int32_t id, int32_t left, int32_t top, int32_t width, int32_t height);
void setradiobuttonposition(int32_t id, int32_t left, int32_t top, int32_t width, int32_t height);
void setscrollbarposition(int32_t id, int32_t left, int32_t top, int32_t width, int32_t height);
void settextboxposition(int32_t id, int32_t left, int32_t top, int32_t width, int32_t height);
void setlistboxposition(int32_t id, int32_t left, int32_t top, int32_t width, int32_t height);
void setdropdownlistposition(int32_t id, int32_t left, int32_t top, int32_t width, int32_t height);
int32_t getbuttonposition(int32_t id, int32_t* left, int32_t* top, int32_t* width, int32_t* height);
int32_t getcheckboxposition(
    int32_t id, int32_t* left, int32_t* top, int32_t* width, int32_t* height);
int32_t getradiobuttonposition(
    int32_t id, int32_t* left, int32_t* top, int32_t* width, int32_t* height);
int32_t getscrollbarposition(
    int32_t id, int32_t* left, int32_t* top, int32_t* width, int32_t* height);
int32_t gettextboxposition(
    int32_t id, int32_t* left, int32_t* top, int32_t* width, int32_t* height);
int32_t getlistboxposition(
    int32_t id, int32_t* left, int32_t* top, int32_t* width, int32_t* height);
int32_t getdropdownlistposition(
    int32_t id, int32_t* left, int32_t* top, int32_t* width, int32_t* height);
void setbuttonvisible(int32_t id, int32_t flag);
void setcheckboxvisible(int32_t id, int32_t flag);
void setradiobuttonvisible(int32_t id, int32_t flag);
void setscrollbarvisible(int32_t id, int32_t flag);
void settextboxvisible(int32_t id, int32_t flag);
void setlistboxvisible(int32_t id, int32_t flag);
void setdropdownlistvisible(int32_t id, int32_t flag);
void setbuttontext(int32_t id, const char* text);
void setcheckboxtext(int32_t id, const char* text);
void setradiobuttontext(int32_t id, const char* text);

}  // namespace gk
