#include "toolkit/clipboard.hpp"

#include <algorithm>
#include <cstring>

#include "platform/text/clipboard.hpp"

namespace gk {

void sendtoclipboard(const char* text) {
  if (!text || !*text) return;
  platform::clipboard::set_text(text);
}

int32_t getfromclipboard(char* buffer, int32_t size) {
  if (!buffer || size < 1) return 0;  // no byte may be written
  const auto text = platform::clipboard::text();
  if (!text) return 0;
  const size_t copied = std::min(text->size(), static_cast<size_t>(size) - 1);
  std::memcpy(buffer, text->data(), copied);
  buffer[copied] = '\0';
  buffer[size - 1] = '\0';
  return static_cast<int32_t>(copied);
}

int32_t getclipboardtextlength() {
  const auto text = platform::clipboard::text();
  return text ? static_cast<int32_t>(text->size()) : 0;
}

}  // namespace gk
