// The message box: a text, an icon and a row of buttons in a modal dialog.
//
// The title and the text are shown as given; the text is wrapped to at most half the
// screen's width (at least kMessageMinWrap pixels), its own line breaks kept. The icon stands
// at the left, the text beside it, the buttons centred below: OK, OK Cancel, Yes No or
// Yes No Cancel, the first the default and focused. Each button answers its own value; the
// close box and Escape answer `cancel_answer`.
#pragma once

#include <functional>

#include "platform/dialogs.hpp"
#include "platform/window_system.hpp"

namespace platform {

inline constexpr int32_t kMessageTextId = 0xFFFF;  // the STATIC holding the text
inline constexpr int32_t kMessageMinWrap = 200;

// What closing a box without a button answers: Cancel where there is a Cancel button, No for
// Yes/No, OK for a lone OK.
DialogAnswer cancel_answer(DialogButtons buttons);

// Shows the box on the calling thread until it is answered (see DialogWindow); `shown` as in
// DialogFrame.
DialogAnswer show_message_box(WindowSystem& system,
                              const MessageBoxRequest& request,
                              const std::function<void(Hwnd)>& shown);

}  // namespace platform
