// In-memory images: a copy of a block of a page that a program keeps and draws again.
//
// Layout (little-endian, 24-byte header, then the pixels):
//   0  type            32-bit, 0
//   4  width           32-bit, pixels
//   8  height          32-bit, pixels
//  12  bytes per row   32-bit, 4 x width
//  16  planes          16-bit, 1
//  18  bits per pixel  16-bit, 32
//  20  reserved        32-bit, 0 (the pixels follow the header directly)
//  24  pixels          height rows of width 0x00RRGGBB values, top row first (page format)
// An image travels as a byte span, so its capacity goes with it: an image whose header
// claims more pixels than its bytes hold is refused, and so is a target too small for what
// would be written into it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/gfx/page.hpp"

namespace gk {

inline constexpr int32_t kImageHeaderSize = 24;

// Bytes of an image of (w + 1) x (h + 1) pixels; 0 when that is empty or above 2^31 - 1.
int32_t imagesize(int32_t w, int32_t h);
// A zeroed buffer of imagesize(w, h) bytes; empty for size 0.
std::vector<uint8_t> mallocimage(int32_t w, int32_t h);
// Stretches the source image to width x height into the target (area averaging); false when
// the source is not a valid image, the size is not positive or the target is too small.
bool scaleimage(std::span<const uint8_t> source,
                std::span<uint8_t> target,
                int32_t width,
                int32_t height);
// The picture file as a new image, its size in pixels in width and height; empty when the
// file cannot be read as a picture, after readipicture's error box saying why. Transparent parts of the picture (icons) are black.
std::vector<uint8_t> loadimage(const char* filename, int32_t* width, int32_t* height);

// Copies the block (left, top)-(right, bottom) of the active page, corners included and in
// viewport coordinates, into the buffer; nothing when the buffer is too small. Pixels beyond
// the page read as black.
void getimage(int32_t left, int32_t top, int32_t right, int32_t bottom, std::span<uint8_t> buffer);
// Draws the image at (x, y) (viewport coordinates) with op 0 copy, 1 exclusive or, 2 or, 3 and,
// 4 inverted copy; other ops and invalid images draw nothing. Then refreshes the window.
void putimage(int32_t x, int32_t y, std::span<const uint8_t> image, int32_t op);

// The page an image holds; nothing when it is not a valid image.
std::optional<platform::Page> image_page(std::span<const uint8_t> image);
// Writes the page as an image into the buffer; false when the buffer is too small.
bool store_image(const platform::Page& page, std::span<uint8_t> buffer);

}  // namespace gk
