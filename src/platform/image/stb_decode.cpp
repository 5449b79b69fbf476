#include "platform/image/stb_decode.hpp"

#include <algorithm>
#include <array>
#include <limits>

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

namespace platform {

bool is_png(std::span<const uint8_t> bytes) {
  constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return bytes.size() >= kSignature.size() &&
         std::equal(kSignature.begin(), kSignature.end(), bytes.begin());
}

std::optional<Page> decode_stb(std::span<const uint8_t> bytes, Page* opacity) {
  if (bytes.empty() || bytes.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    return std::nullopt;
  }
  const int size = static_cast<int>(bytes.size());
  int width = 0, height = 0, channels = 0;
  // Check the declared size first, so a forged header cannot make the decoder allocate.
  if (!stbi_info_from_memory(bytes.data(), size, &width, &height, &channels)) return std::nullopt;
  if (width <= 0 || height <= 0 || int64_t{width} * height > kMaxBmpPixels) return std::nullopt;
  const int wanted = opacity ? 4 : 3;
  stbi_uc* decoded = stbi_load_from_memory(bytes.data(), size, &width, &height, &channels, wanted);
  if (!decoded) return std::nullopt;
  Page page(width, height);
  Page alpha(opacity ? width : 0, opacity ? height : 0);
  const stbi_uc* p = decoded;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x, p += wanted) {
      page.at(x, y) = (Pixel{p[0]} << 16) | (Pixel{p[1]} << 8) | p[2];
      if (opacity) alpha.at(x, y) = Pixel{p[3]} * 0x010101u;
    }
  }
  stbi_image_free(decoded);
  if (opacity) *opacity = std::move(alpha);
  return page;
}

}  // namespace platform
