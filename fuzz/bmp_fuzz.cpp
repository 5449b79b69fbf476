// Feeds arbitrary bytes to the bitmap reader; whatever it accepts must have the size its
// header promised, read the same through its packed bitmap (run lengths included) and survive
// being written again. What it refuses, the packed-bitmap reader refuses too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/image/bmp.hpp"

// A few bytes of run lengths may describe a page of up to kMaxBmpPixels; the checks that read
// and write every pixel again are kept to pages small enough to afford per input.
constexpr int64_t kCheckedPixels = int64_t{1} << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  platform::BmpError error = platform::BmpError::None;
  const auto page = platform::decode_bmp(bytes, &error);
  if (page.has_value() != (error == platform::BmpError::None)) __builtin_trap();
  const auto dib = platform::dib_of_file(bytes);
  if (dib.has_value() != page.has_value()) __builtin_trap();
  if (!page) return 0;
  if (page->width() <= 0 || page->height() <= 0) __builtin_trap();
  const int64_t pixels = int64_t{page->width()} * page->height();
  if (pixels > kCheckedPixels) return 0;
  const auto packed = platform::decode_dib(*dib);
  if (!packed || packed->width() != page->width() || packed->height() != page->height() ||
      !std::equal(page->data(), page->data() + pixels, packed->data())) {
    __builtin_trap();
  }
  const auto again = platform::decode_bmp(platform::encode_bmp24(*page));
  if (!again || again->width() != page->width() || again->height() != page->height()) {
    __builtin_trap();
  }
  return 0;
}
