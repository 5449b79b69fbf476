// GIF and JPEG files made for the tests: GIF written byte by byte (its LZW codes kept at 9 bits
// by a clear code every kCodesPerClear pixels), JPEG by libjpeg's encoder. PNG files come from
// icon_file.hpp, bitmaps from the bitmap writer.
#pragma once

#include <jpeglib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "support/le_writer.hpp"

namespace testsupport {

struct GifFrame {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<uint8_t> indices;      // row by row from the top
  int transparent = -1;              // index, or -1 for none
  bool interlaced = false;           // rows stored in the four interlaced passes
  std::vector<uint32_t> local = {};  // the frame's own colour table (of 256 entries), or none
};

// A GIF of a screen of width x height with a global colour table of 256 entries (`colours`
// as 0xRRGGBB, the rest black), the background index and one frame; colour tables of fewer
// entries are filled up with black.
inline std::vector<uint8_t> gif_file(int width,
                                     int height,
                                     const std::vector<uint32_t>& colours,
                                     int background,
                                     const GifFrame& frame) {
  std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
  put16(out, uint32_t(width));
  put16(out, uint32_t(height));
  out.insert(out.end(), {0xF7, uint8_t(background), 0});  // global table of 2^8 entries
  const auto table = [&](const std::vector<uint32_t>& entries) {
    for (size_t i = 0; i < 256; ++i) {
      const uint32_t c = i < entries.size() ? entries[i] : 0;
      out.insert(out.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    }
  };
  table(colours);
  if (frame.transparent >= 0) {
    out.insert(out.end(), {0x21, 0xF9, 4, 1, 0, 0, uint8_t(frame.transparent), 0});
  }
  out.push_back(0x2C);
  for (int v : {frame.left, frame.top, frame.width, frame.height}) put16(out, uint32_t(v));
  out.push_back(uint8_t((frame.interlaced ? 0x40 : 0) | (frame.local.empty() ? 0 : 0x87)));
  if (!frame.local.empty()) table(frame.local);
  // Rows in the order stored.
  std::vector<int> rows;
  if (frame.interlaced) {
    for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
      for (int y = start; y < frame.height; y += step) rows.push_back(y);
  } else {
    for (int y = 0; y < frame.height; ++y) rows.push_back(y);
  }
  constexpr int kCodesPerClear = 200, kClear = 256, kEnd = 257;
  std::vector<uint8_t> data;
  uint32_t bits = 0, held = 0;
  const auto code = [&](uint32_t c) {
    bits |= c << held;
    for (held += 9; held >= 8; held -= 8, bits >>= 8) data.push_back(uint8_t(bits));
  };
  int since_clear = kCodesPerClear;
  for (const int y : rows) {
    for (int x = 0; x < frame.width; ++x, ++since_clear) {
      if (since_clear == kCodesPerClear) code(kClear), since_clear = 0;
      code(frame.indices[size_t(y) * frame.width + x]);
    }
  }
  code(kEnd);
  if (held > 0) data.push_back(uint8_t(bits));
  out.push_back(8);  // minimum code size
  for (size_t at = 0; at < data.size(); at += 255) {
    const size_t n = std::min<size_t>(255, data.size() - at);
    out.push_back(uint8_t(n));
    out.insert(out.end(), data.begin() + long(at), data.begin() + long(at + n));
  }
  out.insert(out.end(), {0, 0x3B});
  return out;
}

// How jpeg_file codes a picture: the first component (the brightness) at h_samp x v_samp times
// the resolution of the others, or every component at h_samp x v_samp; in one scan, in
// libjpeg's progressive scans, or in the given scans. A picture of 1 component is grey (each
// colour's low byte); one of 4 holds inks, each byte 255 less the ink as in Adobe's files: the
// colour's three bytes and 255 (no black), which the reader turns back into the colour.
struct JpegLayout {
  int h_samp = 1, v_samp = 1;
  bool progressive = false;
  std::vector<jpeg_scan_info> scans;
  int components = 3;
  bool every_component = false;
};

// A JPEG of the 0xRRGGBB colours, row by row from the top (or one colour for every pixel), at
// quality 100.
inline std::vector<uint8_t> jpeg_file(int width,
                                      int height,
                                      const std::vector<uint32_t>& rgb,
                                      const JpegLayout& layout = {}) {
  const int n = layout.components;
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = JDIMENSION(width);
  cinfo.image_height = JDIMENSION(height);
  cinfo.input_components = n;
  cinfo.in_color_space = n == 1 ? JCS_GRAYSCALE : n == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 100, TRUE);
  for (int c = 0; c < (layout.every_component ? n : 1); ++c) {
    cinfo.comp_info[c].h_samp_factor = layout.h_samp;
    cinfo.comp_info[c].v_samp_factor = layout.v_samp;
  }
  if (layout.progressive) jpeg_simple_progression(&cinfo);
  if (!layout.scans.empty()) {
    cinfo.scan_info = layout.scans.data();
    cinfo.num_scans = int(layout.scans.size());
  }
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(size_t(width) * size_t(n));
  for (int y = 0; y < height; ++y) {
    // One colour for every pixel: the first row, filled once, serves every row.
    for (int x = 0; x < width && (y == 0 || rgb.size() > 1); ++x) {
      const uint32_t c = rgb.size() == 1 ? rgb[0] : rgb[size_t(y) * width + x];
      const JSAMPLE samples[] = {JSAMPLE(c >> 16), JSAMPLE(c >> 8), JSAMPLE(c), 255};
      std::copy_n(n == 1 ? samples + 2 : samples, n, row.begin() + long(x) * n);
    }
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// Where the first marker `code` (0xFFcode) of a JPEG starts; 0 when it has none.
inline size_t jpeg_marker(const std::vector<uint8_t>& jpeg, uint8_t code) {
  for (size_t at = 2; at + 1 < jpeg.size(); ++at) {
    if (jpeg[at] == 0xFF && jpeg[at + 1] == code) return at;
  }
  return 0;
}

}  // namespace testsupport
