// Feeds arbitrary bytes to the PNG decoder: it must neither read nor write out of bounds, and
// whatever it accepts must have a size within the pixel limit; whatever it refuses has a reason.
// Odd sizes ask for the alpha too, which must come as a page of the same size.
#include <cstddef>
#include <cstdint>
#include <span>

#include "decoded_check.hpp"
#include "platform/image/png_decode.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool with_alpha = size % 2 == 1;
  platform::Page opacity;
  platform::DecodeError error = platform::DecodeError::None;
  const auto page = platform::decode_png(
      std::span<const uint8_t>(data, size), with_alpha ? &opacity : nullptr, &error);
  check_decoded(page, error);
  if (page && with_alpha &&
      (opacity.width() != page->width() || opacity.height() != page->height())) {
    __builtin_trap();
  }
  return 0;
}
