#include "platform/image/jpeg_decode.hpp"

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
// The codes of libjpeg's errors.
#include <jerror.h>

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <new>
#include <vector>

#include "platform/image/bmp.hpp"

namespace platform {
namespace {

// Working memory the decoder may take beside the page, its coefficients and its rows of samples
// (row_bytes): tables, buffers and the memory manager's own records, which take under 20 KiB
// at every layout.
constexpr uint64_t kDecoderTableBytes = uint64_t{64} << 10;
// Passes over the picture's blocks that its scans may make in all. Each scan is a pass over
// the blocks of its components, so the scans' count alone does not bound the time: a file of
// many tiny scans would cost that many passes. Progressive files of the usual encoders make
// 5 to 8 passes; 16 keeps any file to about the time of an ordinary picture of its size.
constexpr uint64_t kMaxPasses = 16;

// The decoder's state that its callbacks reach through client_data.
struct Decoding {
  jpeg_error_mgr errors;
  jpeg_progress_mgr progress;
  std::jmp_buf jump;
  DecodeError why = DecodeError::NotPicture;
  bool out_of_memory = false;  // an allocation of the library's failed
  int scan = 0;                // the last scan charged to `work`
  uint64_t budget = 0;         // blocks the scans may pass over in all
  DecodeWork work;
};

Decoding& decoding_of(j_common_ptr cinfo) { return *static_cast<Decoding*>(cinfo->client_data); }

// Whether the frame's header, as far as it has been read, declares more than kMaxBmpPixels.
bool declares_too_many_pixels(const jpeg_decompress_struct& cinfo) {
  return int64_t{cinfo.image_width} * cinfo.image_height > kMaxBmpPixels;
}

static_assert(kMaxJpegSide == JPEG_MAX_DIMENSION);

// Why libjpeg stopped, from the code of its error.
DecodeError reason(int code) {
  switch (code) {
    case JERR_IMAGE_TOO_BIG:  // a side past kMaxJpegSide, fired on reading the header
      return DecodeError::SideTooLong;
    case JERR_BAD_PRECISION:    // samples of other than 8 bits
    case JERR_SOF_UNSUPPORTED:  // lossless or hierarchical
      return DecodeError::Unsupported;
    case JERR_NO_BACKING_STORE:  // coefficients that do not fit the memory given
      return DecodeError::TooMuchMemory;
    default:
      return DecodeError::NotPicture;
  }
}

// libjpeg's error exit. The pixel limit is named before libjpeg's side limit, which fires first;
// an allocation that failed is noted, for the reader to throw std::bad_alloc once the decoder is
// destroyed.
void stop_reading(j_common_ptr cinfo) {
  Decoding& decoding = decoding_of(cinfo);
  const int code = cinfo->err->msg_code;
  if (declares_too_many_pixels(*reinterpret_cast<j_decompress_ptr>(cinfo))) {
    decoding.why = DecodeError::TooLarge;
  } else {
    decoding.why = reason(code);
  }
  decoding.out_of_memory = code == JERR_OUT_OF_MEMORY;
  std::longjmp(decoding.jump, 1);
}
void ignore_message(j_common_ptr, int) {}

// 8 x 8 blocks of a component.
uint64_t blocks_of(const jpeg_component_info& c) {
  return uint64_t{c.width_in_blocks} * c.height_in_blocks;
}

// The bytes of the coefficients that a picture of several scans keeps: 64 of 2 bytes for every
// block of every component, padded to whole MCUs.
uint64_t coefficient_bytes(const jpeg_decompress_struct& cinfo) {
  const auto up = [](uint64_t n, uint64_t m) { return (n + m - 1) / m * m; };
  uint64_t blocks = 0;
  for (int i = 0; i < cinfo.num_components; ++i) {
    const jpeg_component_info& c = cinfo.comp_info[i];
    blocks += up(c.width_in_blocks, c.h_samp_factor) * up(c.height_in_blocks, c.v_samp_factor);
  }
  return blocks * sizeof(JBLOCK);
}

// The bytes of the rows of samples the decoder keeps beside the coefficients, from the header's
// layout, every row padded to 64 bytes: for each component, a row of its MCUs (v_samp x 8 rows
// at its width in blocks) and two row groups more (of v_samp rows), which smooth upsampling
// reads as the rows above and below; and max_v_samp rows at the picture's width, which
// upsampling fills. Four components sampled 4 x 4 at 65500 pixels wide take 11.5 MB.
uint64_t row_bytes(const jpeg_decompress_struct& cinfo) {
  const auto padded = [](uint64_t n) { return (n + 63) / 64 * 64; };
  const uint64_t upsampled =
      padded(uint64_t{cinfo.image_width} + cinfo.max_h_samp_factor) * cinfo.max_v_samp_factor;
  uint64_t bytes = 0;
  for (int i = 0; i < cinfo.num_components; ++i) {
    const jpeg_component_info& c = cinfo.comp_info[i];
    bytes += padded(uint64_t{c.width_in_blocks} * DCTSIZE) * c.v_samp_factor * (DCTSIZE + 2);
    bytes += upsampled;
  }
  return bytes;
}

// libjpeg's progress monitor, called before each row of blocks it reads: charges each scan, as it
// begins, the blocks of its components, and stops the decoder before a scan that would pass the
// budget.
void charge_scans(j_common_ptr cinfo) {
  const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  Decoding& decoding = decoding_of(cinfo);
  if (d->input_scan_number == decoding.scan) return;
  decoding.scan = d->input_scan_number;
  uint64_t blocks = 0;
  for (int i = 0; i < d->comps_in_scan; ++i) blocks += blocks_of(*d->cur_comp_info[i]);
  if (decoding.work.blocks + blocks > decoding.budget) {
    decoding.why = DecodeError::TooManyScans;
    std::longjmp(decoding.jump, 1);
  }
  decoding.work.blocks += blocks;
}

// A colour from the four ink bytes of an Adobe CMYK or YCCK file, which store 255 less each
// ink: a channel is what its ink and the black ink leave, c * k / 255, rounded.
Pixel from_inks(const JSAMPLE* cmyk) {
  const auto leave = [k = uint32_t{cmyk[3]}](uint32_t c) { return (c * k + 127) / 255; };
  return (leave(cmyk[0]) << 16) | (leave(cmyk[1]) << 8) | leave(cmyk[2]);
}

// A decompressor and the state its callbacks reach, destroyed on every way out of the reader: a
// return, a jump back from libjpeg's error exit, or an exception from allocating the page or
// the row, which the picture reader catches and goes on from (the coefficients alone may hold
// 128 MiB). Destroying is safe also where jpeg_create_decompress never ran or failed: either
// leaves no memory manager to free.
struct Decompressor {
  Decompressor() {
    cinfo.err = jpeg_std_error(&decoding.errors);
    cinfo.client_data = &decoding;  // kept by jpeg_create_decompress, as err is
    decoding.errors.error_exit = stop_reading;
    decoding.errors.emit_message = ignore_message;
    decoding.progress.progress_monitor = charge_scans;
  }
  ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  jpeg_decompress_struct cinfo{};
  Decoding decoding{};
};

// Makes the row that libjpeg gives the picture's samples in, `channels` a pixel, and the page
// they are turned into; either may throw std::bad_alloc.
void allocate(const jpeg_decompress_struct& cinfo,
              size_t channels,
              std::vector<JSAMPLE>& row,
              Page& page) {
  if (jpeg_allocation_seam) jpeg_allocation_seam();
  row.resize(size_t{cinfo.output_width} * channels);
  if (jpeg_allocation_seam) jpeg_allocation_seam();
  page = Page(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height));
}

// Reads the picture into `page`. Only the decoder's own state and the caller's objects are
// touched after setjmp, so a jump back from an error leaves nothing half destroyed.
bool read_jpeg(Decompressor& decompressor,
               std::span<const uint8_t> bytes,
               std::vector<JSAMPLE>& row,
               Page& page) {
  jpeg_decompress_struct& cinfo = decompressor.cinfo;
  Decoding& decoding = decompressor.decoding;
  if (setjmp(decoding.jump)) return false;
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return false;
  if (declares_too_many_pixels(cinfo)) {
    decoding.why = DecodeError::TooLarge;
    return false;
  }
  for (int i = 0; i < cinfo.num_components; ++i) {
    decoding.budget += kMaxPasses * blocks_of(cinfo.comp_info[i]);
  }
  cinfo.progress = &decoding.progress;  // scans are charged from the first on
  // Memory for what the header's components and sampling need, so that every picture within
  // the pixel limit is read, and nothing more.
  cinfo.mem->max_memory_to_use =
      static_cast<long>(coefficient_bytes(cinfo) + row_bytes(cinfo) + kDecoderTableBytes);
  const bool inks = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = inks ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&cinfo);
  allocate(cinfo, inks ? 4 : 3, row, page);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[] = {row.data()};
    Pixel* out = page.row(static_cast<int>(cinfo.output_scanline));
    if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) return false;
    for (size_t x = 0; x < cinfo.output_width; ++x) {
      out[x] = inks ? from_inks(&row[4 * x])
                    : (Pixel{row[3 * x]} << 16) | (Pixel{row[3 * x + 1]} << 8) | row[3 * x + 2];
    }
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

}  // namespace

bool is_jpeg(std::span<const uint8_t> bytes) {
  return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

std::optional<Page> decode_jpeg(std::span<const uint8_t> bytes,
                                DecodeError* error,
                                DecodeWork* work) {
  if (!is_jpeg(bytes)) {
    fail(error, DecodeError::NotPicture);
    return std::nullopt;
  }
  Decompressor decompressor;
  std::vector<JSAMPLE> row;
  Page page;
  const bool read = read_jpeg(decompressor, bytes, row, page);
  if (work) *work = decompressor.decoding.work;
  if (decompressor.decoding.out_of_memory) throw std::bad_alloc();
  return decoded(read, page, decompressor.decoding.why, error);
}

}  // namespace platform
