// GIF pictures: the first frame, decoded by giflib a row at a time onto a page of the logical
// screen's size. The screen's size is checked against kMaxBmpPixels before any pixel is
// decoded. Pixels the frame leaves uncovered take the screen's background colour when it
// names one (index above 0, in the screen's colour table, whatever table the frame has), else
// black; the frame's transparent pixels and an index beyond the colour table are black. A
// frame that does not lie within the screen, or without a colour table, is refused.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/gfx/page.hpp"
#include "platform/image/decode_error.hpp"

namespace platform {

// True for the "GIF87a" and "GIF89a" signatures.
bool is_gif(std::span<const uint8_t> bytes);

// The first frame's colours; nothing when it cannot be read (`error` says why).
std::optional<Page> decode_gif(std::span<const uint8_t> bytes, DecodeError* error = nullptr);

}  // namespace platform
