// Feeds arbitrary bytes to the GIF decoder: it must neither read nor write out of bounds, and
// whatever it accepts must have a size within the pixel limit; whatever it refuses has a reason.
#include <cstddef>
#include <cstdint>
#include <span>

#include "decoded_check.hpp"
#include "platform/image/gif_decode.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::DecodeError error = platform::DecodeError::None;
  const auto page = platform::decode_gif(std::span<const uint8_t>(data, size), &error);
  check_decoded(page, error);
  return 0;
}
