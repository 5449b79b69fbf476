#include "toolkit/buttons.hpp"

#include "toolkit/controls.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/gk_wndproc.hpp"

namespace gk {
namespace {

Callback from_pointer(const Callback* callback) { return callback ? *callback : Callback(); }

// The check state of a button control, asked on the window thread; 0 for no control.
int32_t check_state(int32_t id) {
  WindowRef rec = GK__GetWindowDataPtrOrNull(0);
  if (!rec) return 0;
  return static_cast<int32_t>(run_on_window_thread(
      rec,
      [&]() -> int64_t {
        const Hwnd c = GetControl(*rec, kKindButton, id);
        if (c == 0) return 0;
        return window_system->send_message(c, platform::kMsgBmGetCheck) == platform::kBstChecked;
      },
      0));
}

}  // namespace

int32_t creategenericbutton(int32_t left,
                            int32_t top,
                            int32_t width,
                            int32_t height,
                            const char* caption,
                            Callback callback,
                            uint32_t style) {
  ControlRequest r;
  r.left = left;
  r.top = top;
  r.width = width;
  r.height = height;
  r.style = style;
  r.class_name = kKindButton;
  r.caption = caption ? caption : "";
  r.callback = std::move(callback);
  return create_control(r);
}

int32_t createbutton(int32_t left,
                     int32_t top,
                     int32_t width,
                     int32_t height,
                     const char* caption,
                     Callback callback) {
  return creategenericbutton(
      left, top, width, height, caption, std::move(callback), kPushButtonStyle);
}

int32_t createbutton_ptr(int32_t left,
                         int32_t top,
                         int32_t width,
                         int32_t height,
                         const char* caption,
                         const Callback* callback) {
  return createbutton(left, top, width, height, caption, from_pointer(callback));
}

int32_t createcheckbox(int32_t left,
                       int32_t top,
                       int32_t width,
                       int32_t height,
                       const char* caption,
                       Callback callback) {
  return creategenericbutton(
      left, top, width, height, caption, std::move(callback), kCheckBoxStyle);
}

int32_t createcheckbox_ptr(int32_t left,
                           int32_t top,
                           int32_t width,
                           int32_t height,
                           const char* caption,
                           const Callback* callback) {
  return createcheckbox(left, top, width, height, caption, from_pointer(callback));
}

// The radio-group flag is read and cleared on the window thread as the button is made, so
// two threads creating radio buttons cannot both start a group.
int32_t createradiobutton(int32_t left,
                          int32_t top,
                          int32_t width,
                          int32_t height,
                          const char* caption,
                          Callback callback) {
  return creategenericbutton(
      left, top, width, height, caption, std::move(callback), kRadioButtonStyle);
}

int32_t createradiobutton_ptr(int32_t left,
                              int32_t top,
                              int32_t width,
                              int32_t height,
                              const char* caption,
                              const Callback* callback) {
  return createradiobutton(left, top, width, height, caption, from_pointer(callback));
}

void beginradiogroup() {
  WindowRef rec = GK__GetWindowDataPtrOrNull(0);
  if (!rec) return;
  run_on_window_thread(
      rec,
      [&]() -> int64_t {
        if (!rec->control_table_lock.lock(kControlLockWaitMs)) return 0;
        rec->radio_group = 1;
        rec->control_table_lock.unlock();
        return 0;
      },
      0);
}

void removebutton(int32_t id) { remove_control(kKindButton, id); }
void removecheckbox(int32_t id) { removebutton(id); }
void removeradiobutton(int32_t id) { removebutton(id); }

void enablebutton(int32_t id, int32_t flag) { EnableControl(kKindButton, id, flag); }

int32_t checkboxischecked(int32_t id) { return check_state(id); }
int32_t radiobuttonischecked(int32_t id) { return check_state(id); }

void checkboxsetchecked(int32_t id, int32_t flag) {
  WindowRef rec = GK__GetWindowDataPtrOrNull(0);
  if (!rec) return;
  run_on_window_thread(
      rec,
      [&]() -> int64_t {
        const Hwnd c = GetControl(*rec, kKindButton, id);
        if (c != 0)
          window_system->send_message(
              c, platform::kMsgBmSetCheck, flag ? platform::kBstChecked : platform::kBstUnchecked);
        return 0;
      },
      0);
}

void radiobuttonsetchecked(int32_t id, int32_t flag) { checkboxsetchecked(id, flag); }

}  // namespace gk
