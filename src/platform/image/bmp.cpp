#include "platform/image/bmp.hpp"

#include <cstdio>

#include "platform/image/bmp_rle.hpp"
#include "platform/image/le_bytes.hpp"
#include "platform/image/picture_file.hpp"

namespace platform {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kBitFields = 3;  // compression value of pixels described by colour masks

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}
void set32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

int64_t stride_of(int64_t bits, int64_t width) { return ((bits * width + 31) / 32) * 4; }

struct Header {
  int64_t width = 0;
  int64_t height = 0;  // absolute
  bool top_down = false;
  uint32_t bits = 0;
  uint32_t colours = 0;  // colour-table entries used for lookup
  size_t palette_at = 0;
  uint64_t pixels_at = 0;
  uint32_t compression = 0;  // 0, or kBmpRle8 / kBmpRle4 (colour masks are read as 0)
  uint64_t image_bytes = 0;  // bytes of pixels from pixels_at
  bool has_mask = false;     // a masked bitmap's mask rows follow its colour rows
};

BmpError fail(BmpError* error, BmpError why) {
  if (error) *error = why;
  return why;
}

// Parses the info header at `info_at` with its colour table; the pixels start at `offset`
// bytes from the buffer's start, or right after the table when it is 0. The header height of a
// masked bitmap (an icon's image) counts its colour rows and the 1-bit mask rows after them.
BmpError parse_info(
    std::span<const uint8_t> b, size_t info_at, uint32_t offset, Header& h, bool masked = false) {
  if (b.size() < info_at + 4) return BmpError::Truncated;
  const uint32_t header_size = get32(b, info_at);
  if (header_size != 40 && header_size != 52 && header_size != 56 && header_size != 108 &&
      header_size != 124) {
    return BmpError::BadHeader;
  }
  if (b.size() < info_at + header_size) return BmpError::Truncated;
  const auto width = static_cast<int32_t>(get32(b, info_at + 4));
  const auto height = static_cast<int32_t>(get32(b, info_at + 8));
  // INT32_MIN has no positive counterpart, so it cannot be a top-down height.
  if (width <= 0 || height == 0 || height == INT32_MIN || get16(b, info_at + 12) != 1) {
    return BmpError::BadHeader;
  }
  // A mask row for every colour row, both bottom-up.
  if (masked && (height < 0 || height % 2 != 0)) return BmpError::BadHeader;
  h.width = width;
  h.height = height < 0 ? -int64_t{height} : masked ? height / 2 : height;
  h.top_down = height < 0;
  h.bits = get16(b, info_at + 14);
  if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 24 && h.bits != 32) {
    return BmpError::Unsupported;
  }
  // Uncompressed, or 32-bit pixels with colour masks that are the usual byte layout.
  const uint32_t compression = get32(b, info_at + 16);
  size_t masks_after_header = 0;
  if (compression == kBitFields && h.bits == 32) {
    masks_after_header = header_size == 40 ? 12 : 0;  // a 40-byte header keeps them behind
    if (b.size() < info_at + 52) return BmpError::Truncated;
    if (get32(b, info_at + 40) != 0xFF0000 || get32(b, info_at + 44) != 0xFF00 ||
        get32(b, info_at + 48) != 0xFF) {
      return BmpError::Unsupported;
    }
  } else if (!masked && (compression == kBmpRle8 || compression == kBmpRle4)) {
    // Run lengths come with their own bits per pixel and only bottom-up.
    if (h.bits != (compression == kBmpRle8 ? 8u : 4u) || h.top_down) return BmpError::Unsupported;
    h.compression = compression;
  } else if (compression != 0) {
    return BmpError::Unsupported;
  }
  if (h.width * h.height > kMaxBmpPixels) return BmpError::TooLarge;
  const uint32_t used = get32(b, info_at + 32);
  uint64_t table_entries = 0;
  if (h.bits <= 8) {
    if (used > (1u << h.bits)) return BmpError::BadColours;
    h.colours = used != 0 ? used : 1u << h.bits;
    table_entries = h.colours;
  } else {
    table_entries = used;  // an optional table the pixels do not use, skipped
  }
  h.palette_at = info_at + header_size + masks_after_header;
  const uint64_t table_end = h.palette_at + 4 * table_entries;
  if (table_end > b.size()) return BmpError::Truncated;
  h.pixels_at = offset != 0 ? offset : table_end;
  if (h.pixels_at < table_end) return BmpError::BadOffset;
  if (h.pixels_at > b.size()) return BmpError::Truncated;
  if (h.compression == 0) {
    h.image_bytes = static_cast<uint64_t>(stride_of(h.bits, h.width) * h.height);
    const auto mask_bytes = static_cast<uint64_t>(stride_of(1, h.width) * h.height);
    // Many writers leave the mask out of a 32-bit image, whose alpha says what is transparent.
    h.has_mask = masked && (h.bits != 32 || h.pixels_at + h.image_bytes + mask_bytes <= b.size());
    if (h.has_mask) h.image_bytes += mask_bytes;
  } else {
    // A compressed image has the length its header gives, or runs to the end when that is 0.
    const uint32_t given = get32(b, info_at + 20);
    h.image_bytes = given != 0 ? given : b.size() - h.pixels_at;
  }
  if (h.pixels_at + h.image_bytes > b.size()) return BmpError::Truncated;
  // Streams are walked before any page is made, so a broken one costs no page memory.
  if (h.compression != 0 &&
      !decode_rle(b.subspan(h.pixels_at, h.image_bytes), h.compression, {}, nullptr)) {
    return BmpError::Truncated;
  }
  return BmpError::None;
}

BmpError parse_file(std::span<const uint8_t> b, Header& h) {
  if (b.size() < kFileHeaderSize) return BmpError::Truncated;
  if (b[0] != 'B' || b[1] != 'M') return BmpError::NotBitmap;
  return parse_info(b, kFileHeaderSize, get32(b, 10), h);
}

Pixel palette_pixel(std::span<const uint8_t> b, const Header& h, uint32_t index) {
  if (index >= h.colours) return 0;  // outside the table: black rather than a wild read
  const size_t at = h.palette_at + 4 * static_cast<size_t>(index);
  return (Pixel{b[at + 2]} << 16) | (Pixel{b[at + 1]} << 8) | b[at];
}

void decode_row(std::span<const uint8_t> b, const Header& h, const uint8_t* row, Pixel* out) {
  for (int64_t x = 0; x < h.width; ++x) {
    switch (h.bits) {
      case 1:
        out[x] = palette_pixel(b, h, (row[x >> 3] >> (7 - (x & 7))) & 1);
        break;
      case 4:
        out[x] = palette_pixel(b, h, (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF);
        break;
      case 8:
        out[x] = palette_pixel(b, h, row[x]);
        break;
      default: {
        const uint8_t* p = row + x * (h.bits / 8);
        out[x] = (Pixel{p[2]} << 16) | (Pixel{p[1]} << 8) | p[0];
      }
    }
  }
}

Page decode_pixels(std::span<const uint8_t> bytes, const Header& h) {
  Page page(static_cast<int>(h.width), static_cast<int>(h.height));
  if (h.compression != 0) {
    std::vector<Pixel> colours(h.colours);
    for (uint32_t i = 0; i < h.colours; ++i) colours[i] = palette_pixel(bytes, h, i);
    decode_rle(bytes.subspan(h.pixels_at, h.image_bytes), h.compression, colours, &page);
    return page;
  }
  const int64_t stride = stride_of(h.bits, h.width);
  for (int64_t r = 0; r < h.height; ++r) {
    const uint8_t* row = bytes.data() + h.pixels_at + r * stride;
    const int64_t y = h.top_down ? r : h.height - 1 - r;
    decode_row(bytes, h, row, page.row(static_cast<int>(y)));
  }
  return page;
}

// The alpha bytes of 32-bit pixels as a grey page; nothing when every one is 0 (the pixels
// then carry no alpha).
std::optional<Page> alpha_of(std::span<const uint8_t> b, const Header& h) {
  const uint8_t* pixels = b.data() + h.pixels_at;
  const size_t count = static_cast<size_t>(h.width * h.height);
  bool any = false;
  for (size_t i = 0; i < count && !any; ++i) any = pixels[4 * i + 3] != 0;
  if (!any) return std::nullopt;
  Page alpha(static_cast<int>(h.width), static_cast<int>(h.height));
  for (int64_t r = 0; r < h.height; ++r) {
    const uint8_t* row = pixels + 4 * r * h.width;
    Pixel* out = alpha.row(static_cast<int>(h.height - 1 - r));
    for (int64_t x = 0; x < h.width; ++x) out[x] = Pixel{row[4 * x + 3]} * 0x010101u;
  }
  return alpha;
}

// The 1-bit mask after the colour rows as a grey page: a set bit is transparent (black).
Page mask_of(std::span<const uint8_t> b, const Header& h) {
  const int64_t stride = stride_of(1, h.width);
  const uint8_t* mask = b.data() + h.pixels_at + stride_of(h.bits, h.width) * h.height;
  Page opacity(static_cast<int>(h.width), static_cast<int>(h.height));
  for (int64_t r = 0; r < h.height; ++r) {
    const uint8_t* row = mask + r * stride;
    Pixel* out = opacity.row(static_cast<int>(h.height - 1 - r));
    for (int64_t x = 0; x < h.width; ++x) {
      out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 0 : 0xFFFFFFu;
    }
  }
  return opacity;
}

}  // namespace

const char* to_string(BmpError error) {
  switch (error) {
    case BmpError::None:
      return "no error";
    case BmpError::Truncated:
      return "file shorter than its headers claim";
    case BmpError::NotBitmap:
      return "not a bitmap file";
    case BmpError::BadHeader:
      return "invalid bitmap header";
    case BmpError::Unsupported:
      return "unsupported bitmap format";
    case BmpError::BadColours:
      return "invalid colour count";
    case BmpError::BadOffset:
      return "invalid pixel offset";
    case BmpError::TooLarge:
      return "bitmap too large";
    case BmpError::CannotOpen:
      return "file cannot be read";
  }
  return "unknown error";
}

std::vector<uint8_t> encode_dib24(const Page& page) {
  const uint32_t width = static_cast<uint32_t>(page.width());
  const uint32_t height = static_cast<uint32_t>(page.height());
  const uint32_t stride = static_cast<uint32_t>(stride_of(24, width));
  std::vector<uint8_t> out;
  out.reserve(kInfoHeaderSize + size_t{stride} * height);
  put32(out, kInfoHeaderSize);
  put32(out, width);
  put32(out, height);  // positive: bottom row first
  put16(out, 1);       // planes
  put16(out, 24);
  put32(out, 0);  // uncompressed
  put32(out, stride * height);
  for (int i = 0; i < 4; ++i) put32(out, 0);  // resolution, colours used and important
  for (int y = page.height() - 1; y >= 0; --y) {
    const Pixel* row = page.row(y);
    for (int x = 0; x < page.width(); ++x) {
      out.push_back(static_cast<uint8_t>(row[x]));
      out.push_back(static_cast<uint8_t>(row[x] >> 8));
      out.push_back(static_cast<uint8_t>(row[x] >> 16));
    }
    for (uint32_t pad = 3 * width; pad < stride; ++pad) out.push_back(0);
  }
  return out;
}

std::vector<uint8_t> bmp_file_header(uint32_t dib_size, uint32_t pixel_offset) {
  std::vector<uint8_t> out;
  out.push_back('B'), out.push_back('M');
  put32(out, static_cast<uint32_t>(kFileHeaderSize) + dib_size);
  put32(out, 0);  // two reserved 16-bit fields
  put32(out, static_cast<uint32_t>(kFileHeaderSize) + pixel_offset);
  return out;
}

std::vector<uint8_t> encode_bmp24(const Page& page) {
  const std::vector<uint8_t> dib = encode_dib24(page);
  std::vector<uint8_t> out = bmp_file_header(static_cast<uint32_t>(dib.size()), kInfoHeaderSize);
  out.insert(out.end(), dib.begin(), dib.end());
  return out;
}

bool write_bmp24(const std::string& path, const Page& page) {
  const std::vector<uint8_t> bytes = encode_bmp24(page);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return true;
  std::remove(path.c_str());  // never leave a truncated picture behind
  return false;
}

std::optional<Page> decode_bmp(std::span<const uint8_t> bytes, BmpError* error) {
  Header h;
  if (fail(error, parse_file(bytes, h)) != BmpError::None) return std::nullopt;
  return decode_pixels(bytes, h);
}

std::optional<Page> decode_dib(std::span<const uint8_t> dib, BmpError* error) {
  Header h;
  if (fail(error, parse_info(dib, 0, 0, h)) != BmpError::None) return std::nullopt;
  return decode_pixels(dib, h);
}

std::optional<Page> decode_masked_dib(std::span<const uint8_t> dib,
                                      Page& opacity,
                                      BmpError* error) {
  Header h;
  if (fail(error, parse_info(dib, 0, 0, h, true)) != BmpError::None) return std::nullopt;
  std::optional<Page> alpha = h.bits == 32 ? alpha_of(dib, h) : std::nullopt;
  if (alpha) {
    opacity = std::move(*alpha);
  } else if (h.has_mask) {
    opacity = mask_of(dib, h);
  } else {
    opacity = Page(static_cast<int>(h.width), static_cast<int>(h.height));
    opacity.fill(0xFFFFFF);
  }
  return decode_pixels(dib, h);
}

std::optional<std::vector<uint8_t>> dib_of_file(std::span<const uint8_t> bytes, BmpError* error) {
  Header h;
  if (fail(error, parse_file(bytes, h)) != BmpError::None) return std::nullopt;
  const size_t table_end = h.palette_at + 4 * size_t{h.colours};
  std::vector<uint8_t> dib(bytes.begin() + kFileHeaderSize, bytes.begin() + table_end);
  const auto image = static_cast<size_t>(h.image_bytes);
  set32(dib, 0, kInfoHeaderSize);  // later header versions are cut to the common part
  dib.erase(dib.begin() + kInfoHeaderSize, dib.begin() + (h.palette_at - kFileHeaderSize));
  set32(dib, 16, h.compression);  // run lengths stay; usual masks mean plain pixels (0)
  set32(dib, 20, static_cast<uint32_t>(image));
  set32(dib, 32, h.colours);
  dib.insert(dib.end(), bytes.begin() + h.pixels_at, bytes.begin() + h.pixels_at + image);
  return dib;
}

std::optional<Page> read_bmp(const std::string& path, BmpError* error) {
  std::string reason;
  const auto bytes = read_picture_file(path, reason);
  if (!bytes) {
    fail(error, BmpError::CannotOpen);
    return std::nullopt;
  }
  return decode_bmp(*bytes, error);
}

}  // namespace platform
