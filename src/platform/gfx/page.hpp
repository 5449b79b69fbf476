// An off-screen page: a rectangle of 32-bit pixels, black when created.
//
// Pixels are stored row by row from the top, each as 0x00RRGGBB (the layout of a 32-bit
// device-independent bitmap in memory and of a 24-bit TrueColor X visual), so a page is shown
// or written to a bitmap file without conversion. Colour values of the toolkit are
// red + 256*green + 65536*blue; `to_pixel`/`to_colorref` convert between the two orders.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace platform {

using Pixel = uint32_t;  // 0x00RRGGBB
using Color = uint32_t;  // toolkit colour value: R + 256 G + 65536 B

// Colour bits of a page pixel, in one plane: 8 each of red, green and blue (the top byte of the
// 32-bit pixel is unused). Displays show pages only at this depth.
inline constexpr int kPageDepth = 24;

// What a colour query answers for a pixel outside the page or the clip region.
constexpr Color kInvalidColor = 0xFFFFFFFFu;

// toolkit colour (R + 256 G + 65536 B) -> page pixel (0x00RRGGBB)
constexpr Pixel to_pixel(uint32_t colorref) {
  return ((colorref & 0xFFu) << 16) | (colorref & 0xFF00u) | ((colorref >> 16) & 0xFFu);
}
// page pixel -> toolkit colour
constexpr uint32_t to_colorref(Pixel p) {
  return ((p >> 16) & 0xFFu) | (p & 0xFF00u) | ((p & 0xFFu) << 16);
}

class Page {
 public:
  Page() = default;
  Page(int width, int height)
      : width_(width > 0 ? width : 0),
        height_(height > 0 ? height : 0),
        pixels_(static_cast<size_t>(width_) * height_, 0u) {}

  int width() const { return width_; }
  int height() const { return height_; }
  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

  // Unchecked access; callers clip first.
  Pixel& at(int x, int y) { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  Pixel at(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }

  Pixel* row(int y) { return pixels_.data() + static_cast<size_t>(y) * width_; }
  const Pixel* row(int y) const { return pixels_.data() + static_cast<size_t>(y) * width_; }
  Pixel* data() { return pixels_.data(); }
  const Pixel* data() const { return pixels_.data(); }

  void fill(Pixel p) { std::fill(pixels_.begin(), pixels_.end(), p); }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<Pixel> pixels_;
};

}  // namespace platform
