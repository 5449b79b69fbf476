// Feeds arbitrary bytes to the picture reader (bitmaps, icons, PNG, JPEG, GIF, metafiles);
// whatever it accepts must have a size within the page limit and draw onto a small page at its
// own size, shrunk and stretched past the page's edges.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/gfx/device_context.hpp"
#include "platform/image/bmp.hpp"
#include "platform/image/metafile.hpp"
#include "platform/image/picture.hpp"

// Drawing scales the whole visible part of a raster picture; it is kept to pictures small
// enough to afford per input. Playing a metafile costs what its records draw, whatever its
// size, so every metafile is drawn.
constexpr int64_t kDrawnPixels = int64_t{1} << 16;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const auto picture = platform::decode_picture(bytes);
  if (!picture) return 0;
  const int64_t pixels = int64_t{picture->width()} * picture->height();
  if (picture->width() <= 0 || picture->height() <= 0 || pixels > platform::kMaxBmpPixels) {
    __builtin_trap();
  }
  if (pixels > kDrawnPixels && !platform::Metafile::decode(bytes)) return 0;
  platform::Page page(24, 16);
  platform::DeviceContext dc(page);
  picture->render(dc, {0, 0, picture->width(), picture->height()});
  picture->render(dc, {3, 2, 5, 4});
  picture->render(dc, {-7, -5, 40, 30});
  return 0;
}
