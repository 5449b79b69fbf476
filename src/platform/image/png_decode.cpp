#include "platform/image/png_decode.hpp"

#include <png.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/image/bmp.hpp"

namespace platform {
namespace {

// Most memory one ancillary chunk may take once read or inflated.
constexpr png_alloc_size_t kMaxChunkBytes = png_alloc_size_t{8} << 20;

struct Source {
  std::span<const uint8_t> bytes;
  size_t at = 0;
};

void read_source(png_structp png, png_bytep out, size_t n) {
  auto* source = static_cast<Source*>(png_get_io_ptr(png));
  if (source->bytes.size() - source->at < n) png_error(png, "file ends early");
  std::memcpy(out, source->bytes.data() + source->at, n);
  source->at += n;
}

void ignore_warning(png_structp, png_const_charp) {}
void stop_reading(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Whether the header chunk declares more than kMaxBmpPixels pixels. Read before libpng sees
// it: libpng refuses a side past its own limits (2^31 - 1, and the user limits) as malformed,
// where the reason is the size.
bool declares_too_many_pixels(std::span<const uint8_t> bytes) {
  constexpr size_t kHeader = 8 + 4;  // the chunk's type, after the signature and its length
  if (bytes.size() < kHeader + 12 || std::memcmp(bytes.data() + kHeader, "IHDR", 4) != 0) {
    return false;
  }
  const uint64_t width = png_get_uint_32(bytes.data() + kHeader + 4);
  return width * png_get_uint_32(bytes.data() + kHeader + 8) > kMaxBmpPixels;
}

// Asks libpng for 8-bit blue, green, red and alpha bytes per pixel: a page pixel with its
// alpha in the unused top byte.
void ask_for_bgra(png_structp png, png_infop info) {
  const int type = png_get_color_type(png, info);
  png_set_strip_16(png);
  png_set_expand(png);  // palette to colours, grey below 8 bits to 8, tRNS to alpha
  if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);  // opaque alpha where the file has none
  png_set_bgr(png);
}

// Reads the picture into `page`. Only `png`'s own state and the caller's objects are touched
// after setjmp, so a jump back from an error leaves nothing half destroyed.
bool read_png(png_structp png, png_infop info, Source& source, Page& page) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, &source, read_source);
  // libpng's own limit is a million a side; ours is the pixels, checked beforehand.
  png_set_user_limits(png, kMaxBmpPixels, kMaxBmpPixels);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  // A chunk's checksum guards against damage in transit, not against the decoder, which checks
  // every field itself: a picture whose checksums are wrong is drawn as its data says.
  png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
  // Ancillary chunks other than transparency change nothing drawn: skip them unread.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  static constexpr std::array<png_byte, 5> kTransparency = {'t', 'R', 'N', 'S', 0};
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_AS_DEFAULT, kTransparency.data(), 1);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  ask_for_bgra(png, info);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != 4 * size_t{width}) return false;
  page = Page(static_cast<int>(width), static_cast<int>(height));
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(png, reinterpret_cast<png_bytep>(page.row(static_cast<int>(y))), nullptr);
    }
  }
  return true;
}

// Moves the alpha bytes out of the page's pixels: to `opacity` as a grey page, when given.
void split_alpha(Page& page, Page* opacity) {
  Page alpha(opacity ? page.width() : 0, opacity ? page.height() : 0);
  Pixel* p = page.data();
  for (int y = 0; y < page.height(); ++y) {
    for (int x = 0; x < page.width(); ++x, ++p) {
      if (opacity) alpha.at(x, y) = (*p >> 24) * 0x010101u;
      *p &= 0xFFFFFFu;
    }
  }
  if (opacity) *opacity = std::move(alpha);
}

}  // namespace

bool is_png(std::span<const uint8_t> bytes) {
  constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return bytes.size() >= kSignature.size() &&
         std::equal(kSignature.begin(), kSignature.end(), bytes.begin());
}

std::optional<Page> decode_png(std::span<const uint8_t> bytes, Page* opacity, DecodeError* error) {
  if (!is_png(bytes)) {
    fail(error, DecodeError::NotPicture);
    return std::nullopt;
  }
  if (declares_too_many_pixels(bytes)) {
    fail(error, DecodeError::TooLarge);
    return std::nullopt;
  }
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, stop_reading, ignore_warning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  Source source{bytes};
  Page page;
  const bool read = info && read_png(png, info, source, page);
  png_destroy_read_struct(&png, &info, nullptr);
  if (read) split_alpha(page, opacity);
  return decoded(read, page, DecodeError::NotPicture, error);
}

}  // namespace platform
