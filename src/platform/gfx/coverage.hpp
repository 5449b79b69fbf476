// Coverage masks: the set of pixels one primitive writes.
//
// Every primitive first gathers the pixels it covers into a mask and only then paints them,
// so each pixel is written exactly once however often the geometry passes over it (a thick
// pen's overlapping squares, a self-crossing polyline). That keeps exclusive-or drawing
// reversible: drawing the same figure twice restores the page.
//
// A mask is a list of horizontal spans. Once normalized the spans are sorted by row and then
// by x, and no two spans of a row touch or overlap.
#pragma once

#include <vector>

#include "platform/gfx/geometry.hpp"

namespace platform::raster {

struct Span {
  int y;   // row
  int x0;  // first pixel
  int x1;  // one past the last pixel
  friend bool operator==(const Span&, const Span&) = default;
};

class Coverage {
 public:
  // Adds pixels x0..x1-1 of row y; an empty span is ignored.
  void add_span(int y, int x0, int x1);
  // Adds one pixel, extending the last span when the pixel continues it.
  void add_pixel(int x, int y);
  // Adds every pixel of `other`.
  void add(const Coverage& other);

  // Sorts and merges the spans; cheap when they already are.
  void normalize();
  // Removes the pixels of `other` (normalizes both).
  void subtract(Coverage& other);
  // Keeps only the pixels inside `bounds`.
  void clip(const Rect& bounds);
  // Replaces each pixel (x, y) by the square x-before..x+after, y-before..y+after, clipped
  // to `bounds`: the stamp of a thick pen.
  void dilate(int before, int after, const Rect& bounds);

  bool contains(int x, int y) const;  // normalized masks only
  bool empty() const { return spans_.empty(); }
  const std::vector<Span>& spans() const { return spans_; }
  long long pixel_count() const;

 private:
  std::vector<Span> spans_;
  bool normalized_ = true;
};

}  // namespace platform::raster
