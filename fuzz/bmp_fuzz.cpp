// Feeds arbitrary bytes to the bitmap reader; whatever it accepts must have the size its
// header promised and survive being written again.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/image/bmp.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  platform::BmpError error = platform::BmpError::None;
  const auto page = platform::decode_bmp(bytes, &error);
  if (page.has_value() != (error == platform::BmpError::None)) __builtin_trap();
  if (page) {
    if (page->width() <= 0 || page->height() <= 0) __builtin_trap();
    const auto again = platform::decode_bmp(platform::encode_bmp24(*page));
    if (!again || again->width() != page->width() || again->height() != page->height()) {
      __builtin_trap();
    }
  }
  return 0;
}
