#include "toolkit/text_conversion.hpp"

#include <algorithm>
#include <cstring>

namespace gk {

void useansitext() { ansi_mode_ = true; }

platform::CodePage code_page() {
  return ansi_mode_ ? platform::CodePage::Ansi : platform::CodePage::Utf8;
}

std::u16string to_wide(std::string_view text) { return platform::to_utf16(text, code_page()); }

std::string from_wide(std::u16string_view wide) { return platform::from_utf16(wide, code_page()); }

std::optional<std::u16string> utf8_to_wide(const char* text) {
  if (!text) return std::nullopt;
  return to_wide(text);
}

std::optional<std::string> wide_to_utf8(const char16_t* wide, int32_t* size) {
  if (!wide) {
    if (size) *size = 0;
    return std::nullopt;
  }
  std::string text = from_wide(wide);
  if (size) *size = static_cast<int32_t>(text.size()) + 2;  // terminator, plus one
  return text;
}

std::string to_platform(std::string_view text) {
  if (code_page() == platform::CodePage::Utf8) return std::string(text);
  return platform::utf16_to_utf8(platform::cp1252_to_utf16(text));
}

std::string from_platform(std::string_view utf8) {
  if (code_page() == platform::CodePage::Utf8) return std::string(utf8);
  return platform::utf16_to_cp1252(platform::utf8_to_utf16(utf8));
}

int32_t copy_to_buffer(std::string_view text, char* buffer, int32_t length) {
  if (buffer == nullptr || length < 1) return 0;
  size_t n = std::min(text.size(), static_cast<size_t>(length) - 1);
  if (n < text.size() && code_page() == platform::CodePage::Utf8) {
    // Back up over continuation bytes to the start of the character that did not fit.
    while (n > 0 && (static_cast<uint8_t>(text[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<int32_t>(n);
}

void reset_text_conversion() { ansi_mode_ = false; }

}  // namespace gk
