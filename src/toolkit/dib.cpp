#include "toolkit/dib.hpp"

#include <algorithm>
#include <cstdio>

#include "platform/image/bmp.hpp"
#include "toolkit/gk_window.hpp"

namespace gk {
namespace {

constexpr uint32_t kInfoHeader = 40;
constexpr uint32_t kCoreHeader = 12;

uint32_t get16(const std::vector<uint8_t>& b, size_t at) {
  return at + 2 <= b.size() ? b[at] | (b[at + 1] << 8) : 0;
}
uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
  return get16(b, at) | (get16(b, at + 2) << 16);
}
void set32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void set16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

bool core(const PackedDib& dib) { return get32(dib.bytes, 0) == kCoreHeader; }
uint32_t bits_of(const PackedDib& dib) { return get16(dib.bytes, core(dib) ? 10 : 14); }

uint64_t image_size(uint64_t bits, uint64_t width, uint64_t height) {
  return ((bits * width + 31) / 32) * 4 * height;
}

// Colour-table bytes in 64 bits: a colours-used field may hold any 32-bit value.
uint64_t palette_bytes(const PackedDib& dib) {
  return uint64_t{static_cast<uint32_t>(DIBNumColors(dib))} * (core(dib) ? 3 : 4);
}

}  // namespace

Dib CreateDIB(int32_t width, int32_t height, int32_t bits) {
  if (width <= 0 || height <= 0 || int64_t{width} * height > platform::kMaxBmpPixels) {
    return nullptr;
  }
  const uint32_t rounded = bits <= 1 ? 1 : bits <= 4 ? 4 : bits <= 8 ? 8 : bits <= 24 ? 24 : 4;
  const uint32_t colours = rounded <= 8 ? 1u << rounded : 0;
  const uint64_t image = image_size(rounded, static_cast<uint64_t>(width), height);
  auto dib = std::make_unique<PackedDib>();
  dib->bytes.assign(kInfoHeader + 4 * colours + image, 0);
  set32(dib->bytes, 0, kInfoHeader);
  set32(dib->bytes, 4, static_cast<uint32_t>(width));
  set32(dib->bytes, 8, static_cast<uint32_t>(height));
  set16(dib->bytes, 12, 1);
  set16(dib->bytes, 14, rounded);
  set32(dib->bytes, 20, static_cast<uint32_t>(image));
  return dib;
}

size_t FindDIBBits(const PackedDib& dib) { return get32(dib.bytes, 0) + palette_bytes(dib); }

int32_t DIBWidth(const PackedDib& dib) {
  return core(dib) ? static_cast<int32_t>(get16(dib.bytes, 4))
                   : static_cast<int32_t>(get32(dib.bytes, 4));
}

int32_t DIBHeight(const PackedDib& dib) {
  return core(dib) ? static_cast<int32_t>(get16(dib.bytes, 6))
                   : static_cast<int32_t>(get32(dib.bytes, 8));
}

int32_t DIBNumColors(const PackedDib& dib) {
  if (!core(dib)) {
    const uint32_t used = get32(dib.bytes, 32);
    if (used != 0) return static_cast<int32_t>(used);
  }
  const uint32_t bits = bits_of(dib);
  return bits == 1 ? 2 : bits == 4 ? 16 : bits == 8 ? 256 : 0;
}

int32_t PaletteSize(const PackedDib& dib) {
  return static_cast<int32_t>(std::min<uint64_t>(palette_bytes(dib), INT32_MAX));
}

Dib BitmapToDIB(const platform::Page& bitmap) {
  if (bitmap.width() == 0 || bitmap.height() == 0) return nullptr;
  return std::make_unique<PackedDib>(PackedDib{platform::encode_dib24(bitmap)});
}

std::optional<platform::Page> DIBToBitmap(const PackedDib& dib) {
  return platform::decode_dib(dib.bytes);
}

int32_t SaveDIB(const PackedDib* dib, const std::string& filename) {
  if (!dib) return kDibMissing;
  // Only a complete packed bitmap with a 40-byte header is written, so a file is never made
  // from a header that does not describe the bytes behind it.
  if (get32(dib->bytes, 0) != kInfoHeader || dib->bytes.size() < kInfoHeader) {
    return kDibUnreadable;
  }
  std::vector<uint8_t> packed = dib->bytes;
  const int64_t height = static_cast<int32_t>(get32(packed, 8));
  const size_t pixels_at = FindDIBBits(*dib);
  if (pixels_at > packed.size()) return kDibUnreadable;
  if (get32(packed, 16) == 0) {  // uncompressed: the image size follows from the size
    // Rows are compared by division: the product may exceed 64 bits for a forged header.
    const uint64_t row = image_size(bits_of(*dib), get32(packed, 4), 1);
    const auto rows = static_cast<uint64_t>(height < 0 ? -height : height);
    if (row != 0 && rows > (packed.size() - pixels_at) / row) return kDibUnreadable;
    set32(packed, 20, static_cast<uint32_t>(row * rows));
  }
  std::vector<uint8_t> file = platform::bmp_file_header(static_cast<uint32_t>(packed.size()),
                                                        static_cast<uint32_t>(pixels_at));
  file.insert(file.end(), packed.begin(), packed.end());
  std::FILE* out = std::fopen(filename.c_str(), "wb");
  if (!out) return kDibFileError;
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  if (std::fclose(out) == 0 && written) return kDibSaved;
  std::remove(filename.c_str());  // never leave a truncated picture behind
  return kDibFileError;
}

void DestroyDIB(Dib& dib) { dib.reset(); }

Dib ReadDIBFile(std::span<const uint8_t> file) {
  auto packed = platform::dib_of_file(file);
  if (!packed) return nullptr;
  return std::make_unique<PackedDib>(PackedDib{std::move(*packed)});
}

Dib LoadDIB(const char* filename) {
  const auto bytes = filename ? platform::read_file_bytes(filename) : std::nullopt;
  if (!bytes) {
    showerrorbox("File not found");
    return nullptr;
  }
  return ReadDIBFile(*bytes);
}

}  // namespace gk
