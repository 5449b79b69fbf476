// The clipboard's text: one process-wide store of plain 8-bit text, guarded for use from any
// thread. A display backend that owns a system clipboard serves this text to other programs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::clipboard {

// Replaces the clipboard's contents with the text.
void set_text(std::string_view text);
// The clipboard's text, or nothing when it holds none.
std::optional<std::string> text();
// Empties the clipboard (for tests).
void reset();

}  // namespace platform::clipboard
