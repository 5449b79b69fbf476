#include "toolkit/dib.hpp"

#include <algorithm>
#include <cstdio>

#include "platform/image/bmp.hpp"
#include "platform/image/decode_error.hpp"
#include "platform/image/picture_file.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/mouse.hpp"

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

// Bits per pixel and compression that a converted packed bitmap may have.
bool valid_format(uint32_t bits, uint32_t compression) {
  switch (bits) {
    case 1:
    case 24:
      return compression == kBiRgb;
    case 4:
      return compression == kBiRgb || compression == kBiRle4;
    case 8:
      return compression == kBiRgb || compression == kBiRle8;
    default:
      return false;
  }
}

// The standard palettes of ChangeDIBFormat, as 0x00RRGGBB.
std::vector<platform::Pixel> standard_palette(uint32_t bits) {
  if (bits == 1) return {0x000000, 0xFFFFFF};
  if (bits == 4) {
    return {0x000000,
            0x800000,
            0x008000,
            0x808000,
            0x000080,
            0x800080,
            0x008080,
            0xC0C0C0,
            0x808080,
            0xFF0000,
            0x00FF00,
            0xFFFF00,
            0x0000FF,
            0xFF00FF,
            0x00FFFF,
            0xFFFFFF};
  }
  // 3-3-2: index = r << 5 | g << 2 | b, levels round(i * 255 / (n - 1)).
  std::vector<platform::Pixel> pal(256);
  const auto level = [](uint32_t i, uint32_t n) { return (i * 255 + (n - 1) / 2) / (n - 1); };
  for (uint32_t i = 0; i < 256; ++i) {
    pal[i] = level(i >> 5, 8) << 16 | level((i >> 2) & 7, 8) << 8 | level(i & 3, 4);
  }
  return pal;
}

int32_t distance2(platform::Pixel a, platform::Pixel b) {
  int32_t d = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int32_t c =
        static_cast<int32_t>((a >> shift) & 0xFF) - static_cast<int32_t>((b >> shift) & 0xFF);
    d += c * c;
  }
  return d;
}

// Index of the palette colour nearest to p (the first of equally near ones). The 3-3-2 palette
// is a grid, so its nearest colour is the nearest level of each channel.
uint8_t nearest(const std::vector<platform::Pixel>& pal, platform::Pixel p) {
  if (pal.size() == 256) {
    const auto channel = [&](int shift, uint32_t levels, int index_shift) {
      const uint32_t v = (p >> shift) & 0xFF;
      const uint32_t below = v * (levels - 1) / 255;
      const uint32_t above = std::min(below + 1, levels - 1);
      const auto level = [&](uint32_t i) { return (i * 255 + (levels - 1) / 2) / (levels - 1); };
      const uint32_t i = v - level(below) <= level(above) - v ? below : above;
      return i << index_shift;
    };
    return static_cast<uint8_t>(channel(16, 8, 5) | channel(8, 8, 2) | channel(0, 4, 0));
  }
  uint8_t best = 0;
  for (size_t i = 1; i < pal.size(); ++i) {
    if (distance2(pal[i], p) < distance2(pal[best], p)) best = static_cast<uint8_t>(i);
  }
  return best;
}

// The pixels of a page in the given format, rows bottom-up: packed indices (or blue, green,
// red) padded to 4 bytes uncompressed; runs (count, index) with an end-of-line mark (0, 0)
// after each row and an end-of-bitmap mark (0, 1) compressed. An RLE4 run's byte repeats its
// index in both halves, so a run of one colour may have any length.
std::vector<uint8_t> encode_pixels(const platform::Page& page,
                                   uint32_t bits,
                                   uint32_t compression) {
  const int w = page.width(), h = page.height();
  const std::vector<platform::Pixel> pal =
      bits <= 8 ? standard_palette(bits) : std::vector<platform::Pixel>{};
  std::vector<uint8_t> out;
  std::vector<uint8_t> index(static_cast<size_t>(w));
  const auto stride = static_cast<size_t>(image_size(bits, static_cast<uint64_t>(w), 1));
  for (int y = h - 1; y >= 0; --y) {
    const platform::Pixel* row = page.row(y);
    if (bits == 24) {
      const size_t at = out.size();
      out.resize(at + stride, 0);
      for (int x = 0; x < w; ++x) {
        out[at + 3 * x] = static_cast<uint8_t>(row[x]);
        out[at + 3 * x + 1] = static_cast<uint8_t>(row[x] >> 8);
        out[at + 3 * x + 2] = static_cast<uint8_t>(row[x] >> 16);
      }
      continue;
    }
    for (int x = 0; x < w; ++x) index[x] = nearest(pal, row[x]);
    if (compression == kBiRgb) {
      const size_t at = out.size();
      out.resize(at + stride, 0);
      const uint32_t per_byte = 8 / bits;
      for (int x = 0; x < w; ++x) {
        const uint32_t shift = 8 - bits * (1 + x % per_byte);
        out[at + x / per_byte] |= static_cast<uint8_t>(index[x] << shift);
      }
      continue;
    }
    for (int x = 0; x < w;) {
      int run = 1;
      while (x + run < w && run < 255 && index[x + run] == index[x]) ++run;
      out.push_back(static_cast<uint8_t>(run));
      out.push_back(bits == 4 ? static_cast<uint8_t>(index[x] << 4 | index[x]) : index[x]);
      x += run;
    }
    out.push_back(0);
    out.push_back(0);
  }
  if (compression != kBiRgb) {
    out.push_back(0);
    out.push_back(1);
  }
  return out;
}

}  // namespace

Dib AllocRoomForDIB(std::span<const uint8_t> header, const platform::Page& bitmap) {
  if (header.size() < kInfoHeader) return nullptr;
  const std::vector<uint8_t> head(header.begin(), header.begin() + kInfoHeader);
  const auto width = static_cast<int32_t>(get32(head, 4));
  const auto height = static_cast<int32_t>(get32(head, 8));
  const uint32_t bits = get16(head, 14);
  const uint32_t compression = get32(head, 16);
  const uint64_t rows = height < 0 ? -int64_t{height} : height;
  // Only headers that describe a readable image of a size the bitmap reader takes.
  if (get32(head, 0) != kInfoHeader || width <= 0 || rows == 0 ||
      !valid_format(bits, compression) ||
      int64_t{width} * static_cast<int64_t>(rows) > platform::kMaxBmpPixels) {
    return nullptr;
  }
  const bool compressed = compression != kBiRgb;
  if (compressed && (height < 0 || bitmap.width() != width || bitmap.height() != height)) {
    return nullptr;
  }
  const uint32_t used = get32(head, 32);
  const uint32_t colours = used != 0 ? used : bits <= 8 ? 1u << bits : 0;
  if (bits > 8 ? used != 0 : colours > (1u << bits)) return nullptr;
  uint64_t image = get32(head, 20);
  if (image == 0) {
    image = compressed ? encode_pixels(bitmap, bits, compression).size()
                       : image_size(bits, static_cast<uint64_t>(width), rows);
  }
  auto dib = std::make_unique<PackedDib>();
  dib->bytes.assign(kInfoHeader + 4 * uint64_t{colours} + image, 0);
  std::copy(head.begin(), head.end(), dib->bytes.begin());
  set32(dib->bytes, 20, static_cast<uint32_t>(image));
  return dib;
}

Dib ChangeDIBFormat(const PackedDib& dib, int32_t bits, int32_t compression) {
  if (bits < 0 || compression < 0 ||
      !valid_format(static_cast<uint32_t>(bits), static_cast<uint32_t>(compression))) {
    return nullptr;
  }
  const std::optional<platform::Page> page = DIBToBitmap(dib);
  if (!page) return nullptr;
  std::vector<uint8_t> header(kInfoHeader, 0);
  set32(header, 0, kInfoHeader);
  set32(header, 4, static_cast<uint32_t>(page->width()));
  set32(header, 8, static_cast<uint32_t>(page->height()));
  set16(header, 12, 1);
  set16(header, 14, static_cast<uint32_t>(bits));
  set32(header, 16, static_cast<uint32_t>(compression));
  Dib out = AllocRoomForDIB(header, *page);
  if (!out) return nullptr;
  size_t at = kInfoHeader;
  if (bits <= 8) {
    for (const platform::Pixel c : standard_palette(static_cast<uint32_t>(bits))) {
      out->bytes[at++] = static_cast<uint8_t>(c);
      out->bytes[at++] = static_cast<uint8_t>(c >> 8);
      out->bytes[at++] = static_cast<uint8_t>(c >> 16);
      out->bytes[at++] = 0;
    }
  }
  const std::vector<uint8_t> pixels =
      encode_pixels(*page, static_cast<uint32_t>(bits), static_cast<uint32_t>(compression));
  std::copy(pixels.begin(), pixels.end(), out->bytes.begin() + static_cast<long>(at));
  return out;
}

Dib ChangeBitmapFormat(const platform::Page& bitmap, int32_t bits, int32_t compression) {
  const Dib dib = BitmapToDIB(bitmap);
  return dib ? ChangeDIBFormat(*dib, bits, compression) : nullptr;
}

std::optional<Palette> CreateDIBPalette(const PackedDib& dib) {
  const uint32_t header = get32(dib.bytes, 0);
  if (header != kInfoHeader && header != kCoreHeader) return std::nullopt;
  const uint64_t entry = core(dib) ? 3 : 4;
  const auto colours = static_cast<uint32_t>(DIBNumColors(dib));
  // A forged colours-used field must not read past the block.
  if (colours == 0 || header + colours * entry > dib.bytes.size()) return std::nullopt;
  Palette palette;
  palette.entries.resize(colours);
  for (uint32_t i = 0; i < colours; ++i) {
    const uint8_t* bgr = dib.bytes.data() + header + i * entry;
    palette.entries[i] = platform::Pixel{bgr[2]} << 16 | platform::Pixel{bgr[1]} << 8 | bgr[0];
  }
  return palette;
}

int32_t PalEntriesOnDevice(const platform::DeviceContext& /*dc*/) {
  constexpr int32_t kPlanes = 1;
  return int32_t{1} << (platform::kPageDepth * kPlanes);
}

std::optional<Palette> GetSystemPalette() {
  constexpr int kLargestPaletteDepth = 8;  // deeper displays show colours, not palette indices
  static_assert(platform::kPageDepth > kLargestPaletteDepth,
                "a palette-based page needs its system palette entries copied here");
  return std::nullopt;
}

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
  const std::string name = filename ? filename : "";
  std::string why;
  {
    const WaitCursor wait;
    const auto bytes = platform::read_picture_file(name, why);
    platform::BmpError error = platform::BmpError::None;
    auto packed = bytes ? platform::dib_of_file(*bytes, &error) : std::nullopt;
    if (packed) return std::make_unique<PackedDib>(PackedDib{std::move(*packed)});
    if (bytes) {
      why = platform::to_string(error == platform::BmpError::TooLarge
                                    ? platform::DecodeError::TooLarge
                                    : platform::DecodeError::NotPicture);
    }
  }
  showerrorbox(("Cannot read image " + name + ": " + why).c_str());
  return nullptr;
}

}  // namespace gk
