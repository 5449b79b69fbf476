// Brushes: how areas are filled.
//
// A brush is null (fills nothing), solid (its own colour) or an 8 x 8 mono pattern. Pattern
// rows run from the top, the most significant bit leftmost; set bits are painted in the device
// context's text colour and clear bits in its background colour when the background mode is
// opaque, or left untouched when it is transparent. Patterns are aligned to page pixels: pixel
// (x, y) of the page takes bit x mod 8 of row y mod 8, wherever the viewport origin lies.
// The five hatches are such patterns.
//
// Brushes are immutable and shared by reference count, like pens.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "platform/gfx/page.hpp"

namespace platform {

using MonoPattern = std::array<uint8_t, 8>;

enum class HatchStyle {
  Horizontal,     // horizontal lines
  Falling,        // diagonal lines falling to the right
  Rising,         // diagonal lines rising to the right
  Cross,          // horizontal and vertical lines
  DiagonalCross,  // both diagonals
};

class Brush;
using BrushRef = std::shared_ptr<const Brush>;

class Brush {
 public:
  enum class Kind { Null, Solid, Pattern };

  static BrushRef null();
  static BrushRef solid(Color color);
  static BrushRef pattern(const MonoPattern& rows);
  static BrushRef hatch(HatchStyle style);

  Kind kind() const { return kind_; }
  Color color() const { return color_; }             // solid brushes
  const MonoPattern& rows() const { return rows_; }  // pattern brushes

 private:
  Brush() = default;
  Kind kind_ = Kind::Null;
  Color color_ = 0;
  MonoPattern rows_{};
};

BrushRef stock_null_brush();
BrushRef stock_white_brush();
BrushRef stock_black_brush();

}  // namespace platform
