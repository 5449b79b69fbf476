// Points and rectangles of the drawing layer.
//
// A `Rect` is half-open: it covers the pixels left..right-1 and top..bottom-1, so its width is
// right - left. Primitives that take a bounding box follow the same rule.
#pragma once

#include <algorithm>
#include <cstdint>

namespace platform {

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  bool empty() const { return right <= left || bottom <= top; }
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  Rect translated(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

inline Rect intersect(const Rect& a, const Rect& b) {
  return Rect{std::max(a.left, b.left),
              std::max(a.top, b.top),
              std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
}

// The same rectangle with left <= right and top <= bottom.
inline Rect sorted(const Rect& r) {
  return Rect{std::min(r.left, r.right),
              std::min(r.top, r.bottom),
              std::max(r.left, r.right),
              std::max(r.top, r.bottom)};
}

// Device coordinates of the rasteriser: logical coordinates plus the viewport origin, kept in
// 64 bits so that a far-away 32-bit coordinate cannot overflow on the way.
struct Point64 {
  int64_t x = 0;
  int64_t y = 0;
  friend bool operator==(const Point64&, const Point64&) = default;
};

}  // namespace platform
