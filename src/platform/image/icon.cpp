#include "platform/image/icon.hpp"

#include <vector>

#include "platform/image/bmp.hpp"
#include "platform/image/le_bytes.hpp"
#include "platform/image/png_decode.hpp"

namespace platform {
namespace {

constexpr size_t kHeaderSize = 6;
constexpr size_t kEntrySize = 16;
constexpr int kFullSize = 256;  // what a width or height of 0 stands for

struct Entry {
  int width = 0;
  int height = 0;
  uint32_t bytes = 0;
  uint32_t offset = 0;
};

IconError fail(IconError* error, IconError why) {
  if (error) *error = why;
  return why;
}

// Reads and checks every entry of the directory.
IconError read_directory(std::span<const uint8_t> b, std::vector<Entry>& entries) {
  if (b.size() < kHeaderSize) return IconError::Truncated;
  if (!is_icon(b)) return IconError::NotIcon;
  const size_t count = get16(b, 4);
  if (count == 0) return IconError::Empty;
  const size_t directory_end = kHeaderSize + kEntrySize * count;
  if (directory_end > b.size()) return IconError::Truncated;
  for (size_t at = kHeaderSize; at < directory_end; at += kEntrySize) {
    Entry& e = entries.emplace_back();
    e.width = b[at] != 0 ? b[at] : kFullSize;
    e.height = b[at + 1] != 0 ? b[at + 1] : kFullSize;
    e.bytes = get32(b, at + 8);
    e.offset = get32(b, at + 12);
    // 64 bits: offset + bytes must not wrap past the check.
    if (e.bytes == 0 || e.offset < directory_end || uint64_t{e.offset} + e.bytes > b.size()) {
      return IconError::BadEntry;
    }
  }
  return IconError::None;
}

// Bits per pixel of an image as its own header gives it; 0 when it has none.
uint32_t depth_of(std::span<const uint8_t> image) {
  if (is_png(image)) return 32;
  return image.size() >= 16 ? get16(image, 14) : 0;
}

// The largest entry, then the deepest, then the first.
const Entry& choose(std::span<const uint8_t> b, const std::vector<Entry>& entries) {
  const Entry* best = &entries.front();
  int64_t best_area = 0;
  uint32_t best_depth = 0;
  for (const Entry& e : entries) {
    const int64_t area = int64_t{e.width} * e.height;
    const uint32_t depth = depth_of(b.subspan(e.offset, e.bytes));
    if (area > best_area || (area == best_area && depth > best_depth)) {
      best = &e, best_area = area, best_depth = depth;
    }
  }
  return *best;
}

// An image side matches its entry's; an entry of 0 (256) also stands for larger PNG images.
bool matches(int side, int entry) { return side == entry || (entry == kFullSize && side > entry); }

}  // namespace

bool is_icon(std::span<const uint8_t> bytes) {
  return bytes.size() >= 4 && get16(bytes, 0) == 0 &&
         (get16(bytes, 2) == 1 || get16(bytes, 2) == 2);
}

std::optional<Page> decode_icon(std::span<const uint8_t> bytes, Page& opacity, IconError* error) {
  std::vector<Entry> entries;
  if (fail(error, read_directory(bytes, entries)) != IconError::None) return std::nullopt;
  const Entry& entry = choose(bytes, entries);
  const std::span<const uint8_t> image = bytes.subspan(entry.offset, entry.bytes);
  Page alpha;
  DecodeError png_error = DecodeError::None;
  BmpError dib_error = BmpError::None;
  std::optional<Page> colours = is_png(image) ? decode_png(image, &alpha, &png_error)
                                              : decode_masked_dib(image, alpha, &dib_error);
  if (!colours) {
    const bool large = png_error == DecodeError::TooLarge || dib_error == BmpError::TooLarge;
    fail(error, large ? IconError::TooLarge : IconError::BadImage);
    return std::nullopt;
  }
  if (!matches(colours->width(), entry.width) || !matches(colours->height(), entry.height)) {
    fail(error, IconError::SizeMismatch);
    return std::nullopt;
  }
  opacity = std::move(alpha);
  return colours;
}

}  // namespace platform
