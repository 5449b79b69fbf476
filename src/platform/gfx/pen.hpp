// Pens: how outlines are inked.
//
// A pen has a width, a colour and a dash array of alternating dash and gap lengths in pixels.
// Pens have square end caps of half the width, so along a path of one-pixel steps a dash d
// covers d + 1 pixels and a gap g leaves g - 1 (3, 4 gives 4 on and 3 off; 7, 9 gives 8 on and
// 8 off; 0, 2 every other pixel; 0, 16 one pixel in 16). The pattern repeats with the sum of
// the array as its period (an array summing to 0 inks nothing) and is counted in steps along
// the whole path. A thick pen inks a width x width square centred on
// each pixel of the path's one-pixel spine.
//
// Pens are immutable and shared: a device context holds its selected pen by reference count,
// so selecting and releasing pens in any order never frees a pen still in use.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gfx/page.hpp"

namespace platform {

class Pen;
using PenRef = std::shared_ptr<const Pen>;

class Pen {
 public:
  // Widths are clamped to 1..kMaxWidth: a wilder width would only cost time, as no page is
  // that large.
  static constexpr int kMaxWidth = 1024;

  // A pen of `width` pixels and `color`; an empty dash array gives a solid pen. Negative
  // dash entries count as 0.
  static PenRef create(int width, Color color, std::vector<int> dashes = {});
  // The pen that inks nothing.
  static PenRef null();

  bool is_null() const { return null_; }
  int width() const { return width_; }
  Color color() const { return color_; }
  // True when every step of a path is inked.
  bool solid() const { return solid_; }
  // Whether the pen inks the pixel `step` steps from the start of a path (step >= 0).
  bool inks(int64_t step) const;

 private:
  struct OnRun {  // steps first..last (inclusive) of one period are inked
    int64_t first;
    int64_t last;
  };
  Pen() = default;

  bool null_ = true;
  int width_ = 1;
  Color color_ = 0;
  bool solid_ = false;
  int64_t period_ = 0;
  std::vector<OnRun> on_;  // sorted, disjoint, within 0..period_-1
};

PenRef stock_white_pen();
PenRef stock_black_pen();
PenRef stock_null_pen();

}  // namespace platform
