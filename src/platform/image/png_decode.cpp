#include "platform/image/png_decode.hpp"

#include <png.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/image/bmp.hpp"

namespace platform {
namespace {

// Most memory one ancillary chunk may take once read or inflated.
constexpr png_alloc_size_t kMaxChunkBytes = png_alloc_size_t{8} << 20;
// Bytes of image data handed to libpng at a time. None are handed over once the rows are read,
// so whatever the file holds after them costs at most one piece: libpng would otherwise inflate
// all the compressed stream left, and 60 GiB of zeros fit a 63 MB file. A piece inflates to at
// most 8.5 MB (deflate's 1032 to 1).
constexpr size_t kPieceBytes = 8192;

// A chunk of the file, as its header gives it.
struct Chunk {
  uint64_t end = 0;         // where it ends; beyond the file when the file cuts it short
  bool image_data = false;  // an IDAT chunk
};

// The chunk that starts at `start`; one whose header the file cuts short counts as an empty
// chunk of unknown type, so it too ends beyond the file.
Chunk chunk_at(std::span<const uint8_t> bytes, size_t start) {
  constexpr size_t kFraming = 12;  // length and type before the data, checksum after it
  if (bytes.size() - start < 8) return {start + kFraming, false};
  const uint64_t length = png_get_uint_32(bytes.data() + start);
  return {start + kFraming + length, std::memcmp(bytes.data() + start + 4, "IDAT", 4) == 0};
}

// No place in the file.
constexpr size_t kNowhere = SIZE_MAX;

// One file's reading, filled in by libpng's callbacks.
struct Reading {
  std::span<const uint8_t> bytes;
  size_t fed = 0;          // bytes handed to libpng
  Chunk chunk{8, false};   // the one byte `fed` lies in or ends; at first the signature
  uint64_t allocated = 0;  // bytes libpng asked for, in all
  Page page;               // made once the header is read
  bool interlaced = false;
  uint64_t rows_left = 0;      // rows the file stores and libpng has not given yet
  bool out_of_memory = false;  // the page, or memory libpng asked for, could not be had
  // Where the piece starts in which libpng first stopped or warned while only the last row was
  // left to give; kNowhere when it did not.
  size_t stumbled = kNowhere;
  // Image data in the piece that starts here goes to libpng a byte at a time.
  size_t bytewise = kNowhere;
};

Reading& reading_of(png_structp png) {
  return *static_cast<Reading*>(png_get_progressive_ptr(png));
}

// libpng's memory, counted.
png_voidp allocate(png_structp png, png_alloc_size_t size) {
  Reading& r = *static_cast<Reading*>(png_get_mem_ptr(png));
  r.allocated += size;
  png_voidp memory = std::malloc(size);
  if (!memory) r.out_of_memory = true;
  return memory;
}
void release(png_structp, png_voidp memory) { std::free(memory); }

// libpng's warnings and errors: noted where they come with the last row still to give.
void note_stumble(png_structp png) {
  Reading& r = *static_cast<Reading*>(png_get_error_ptr(png));
  if (r.rows_left == 1 && r.stumbled == kNowhere) r.stumbled = r.fed;
}
void warned(png_structp png, png_const_charp) { note_stumble(png); }
void stop_reading(png_structp png, png_const_charp) {
  note_stumble(png);
  png_longjmp(png, 1);
}

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

// Rows the file stores: the picture's, or those of the seven interlaced passes that hold any
// pixel (a pass without columns stores none).
uint64_t stored_rows(png_uint_32 width, png_uint_32 height, bool interlaced) {
  if (!interlaced) return height;
  uint64_t rows = 0;
  for (int pass = 0; pass < PNG_INTERLACE_ADAM7_PASSES; ++pass) {
    if (PNG_PASS_COLS(width, pass) != 0) rows += PNG_PASS_ROWS(height, pass);
  }
  return rows;
}

// The header is read: asks for page pixels and makes the page. The rows of an interlaced file
// come pass by pass, each of the pass's pixels only, and are spread onto the page here.
void read_header(png_structp png, png_infop info) {
  Reading& r = reading_of(png);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  r.interlaced = png_get_interlace_type(png, info) == PNG_INTERLACE_ADAM7;
  ask_for_bgra(png, info);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != 4 * size_t{width}) png_error(png, "unexpected row size");
  r.rows_left = stored_rows(width, height, r.interlaced);
  // An exception must not cross libpng's frames: running out of memory is an error here and
  // an exception again once libpng is left.
  try {
    r.page = Page(static_cast<int>(width), static_cast<int>(height));
  } catch (const std::bad_alloc&) {
    r.out_of_memory = true;
  }
  if (r.out_of_memory) png_error(png, "out of memory");
}

// A row of the picture, or of one of its interlaced passes, onto the page.
void read_row(png_structp png, png_bytep row, png_uint_32 y, int pass) {
  Reading& r = reading_of(png);
  if (!row || r.rows_left == 0) return;  // no row past those the header stores
  --r.rows_left;
  if (!r.interlaced) {
    std::memcpy(r.page.row(static_cast<int>(y)), row, 4 * size_t(r.page.width()));
    return;
  }
  Pixel* out = r.page.row(static_cast<int>(PNG_ROW_FROM_PASS_ROW(y, pass)));
  const png_uint_32 columns = PNG_PASS_COLS(png_uint_32(r.page.width()), pass);
  for (png_uint_32 i = 0; i < columns; ++i) {
    std::memcpy(out + PNG_COL_FROM_PASS_COL(i, pass), row + 4 * size_t{i}, 4);
  }
}

// Where the piece handed to libpng next ends. Image data goes in pieces of up to kPieceBytes,
// which libpng inflates as they come, and a piece of it ends where another chunk begins, so
// that reading can stop with the rows; in the piece at r.bytewise it goes a byte at a time.
// Other chunks go whole, as many as make up kPieceBytes: libpng collects a chunk before it
// reads it, and one handed over in parts is copied into a buffer grown by each part (time in
// the square of the chunk's size), where a whole one is read from the file's bytes. A chunk the
// file cuts short is not handed over, as no image data can follow it: the piece ends before it,
// at `fed` when nothing else is left.
size_t piece_end(Reading& r) {
  if (r.chunk.end == r.fed) r.chunk = chunk_at(r.bytes, r.fed);
  const bool image_data = r.chunk.image_data;
  const bool bytewise = image_data && r.fed >= r.bytewise && r.fed - r.bytewise < kPieceBytes;
  const size_t full = std::min(r.fed + (bytewise ? 1 : kPieceBytes), r.bytes.size());
  size_t end = r.fed;
  while (r.chunk.image_data == image_data) {
    if (image_data && r.chunk.end >= full) return full;
    if (!image_data && r.chunk.end > r.bytes.size()) return end;
    end = static_cast<size_t>(r.chunk.end);
    if (end >= full) return end;
    r.chunk = chunk_at(r.bytes, end);
  }
  return end;
}

// Reads the picture into r.page, handing libpng the file a piece at a time while rows remain.
// Only libpng's own state and the caller's objects are touched after setjmp, so a jump back
// from an error leaves nothing half destroyed.
void read_png(png_structp png, png_infop info, Reading& r) {
  if (setjmp(png_jmpbuf(png))) return;
  png_set_progressive_read_fn(png, &r, read_header, read_row, nullptr);
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
  while (r.fed < r.bytes.size() && (r.page.width() == 0 || r.rows_left > 0)) {
    const size_t end = piece_end(r);
    if (end == r.fed) break;
    // libpng takes the bytes as writable, but only reads them.
    png_process_data(png, info, const_cast<png_bytep>(r.bytes.data() + r.fed), end - r.fed);
    r.fed = end;
  }
}

// Whether the reading gave every row.
bool all_rows(const Reading& r) { return r.page.width() != 0 && r.rows_left == 0; }

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

// Reads the file with a libpng reader of its own, image data in the piece at `bytewise` a byte
// at a time; adds the bytes handed over and those allocated to `done`.
Reading read_file(std::span<const uint8_t> bytes, size_t bytewise, DecodeWork& done) {
  Reading r;
  r.bytes = bytes;
  r.bytewise = bytewise;
  png_structp png = png_create_read_struct_2(
      PNG_LIBPNG_VER_STRING, &r, stop_reading, warned, &r, allocate, release);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (info) read_png(png, info, r);
  png_destroy_read_struct(&png, &info, nullptr);
  done.bytes_read += r.fed;
  done.allocated += r.allocated;
  return r;
}

}  // namespace

bool is_png(std::span<const uint8_t> bytes) {
  constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return bytes.size() >= kSignature.size() &&
         std::equal(kSignature.begin(), kSignature.end(), bytes.begin());
}

std::optional<Page> decode_png(std::span<const uint8_t> bytes,
                               Page* opacity,
                               DecodeError* error,
                               DecodeWork* work) {
  if (!is_png(bytes)) {
    fail(error, DecodeError::NotPicture);
    return std::nullopt;
  }
  if (declares_too_many_pixels(bytes)) {
    fail(error, DecodeError::TooLarge);
    return std::nullopt;
  }
  DecodeWork done;
  Reading reading = read_file(bytes, kNowhere, done);
  // The inflater meets damage after the last row's bytes (a wrong checksum, a broken block) in
  // the same call that ends the row when both lie in one piece, and libpng stops before it
  // gives the row. Read again with that piece a byte at a time, so that the row comes before
  // the damage is met: the rows decide, not where the pieces fall.
  if (!all_rows(reading) && !reading.out_of_memory && reading.stumbled != kNowhere) {
    reading.page = Page();  // one page at a time
    reading = read_file(bytes, reading.stumbled, done);
  }
  const bool read = all_rows(reading);
  if (work) *work = done;
  if (!read && reading.out_of_memory) throw std::bad_alloc();
  if (read) split_alpha(reading.page, opacity);
  return decoded(read, reading.page, DecodeError::NotPicture, error);
}

}  // namespace platform
