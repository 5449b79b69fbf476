#include "platform/image/bmp_rle.hpp"

#include <algorithm>

namespace platform {

bool decode_rle(std::span<const uint8_t> stream,
                uint32_t compression,
                std::span<const Pixel> colours,
                Page* page) {
  const bool four = compression == kBmpRle4;
  const int64_t width = page ? page->width() : 0;
  const int64_t height = page ? page->height() : 0;
  // Position in 64 bits: every two bytes of a stream may move it by up to 255.
  int64_t x = 0, y = 0;  // y counts rows from the bottom
  // Writes the n pixels from x on whose indices `index_of(i)` gives, i = 0..n-1; only those
  // inside the image are touched, so no code can reach outside the page.
  const auto run = [&](uint32_t n, auto index_of) {
    if (y < height && x < width) {
      Pixel* row = page->row(static_cast<int>(height - 1 - y));
      const int64_t end = std::min<int64_t>(x + n, width);
      for (int64_t at = x; at < end; ++at) {
        const uint32_t index = index_of(static_cast<uint32_t>(at - x));
        row[at] = index < colours.size() ? colours[index] : 0;
      }
    }
    x += n;
  };
  size_t at = 0;
  while (stream.size() - at >= 2) {
    const uint32_t n = stream[at], c = stream[at + 1];
    at += 2;
    if (n > 0) {  // encoded run
      run(n, [&](uint32_t i) { return four ? (i % 2 ? c & 0xF : c >> 4) : c; });
    } else if (c == 0) {  // end of line
      x = 0;
      ++y;
    } else if (c == 1) {  // end of bitmap
      return true;
    } else if (c == 2) {  // delta
      if (stream.size() - at < 2) return false;
      x += stream[at];
      y += stream[at + 1];
      at += 2;
    } else {  // absolute mode: c indices, their bytes padded to an even count
      const size_t bytes = four ? (c + 1) / 2 : c;
      if (stream.size() - at < bytes + bytes % 2) return false;
      const uint8_t* data = stream.data() + at;
      run(c, [&](uint32_t i) { return four ? (data[i / 2] >> (i % 2 ? 0 : 4)) & 0xF : data[i]; });
      at += bytes + bytes % 2;
    }
  }
  return false;  // no end-of-bitmap mark
}

}  // namespace platform
