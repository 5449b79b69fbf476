#include "platform/image/jpeg_decode.hpp"

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <vector>

#include "platform/image/bmp.hpp"

namespace platform {
namespace {

// Working memory the decoder may take beside the page: the coefficients of a progressive
// picture at the pixel limit with colour at half resolution or less, 4 bytes a pixel (2 for
// the brightness and 2 for the colour).
constexpr long kMaxDecoderBytes = 4 * kMaxBmpPixels;
// Scans of a progressive file; each is a pass over the whole picture, so a file of tiny scans
// could otherwise cost time without bound. Real files use about ten.
constexpr int kMaxScans = 256;

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

void stop_reading(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}
void ignore_message(j_common_ptr, int) {}

void count_scans(j_common_ptr cinfo) {
  const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->is_decompressor && d->input_scan_number > kMaxScans) stop_reading(cinfo);
}

// A colour from the four ink bytes of an Adobe CMYK or YCCK file, which store 255 less each
// ink: a channel is what its ink and the black ink leave, c * k / 255, rounded.
Pixel from_inks(const JSAMPLE* cmyk) {
  const auto leave = [k = uint32_t{cmyk[3]}](uint32_t c) { return (c * k + 127) / 255; };
  return (leave(cmyk[0]) << 16) | (leave(cmyk[1]) << 8) | leave(cmyk[2]);
}

// Reads the picture into `page`. Only the decoder's own state and the caller's objects are
// touched after setjmp, so a jump back from an error leaves nothing half destroyed.
bool read_jpeg(jpeg_decompress_struct& cinfo,
               ErrorManager& errors,
               jpeg_progress_mgr& progress,
               std::span<const uint8_t> bytes,
               std::vector<JSAMPLE>& row,
               Page& page,
               DecodeError& why) {
  if (setjmp(errors.jump)) return false;
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = kMaxDecoderBytes;
  cinfo.progress = &progress;
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return false;
  if (int64_t{cinfo.image_width} * cinfo.image_height > kMaxBmpPixels) {
    why = DecodeError::TooLarge;
    return false;
  }
  const bool inks = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = inks ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&cinfo);
  const size_t channels = inks ? 4 : 3;
  row.resize(size_t{cinfo.output_width} * channels);
  page = Page(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height));
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

std::optional<Page> decode_jpeg(std::span<const uint8_t> bytes, DecodeError* error) {
  if (!is_jpeg(bytes)) {
    fail(error, DecodeError::NotPicture);
    return std::nullopt;
  }
  jpeg_decompress_struct cinfo{};
  ErrorManager errors{};
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = stop_reading;
  errors.base.emit_message = ignore_message;
  jpeg_progress_mgr progress{};
  progress.progress_monitor = count_scans;
  std::vector<JSAMPLE> row;
  Page page;
  DecodeError why = DecodeError::NotPicture;
  const bool read = read_jpeg(cinfo, errors, progress, bytes, row, page, why);
  jpeg_destroy_decompress(&cinfo);
  return decoded(read, page, why, error);
}

}  // namespace platform
