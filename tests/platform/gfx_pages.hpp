// Helpers for pixel-exact drawing tests: pages shown as text, one character per pixel.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/gfx/geometry.hpp"
#include "platform/gfx/page.hpp"

namespace gfx_test {

// Rows of the page area x0..x1-1, y0..y1-1: '.' for black, '#' for white, and otherwise the
// character `legend` gives the pixel ('?' when it gives none).
inline std::vector<std::string> picture(const platform::Page& page,
                                        int x0,
                                        int y0,
                                        int x1,
                                        int y1,
                                        const std::map<platform::Pixel, char>& legend = {}) {
  std::vector<std::string> rows;
  for (int y = y0; y < y1; ++y) {
    std::string row;
    for (int x = x0; x < x1; ++x) {
      const platform::Pixel p = page.at(x, y);
      auto it = legend.find(p);
      row += it != legend.end() ? it->second : p == 0 ? '.' : p == 0xFFFFFFu ? '#' : '?';
    }
    rows.push_back(row);
  }
  return rows;
}

// Number of pixels of the page equal to p.
inline long count(const platform::Page& page, platform::Pixel p) {
  long n = 0;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x) n += page.at(x, y) == p;
  return n;
}

// Number of pixels equal to p in the area r of the page.
inline long count(const platform::Page& page, const platform::Rect& r, platform::Pixel p) {
  long n = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) n += page.at(x, y) == p;
  return n;
}

}  // namespace gfx_test
