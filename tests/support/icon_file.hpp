// Icon files written byte by byte for the tests: packed bitmaps with their mask, PNG images
// (compressed by zlib) and the directory around them.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "support/le_writer.hpp"

namespace testsupport {

inline void put32_be(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// The packed bitmap of a w x h icon image of `bits` per pixel. `values` gives the pixels row by
// row from the top: colour-table indices for up to 8 bits, 0xAARRGGBB colours for 24 and 32
// (alpha written only at 32). `transparent` gives the mask bits in the same order (empty: none
// set). `table` holds the colour table as 0xRRGGBB.
inline std::vector<uint8_t> icon_dib(int w,
                                     int h,
                                     int bits,
                                     const std::vector<uint32_t>& table,
                                     const std::vector<uint32_t>& values,
                                     const std::vector<bool>& transparent = {}) {
  std::vector<uint8_t> out;
  put32(out, 40);
  put32(out, static_cast<uint32_t>(w));
  put32(out, static_cast<uint32_t>(2 * h));  // colour rows and mask rows
  put16(out, 1);
  put16(out, static_cast<uint32_t>(bits));
  for (int i = 0; i < 6; ++i) put32(out, 0);  // uncompressed; sizes and counts 0
  for (uint32_t c : table) put32(out, c);
  // Rows of n-bit fields, bottom row first, padded to 4 bytes.
  const auto rows = [&](int n, auto field) {
    const size_t stride = ((size_t(n) * w + 31) / 32) * 4;
    for (int y = h - 1; y >= 0; --y) {
      std::vector<uint8_t> row(stride, 0);
      for (int x = 0; x < w; ++x) {
        const uint32_t v = field(y * w + x);
        if (n >= 8) {
          for (int k = 0; k < n / 8; ++k) row[size_t(x) * n / 8 + k] = uint8_t(v >> (8 * k));
        } else {
          row[size_t(x) * n / 8] |= uint8_t(v << (8 - n - (x * n) % 8));
        }
      }
      out.insert(out.end(), row.begin(), row.end());
    }
  };
  rows(bits, [&](int i) { return values[size_t(i)]; });
  rows(1, [&](int i) { return transparent.empty() ? 0u : uint32_t{transparent[size_t(i)]}; });
  return out;
}

// A chunk that png_rgba adds before or after the image data: `bytes` bytes of 'x'.
struct PngChunk {
  std::string type;
  size_t bytes = 0;
  bool after_rows = false;
};

// How png_rgba stores a picture: row by row or in the seven interlaced passes, with
// `trailing` bytes of zeros compressed into its stream after the rows, which no row uses, and
// with the given chunks; `stored` keeps the rows uncompressed (one stored block of deflate),
// so that each byte of them has a known place.
struct PngLayout {
  bool interlaced = false;
  size_t trailing = 0;
  std::vector<PngChunk> chunks = {};
  bool stored = false;
};

// A w x h RGBA PNG of the 0xAARRGGBB colours, row by row from the top.
inline std::vector<uint8_t> png_rgba(int w,
                                     int h,
                                     const std::vector<uint32_t>& argb,
                                     const PngLayout& layout = {}) {
  std::vector<uint8_t> raw;  // per row stored: filter byte 0, then R G B A per pixel
  const auto row = [&](int y, int x0, int dx) {
    raw.push_back(0);
    for (int x = x0; x < w; x += dx) {
      const uint32_t c = argb[size_t(y) * w + x];
      for (int shift : {16, 8, 0, 24}) raw.push_back(uint8_t(c >> shift));
    }
  };
  // The passes' first column and row and their steps; a pass without columns stores no rows.
  // clang-format off
  constexpr int kPasses[7][4] = {
      {0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  // clang-format on
  if (!layout.interlaced) {
    for (int y = 0; y < h; ++y) row(y, 0, 1);
  } else {
    for (const auto& [x0, y0, dx, dy] : kPasses) {
      for (int y = y0; x0 < w && y < h; y += dy) row(y, x0, dx);
    }
  }
  std::vector<uint8_t> z;
  z_stream stream{};
  deflateInit(&stream, layout.stored ? Z_NO_COMPRESSION : Z_BEST_COMPRESSION);
  const auto deflate_all = [&](const uint8_t* in, size_t n, int flush) {
    stream.next_in = const_cast<uint8_t*>(in);
    stream.avail_in = uInt(n);
    std::vector<uint8_t> out(1 << 16);
    do {
      stream.next_out = out.data();
      stream.avail_out = uInt(out.size());
      deflate(&stream, flush);
      z.insert(z.end(), out.data(), stream.next_out);
    } while (stream.avail_out == 0);
  };
  deflate_all(raw.data(), raw.size(), Z_NO_FLUSH);
  const std::vector<uint8_t> zeros(size_t{1} << 20);
  for (size_t left = layout.trailing, n = 0; left > 0; left -= n) {
    n = std::min(left, zeros.size());
    deflate_all(zeros.data(), n, Z_NO_FLUSH);
  }
  deflate_all(nullptr, 0, Z_FINISH);
  deflateEnd(&stream);
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
    put32_be(out, uint32_t(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32_be(out, uint32_t(crc32(0, out.data() + start, uInt(out.size() - start))));
  };
  std::vector<uint8_t> header;
  put32_be(header, uint32_t(w));
  put32_be(header, uint32_t(h));
  header.insert(header.end(), {8, 6, 0, 0, uint8_t(layout.interlaced ? 1 : 0)});  // 8-bit RGBA
  chunk("IHDR", header);
  const auto chunks = [&](bool after_rows) {
    for (const PngChunk& c : layout.chunks) {
      if (c.after_rows == after_rows) chunk(c.type.c_str(), std::vector<uint8_t>(c.bytes, 'x'));
    }
  };
  chunks(false);
  chunk("IDAT", z);
  chunks(true);
  chunk("IEND", {});
  return out;
}

// One image of an icon file: its directory fields and bytes.
struct IconImage {
  int width = 0;  // 256 is written as 0
  int height = 0;
  int bits = 0;  // the directory's bit count
  std::vector<uint8_t> bytes;
};

// An icon file (type 1) of the images, stored one after another behind the directory.
inline std::vector<uint8_t> icon_file(const std::vector<IconImage>& images) {
  std::vector<uint8_t> out;
  put16(out, 0);
  put16(out, 1);
  put16(out, uint32_t(images.size()));
  uint32_t offset = uint32_t(6 + 16 * images.size());
  for (const IconImage& image : images) {
    out.push_back(uint8_t(image.width));
    out.push_back(uint8_t(image.height));
    out.push_back(0);  // colours
    out.push_back(0);  // reserved
    put16(out, 1);     // planes
    put16(out, uint32_t(image.bits));
    put32(out, uint32_t(image.bytes.size()));
    put32(out, offset);
    offset += uint32_t(image.bytes.size());
  }
  for (const IconImage& image : images)
    out.insert(out.end(), image.bytes.begin(), image.bytes.end());
  return out;
}

inline std::string as_string(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace testsupport
