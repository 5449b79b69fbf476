#include "platform/text/clipboard.hpp"

#include <mutex>

namespace platform::clipboard {
namespace {

std::mutex mutex;
std::optional<std::string> contents;

}  // namespace

void set_text(std::string_view text) {
  std::lock_guard lock(mutex);
  contents = std::string(text);
}

std::optional<std::string> text() {
  std::lock_guard lock(mutex);
  return contents;
}

void reset() {
  std::lock_guard lock(mutex);
  contents.reset();
}

}  // namespace platform::clipboard
