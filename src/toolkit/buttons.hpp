// Push buttons, check boxes and radio buttons: the "BUTTON" kind of controls.
//
// A click on a button runs its callback (if any) on a new callback thread; for check boxes
// and radio buttons the click has changed the checked state before the callback runs. Radio
// buttons form groups by creation order: the window's first radio button starts a group, and
// so does the first one created after `beginradiogroup`; the others join the group before
// them. Setting a radio button checked from the program leaves the others of its group alone.
//
// Ids are global control ids (controls.hpp); an unknown id makes every function do nothing
// and the queries answer 0.
#pragma once

#include <cstdint>

#include "toolkit/gk_record.hpp"

namespace gk {

// Style bits of the three kinds.
inline constexpr uint32_t kPushButtonStyle = 0;
inline constexpr uint32_t kCheckBoxStyle = 3;
inline constexpr uint32_t kRadioButtonStyle = 9;

// The creator behind all six: a control of the "BUTTON" kind with `style`; its id or -1.
int32_t creategenericbutton(int32_t left,
                            int32_t top,
                            int32_t width,
                            int32_t height,
                            const char* caption,
                            Callback callback,
                            uint32_t style);
int32_t createbutton(int32_t left,
                     int32_t top,
                     int32_t width,
                     int32_t height,
                     const char* caption,
                     Callback callback);
// The pointer forms: no callback when the pointer is null.
int32_t createbutton_ptr(int32_t left,
                         int32_t top,
                         int32_t width,
                         int32_t height,
                         const char* caption,
                         const Callback* callback);
int32_t createcheckbox(int32_t left,
                       int32_t top,
                       int32_t width,
                       int32_t height,
                       const char* caption,
                       Callback callback);
int32_t createcheckbox_ptr(int32_t left,
                           int32_t top,
                           int32_t width,
                           int32_t height,
                           const char* caption,
                           const Callback* callback);
int32_t createradiobutton(int32_t left,
                          int32_t top,
                          int32_t width,
                          int32_t height,
                          const char* caption,
                          Callback callback);
int32_t createradiobutton_ptr(int32_t left,
                              int32_t top,
                              int32_t width,
                              int32_t height,
                              const char* caption,
                              const Callback* callback);
void beginradiogroup();

// Removes the button; once it returns no callback of it runs any more (see remove_control).
void removebutton(int32_t id);
void removecheckbox(int32_t id);
void removeradiobutton(int32_t id);

void enablebutton(int32_t id, int32_t flag);  // 1 enables, 0 greys

int32_t checkboxischecked(int32_t id);  // 1 when checked
int32_t radiobuttonischecked(int32_t id);
void checkboxsetchecked(int32_t id, int32_t flag);
void radiobuttonsetchecked(int32_t id, int32_t flag);

}  // namespace gk
