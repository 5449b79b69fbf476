// The text-entry, password-entry and selection dialogs: a prompt, one field and "Ok" and
// "Cancel", laid out in dialog units (255 x 65, placed 30 units right of and below the top-left
// corner of the owner's client area, or of the screen):
//   "Ok"      id 1, default push button, at (163, 47), 40 x 14
//   "Cancel"  id 2, push button, at (205, 47), 40 x 14
//   prompt    id 1001, static text, at (10, 13), 239 x 8 (only when the request has one)
//   field     id 1002 at (10, 24): a one-line edit field of 235 x 14 holding the initial text
//             (its text hidden for a password), or a drop-down list of 235 x 67 (its list
//             included) holding the options with the first selected.
// The title is the request's, "Input Request" when it is empty. The focus starts in the field
// (an edit field with its text selected). "Ok" answers the field's text or the selected
// option; "Cancel", the close box and Escape answer nothing.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/dialogs.hpp"
#include "platform/window_system.hpp"

namespace platform {

inline constexpr int32_t kEntryOkId = 1;
inline constexpr int32_t kEntryCancelId = 2;
inline constexpr int32_t kEntryPromptId = 1001;
inline constexpr int32_t kEntryFieldId = 1002;

// Shows the dialogs on the calling thread until they are answered (see DialogWindow);
// `shown` as in DialogFrame.
std::optional<std::string> show_text_entry(WindowSystem& system,
                                           const TextEntryRequest& request,
                                           const std::function<void(Hwnd)>& shown);
std::optional<int32_t> show_selection(WindowSystem& system,
                                      const SelectionRequest& request,
                                      const std::function<void(Hwnd)>& shown);

}  // namespace platform
