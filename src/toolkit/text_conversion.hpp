// The toolkit's text conversion: every text crossing the toolkit's interface is 8-bit text,
// UTF-8 until `useansitext` switches the whole process to the ANSI code page
// (Windows-1252); inside, text is UTF-16. Invalid input converts to U+FFFD, never fails.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/text_convert.hpp"

namespace gk {

// Set once by useansitext; never cleared outside tests.
inline std::atomic<bool> ansi_mode_{false};

void useansitext();
platform::CodePage code_page();

// UTF-16 form of a toolkit text; nothing for a null text.
std::optional<std::u16string> utf8_to_wide(const char* text);
// Toolkit (8-bit) form of a zero-terminated UTF-16 text; nothing for a null text. When `size`
// is given it receives the converted size in bytes including the terminator, plus one (0 for a
// null text).
std::optional<std::string> wide_to_utf8(const char16_t* wide, int32_t* size = nullptr);

// The same conversions on views, for the toolkit's own use.
std::u16string to_wide(std::string_view text);
std::string from_wide(std::u16string_view wide);

// Toolkit text to the platform's text (UTF-8: captions, dialog texts) and back; the same
// text unless the process uses the ANSI code page.
std::string to_platform(std::string_view text);
std::string from_platform(std::string_view utf8);

// Copies `text` into a caller's buffer of `length` bytes: at most length - 1 bytes, cut so that
// no UTF-8 character is split (in ANSI mode every byte is a character), then a NUL. Returns
// the bytes copied; nothing is written when the buffer is null or length < 1.
int32_t copy_to_buffer(std::string_view text, char* buffer, int32_t length);

void reset_text_conversion();

}  // namespace gk
