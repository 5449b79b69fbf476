#include "toolkit/images.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>

#include "platform/gfx/blit.hpp"
#include "platform/gfx/device_context.hpp"
#include "platform/image/bmp.hpp"
#include "platform/image/picture.hpp"
#include "platform/image/scale.hpp"
#include "toolkit/drawing_state.hpp"
#include "toolkit/image_files.hpp"

namespace gk {
namespace {

int32_t get32(std::span<const uint8_t> b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | b[at + i];
  return static_cast<int32_t>(v);
}
void set32(std::span<uint8_t> b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Bytes of an image of width x height pixels; nothing for an empty size or one above
// 2^31 - 1 bytes (imagesize makes none larger), checked before multiplying so that no size
// a caller or a forged header gives can overflow.
std::optional<int64_t> bytes_for(int64_t width, int64_t height) {
  constexpr int64_t kMaxPixelBytes = std::numeric_limits<int32_t>::max() - kImageHeaderSize;
  if (width <= 0 || height <= 0 || width > kMaxPixelBytes / 4 / height) return std::nullopt;
  return kImageHeaderSize + 4 * width * height;
}

// True when an image of width x height pixels fits into `bytes` bytes.
bool fits(int64_t width, int64_t height, size_t bytes) {
  const std::optional<int64_t> size = bytes_for(width, height);
  return size && *size <= static_cast<int64_t>(bytes);
}

// putimage's ops 0..4.
constexpr platform::RasterOp kOps[] = {platform::RasterOp::Copy,
                                       platform::RasterOp::Xor,
                                       platform::RasterOp::Or,
                                       platform::RasterOp::And,
                                       platform::RasterOp::InvertedCopy};

}  // namespace

int32_t imagesize(int32_t w, int32_t h) {
  const std::optional<int64_t> size = bytes_for(int64_t{w} + 1, int64_t{h} + 1);
  return size ? static_cast<int32_t>(*size) : 0;
}

std::vector<uint8_t> mallocimage(int32_t w, int32_t h) {
  return std::vector<uint8_t>(static_cast<size_t>(imagesize(w, h)), 0);
}

std::optional<platform::Page> image_page(std::span<const uint8_t> image) {
  if (image.size() < static_cast<size_t>(kImageHeaderSize)) return std::nullopt;
  const int32_t width = get32(image, 4), height = get32(image, 8);
  if (get32(image, 0) != 0 || get32(image, 12) != 4 * int64_t{width} ||
      !fits(width, height, image.size())) {
    return std::nullopt;
  }
  platform::Page page(width, height);
  std::memcpy(page.data(), image.data() + kImageHeaderSize, 4 * size_t(width) * height);
  return page;
}

bool store_image(const platform::Page& page, std::span<uint8_t> buffer) {
  if (!fits(page.width(), page.height(), buffer.size())) return false;
  const size_t pixel_bytes = 4 * static_cast<size_t>(page.width()) * page.height();
  std::memset(buffer.data(), 0, kImageHeaderSize);
  set32(buffer, 4, static_cast<uint32_t>(page.width()));
  set32(buffer, 8, static_cast<uint32_t>(page.height()));
  set32(buffer, 12, static_cast<uint32_t>(4 * page.width()));
  buffer[16] = 1;   // planes
  buffer[18] = 32;  // bits per pixel
  std::memcpy(buffer.data() + kImageHeaderSize, page.data(), pixel_bytes);
  return true;
}

bool scaleimage(std::span<const uint8_t> source,
                std::span<uint8_t> target,
                int32_t width,
                int32_t height) {
  if (!fits(width, height, target.size())) return false;
  const auto page = image_page(source);
  if (!page) return false;
  return store_image(platform::scale_page(*page, width, height), target);
}

std::vector<uint8_t> loadimage(const char* filename, int32_t* width, int32_t* height) {
  std::optional<platform::Page> page;
  {
    // Drawn on a new (black) page: transparent parts of the picture stay black. The picture
    // goes before the image is made, so that only two copies of its pixels are ever held.
    const auto picture = filename ? readipicture(filename) : std::nullopt;
    if (!picture || !bytes_for(picture->width(), picture->height())) return {};
    page.emplace(picture->width(), picture->height());
    platform::DeviceContext dc(*page);
    picture->render(dc, {0, 0, page->width(), page->height()});
  }
  std::vector<uint8_t> image(static_cast<size_t>(*bytes_for(page->width(), page->height())));
  store_image(*page, image);
  if (width) *width = page->width();
  if (height) *height = page->height();
  return image;
}

void getimage(int32_t left, int32_t top, int32_t right, int32_t bottom, std::span<uint8_t> buffer) {
  const int64_t width = std::abs(int64_t{right} - left) + 1;
  const int64_t height = std::abs(int64_t{bottom} - top) + 1;
  if (!fits(width, height, buffer.size())) return;
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  const platform::Point corner =
      lease.dc().to_device({std::min(left, right), std::min(top, bottom)});
  const platform::Page& page = lease.dc().page();
  platform::Page block(static_cast<int>(width), static_cast<int>(height));
  for (int y = 0; y < block.height(); ++y) {
    for (int x = 0; x < block.width(); ++x) {
      const int64_t px = int64_t{corner.x} + x, py = int64_t{corner.y} + y;
      if (px >= 0 && py >= 0 && px < page.width() && py < page.height()) {
        block.at(x, y) = page.at(static_cast<int>(px), static_cast<int>(py));
      }
    }
  }
  store_image(block, buffer);
}

void putimage(int32_t x, int32_t y, std::span<const uint8_t> image, int32_t op) {
  DcLease lease = GK__GetCompatDC(0);
  if (!lease) return;
  const auto page = image_page(image);
  if (page && op >= 0 && op <= 4) {
    platform::bit_blt(lease.dc(), x, y, page->width(), page->height(), *page, 0, 0, kOps[op]);
  }
  refresh_drawn(lease.record(), nullptr);
}

}  // namespace gk
