#include "platform/gfx/brush.hpp"

namespace platform {

BrushRef Brush::null() { return std::shared_ptr<Brush>(new Brush()); }

BrushRef Brush::solid(Color color) {
  auto b = std::shared_ptr<Brush>(new Brush());
  b->kind_ = Kind::Solid;
  b->color_ = color;
  return b;
}

BrushRef Brush::pattern(const MonoPattern& rows) {
  auto b = std::shared_ptr<Brush>(new Brush());
  b->kind_ = Kind::Pattern;
  b->rows_ = rows;
  return b;
}

BrushRef Brush::hatch(HatchStyle style) {
  MonoPattern rows{};
  for (int r = 0; r < 8; ++r) {
    const uint8_t falling = static_cast<uint8_t>(0x80u >> r);
    const uint8_t rising = static_cast<uint8_t>(0x01u << r);
    const uint8_t horizontal = r == 0 ? 0xFF : 0x00;
    switch (style) {
      case HatchStyle::Horizontal:
        rows[r] = horizontal;
        break;
      case HatchStyle::Falling:
        rows[r] = falling;
        break;
      case HatchStyle::Rising:
        rows[r] = rising;
        break;
      case HatchStyle::Cross:
        rows[r] = horizontal | 0x80;
        break;
      case HatchStyle::DiagonalCross:
        rows[r] = falling | rising;
        break;
    }
  }
  return pattern(rows);
}

BrushRef stock_null_brush() {
  static const BrushRef brush = Brush::null();
  return brush;
}

BrushRef stock_white_brush() {
  static const BrushRef brush = Brush::solid(0xFFFFFFu);
  return brush;
}

BrushRef stock_black_brush() {
  static const BrushRef brush = Brush::solid(0u);
  return brush;
}

}  // namespace platform
