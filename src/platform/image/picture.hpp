// Picture files decoded into pages: Windows bitmaps through the bitmap reader, PNG, JPEG and
// GIF (its first frame) through stb_image. Transparency is dropped; icons and metafiles are
// not read. Pictures above kMaxBmpPixels are refused before any pixel is decoded.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/gfx/page.hpp"

namespace platform {

std::optional<Page> decode_picture(std::span<const uint8_t> bytes);
std::optional<Page> load_picture(const std::string& path);

}  // namespace platform
