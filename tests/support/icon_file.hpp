// Icon files written byte by byte for the tests: packed bitmaps with their mask, PNG images
// (stored, uncompressed deflate blocks) and the directory around them.
#pragma once

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

inline uint32_t png_crc(const uint8_t* p, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

// A w x h RGBA PNG of the 0xAARRGGBB colours, row by row from the top.
inline std::vector<uint8_t> png_rgba(int w, int h, const std::vector<uint32_t>& argb) {
  std::vector<uint8_t> raw;  // filter byte 0, then R G B A per pixel
  for (int y = 0; y < h; ++y) {
    raw.push_back(0);
    for (int x = 0; x < w; ++x) {
      const uint32_t c = argb[size_t(y) * w + x];
      for (int shift : {16, 8, 0, 24}) raw.push_back(uint8_t(c >> shift));
    }
  }
  std::vector<uint8_t> z = {0x78, 0x01};  // zlib, stored blocks of up to 65535 bytes
  for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    z.push_back(at + n == raw.size() ? 1 : 0);
    put16(z, uint32_t(n));
    put16(z, uint32_t(~n & 0xFFFF));
    z.insert(z.end(), raw.begin() + long(at), raw.begin() + long(at + n));
  }
  uint32_t a = 1, b = 0;  // Adler-32
  for (uint8_t v : raw) a = (a + v) % 65521, b = (b + a) % 65521;
  put32_be(z, (b << 16) | a);
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
    put32_be(out, uint32_t(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32_be(out, png_crc(out.data() + start, out.size() - start));
  };
  std::vector<uint8_t> header;
  put32_be(header, uint32_t(w));
  put32_be(header, uint32_t(h));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, no interlace
  chunk("IHDR", header);
  chunk("IDAT", z);
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
