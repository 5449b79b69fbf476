#include "toolkit/clipboard.hpp"

#include <algorithm>
#include <cstring>

#include "platform/text/clipboard.hpp"
#include "toolkit/gk_window.hpp"

namespace gk {
namespace {

// The clipboard of the attached display; the process's own store when none is attached.
void store(const std::string& text) {
  if (window_system != nullptr)
    window_system->set_clipboard_text(text);
  else
    platform::clipboard::set_text(text);
}

std::optional<std::string> stored() {
  if (window_system == nullptr) return platform::clipboard::text();
  std::string text;
  if (!window_system->clipboard_text(text)) return std::nullopt;
  return text;
}

}  // namespace

void sendtoclipboard(const char* text) {
  if (!text || !*text) return;
  store(text);
}

int32_t getfromclipboard(char* buffer, int32_t size) {
  if (!buffer || size < 1) return 0;  // no byte may be written
  const auto text = stored();
  if (!text) return 0;
  const size_t copied = std::min(text->size(), static_cast<size_t>(size) - 1);
  std::memcpy(buffer, text->data(), copied);
  buffer[copied] = '\0';
  buffer[size - 1] = '\0';
  return static_cast<int32_t>(copied);
}

int32_t getclipboardtextlength() {
  const auto text = stored();
  return text ? static_cast<int32_t>(text->size()) : 0;
}

}  // namespace gk
