#include "toolkit/text_conversion.hpp"

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

void reset_text_conversion() { ansi_mode_ = false; }

}  // namespace gk
