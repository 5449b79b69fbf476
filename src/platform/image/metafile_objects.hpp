// The objects of metafile records: pens, brushes and fonts as the records describe them, what
// they become on a device context, the stock objects, the object table and the fonts made
// while a metafile plays.
//
// Colours are the toolkit's R + 256 G + 65536 B (the records' own layout; their top byte is
// dropped). Sizes are in the records' logical units until the player scales them to pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/gfx/brush.hpp"
#include "platform/gfx/pen.hpp"
#include "platform/text/font.hpp"

namespace platform::metafile {

// Pen styles (the low 4 bits of a style), brush styles and the symbol character set.
inline constexpr uint32_t kPenSolid = 0, kPenDash = 1, kPenDot = 2, kPenDashDot = 3,
                          kPenDashDotDot = 4, kPenNull = 5, kPenAlternate = 8;
inline constexpr uint32_t kBrushSolid = 0, kBrushNull = 1, kBrushHatched = 2, kBrushPattern = 3;
inline constexpr uint8_t kSymbolCharset = 2;

struct PenSpec {
  uint32_t style = kPenSolid;  // low 4 bits: solid, dash, dot, dash-dot, dash-dot-dot, null,
                               // inside frame (solid here), user style (solid), alternate
  int32_t width = 0;           // logical units; 0: one pixel
  Color color = 0;
};
struct BrushSpec {
  uint32_t style = kBrushSolid;  // solid, null, hatched; others (bitmap patterns) fill nothing
  Color color = 0xFFFFFF;
  uint32_t hatch = 0;  // 0 horizontal, 1 vertical, 2 falling, 3 rising, 4 cross, 5 diagonal cross
};
struct FontSpec {
  int32_t height = 0;  // logical units: > 0 cell height, < 0 em height, 0 the default
  int32_t weight = 400;
  uint8_t charset = 0;
  uint8_t pitch_family = 0;  // high nibble: the family
  std::string face;          // UTF-8
};
struct OtherObject {};  // a palette or a region: takes a slot, selects nothing
using Object = std::variant<OtherObject, PenSpec, BrushSpec, FontSpec>;

// The pen of `spec` `width` pixels wide (at least 1); the dash styles belong to one-pixel
// pens, wider ones are solid.
PenRef realize_pen(const PenSpec& spec, int width);
BrushRef realize_brush(const BrushSpec& spec);
// The request for the font of `spec` whose height is `height` pixels, signed like
// spec.height (0: the default height).
FontRequest font_request(const FontSpec& spec, int height);
// The stock object numbered `id` (the platform's numbers: brushes 0-5, pens 6-8, fonts 10-17,
// the context's own brush 18 and pen 19); nothing for another number.
std::optional<Object> stock_object(uint32_t id);

// A fixed number of slots. Creating fills a slot, deleting empties it; the lowest empty slot
// is found in a logarithm of the table's size, however the slots are used.
class ObjectTable {
 public:
  explicit ObjectTable(size_t slots) : objects_(slots) {}

  std::optional<size_t> free_slot() const;
  // Slots out of range change nothing and hold nothing.
  void create(size_t slot, Object object);
  void erase(size_t slot);
  const Object* at(size_t slot) const;

 private:
  std::vector<std::optional<Object>> objects_;
  std::set<size_t> emptied_;  // empty slots below never_filled_
  size_t never_filled_ = 0;   // this slot and all above were never filled
};

// Fonts made while one metafile plays, one per distinct request. Each costs a face lookup, so
// past kMaxFonts a request gets the last font made. Together they render at most
// kMaxGlyphPixels glyph pixels (GlyphAllowance); text past that lays out but draws nothing.
class FontCache {
 public:
  static constexpr size_t kMaxFonts = 32;
  static constexpr int64_t kMaxGlyphPixels = int64_t{1} << 26;
  // Null when no face can be loaded.
  std::shared_ptr<const Font> font(const FontRequest& request);

 private:
  std::vector<std::pair<FontRequest, std::shared_ptr<const Font>>> fonts_;
  std::shared_ptr<GlyphAllowance> allowance_ = std::make_shared<GlyphAllowance>(kMaxGlyphPixels);
};

}  // namespace platform::metafile
