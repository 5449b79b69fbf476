// PNG, JPEG and GIF (its first frame) pictures, decoded by stb_image. A picture whose header
// declares more than kMaxBmpPixels pixels is refused before any pixel is decoded.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/gfx/page.hpp"

namespace platform {

// True for the eight-byte PNG signature.
bool is_png(std::span<const uint8_t> bytes);

// The picture's colours; nothing when stb_image cannot read it. With `opacity` the alpha
// channel comes too, as a grey page of the same size (0 transparent to 0xFFFFFF opaque; all
// opaque for a picture without alpha); without it the alpha is dropped.
std::optional<Page> decode_stb(std::span<const uint8_t> bytes, Page* opacity = nullptr);

}  // namespace platform
