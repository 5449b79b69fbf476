#include "platform/image/stb_decode.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

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

namespace {

uint32_t get32be(std::span<const uint8_t> b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
         b[at + 3];
}

// stb_image copies an empty first IDAT chunk through a null buffer, which is undefined. Such
// chunks carry no data, so the PNG is read the same without them: `kept` receives the file
// without its empty IDAT chunks, and the result says whether there were any. Chunks that run
// past the file end the walk; stb_image refuses those itself.
bool drop_empty_png_data(std::span<const uint8_t> png, std::vector<uint8_t>& kept) {
  constexpr size_t kFrame = 12;  // length, type and CRC around the chunk's data
  bool dropped = false;
  size_t copied = 0;
  for (size_t at = 8; png.size() - at >= kFrame;) {
    const uint32_t length = get32be(png, at);
    if (length > png.size() - at - kFrame) break;
    const bool empty_data = length == 0 && std::equal(png.begin() + at + 4,
                                                      png.begin() + at + 8,
                                                      std::begin("IDAT"));
    if (empty_data) {
      kept.insert(kept.end(), png.begin() + copied, png.begin() + at);
      copied = at + kFrame;
      dropped = true;
    }
    at += kFrame + length;
  }
  if (dropped) kept.insert(kept.end(), png.begin() + copied, png.end());
  return dropped;
}

}  // namespace

std::optional<Page> decode_stb(std::span<const uint8_t> bytes, Page* opacity) {
  std::vector<uint8_t> repaired;
  if (is_png(bytes) && drop_empty_png_data(bytes, repaired)) bytes = repaired;
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
