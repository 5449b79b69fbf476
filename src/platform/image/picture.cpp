#include "platform/image/picture.hpp"

#include "platform/image/bmp.hpp"

// The one translation unit that holds stb_image's code; only the formats we read.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <stb_image.h>

#include <limits>

namespace platform {

std::optional<Page> decode_picture(std::span<const uint8_t> bytes) {
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return decode_bmp(bytes);
  if (bytes.empty() || bytes.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    return std::nullopt;
  }
  const int size = static_cast<int>(bytes.size());
  int width = 0, height = 0, channels = 0;
  // Check the declared size first, so a forged header cannot make the decoder allocate.
  if (!stbi_info_from_memory(bytes.data(), size, &width, &height, &channels)) return std::nullopt;
  if (width <= 0 || height <= 0 || int64_t{width} * height > kMaxBmpPixels) return std::nullopt;
  stbi_uc* rgb = stbi_load_from_memory(bytes.data(), size, &width, &height, &channels, 3);
  if (!rgb) return std::nullopt;
  Page page(width, height);
  const stbi_uc* p = rgb;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x, p += 3) {
      page.at(x, y) = (Pixel{p[0]} << 16) | (Pixel{p[1]} << 8) | p[2];
    }
  }
  stbi_image_free(rgb);
  return page;
}

std::optional<Page> load_picture(const std::string& path) {
  const auto bytes = read_file_bytes(path);
  if (!bytes) return std::nullopt;
  return decode_picture(*bytes);
}

}  // namespace platform
