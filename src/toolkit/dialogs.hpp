// The toolkit's modal dialogs: message box, Yes/No question.
//
// Message kinds: 1 "Information" (information icon), 2 "Warning" (exclamation), 3 "Error"
// (stop), any other "Message" (no icon). A dialog is owned by the current window when there is
// one, runs on the calling thread and blocks it until it closes; the window's own thread keeps
// running its loop meanwhile. Pairs of carriage return and line feed in a text are line breaks.
#pragma once

#include <cstdint>
#include <string>

#include "platform/dialogs.hpp"

namespace gk {

// Title and icon of a message kind.
std::string message_title(int32_t kind);
platform::DialogIcon message_icon(int32_t kind);

// Modal box with an OK button; a null text shows nothing.
void dlgmessage(int32_t kind, const char* text);
// Modal box with Yes and No; 1 when the user answered Yes, 0 otherwise (also for a null text,
// which shows nothing).
int32_t dlgyesno(int32_t kind, const char* text);

}  // namespace gk
