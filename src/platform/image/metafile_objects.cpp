#include "platform/image/metafile_objects.hpp"

#include <algorithm>

namespace platform::metafile {
namespace {

constexpr uint32_t kHatchVertical = 1;

// The classic dash patterns of one-pixel pens, as on/off pixel counts: dash 18/6, dot 3/3,
// dash-dot 9/6/3/6, dash-dot-dot 9/3/3/3/3/3, alternate 1/1. A Pen's dash d inks d + 1 pixels
// and its gap g leaves g - 1, hence on - 1 and off + 1 below.
std::vector<int> dashes_of(uint32_t style) {
  switch (style) {
    case kPenDash:
      return {17, 7};
    case kPenDot:
      return {2, 4};
    case kPenDashDot:
      return {8, 7, 2, 7};
    case kPenDashDotDot:
      return {8, 4, 2, 4, 2, 4};
    case kPenAlternate:
      return {0, 2};
    default:
      return {};
  }
}

FontFamily family_of(uint8_t pitch_family) {
  switch (pitch_family >> 4) {
    case 1:
      return FontFamily::Roman;
    case 2:
      return FontFamily::Swiss;
    case 3:
      return FontFamily::Modern;
    case 4:
      return FontFamily::Script;
    case 5:
      return FontFamily::Decorative;
    default:
      return FontFamily::DontCare;
  }
}

bool same_request(const FontRequest& a, const FontRequest& b) {
  return a.height == b.height && a.weight == b.weight && a.family == b.family && a.face == b.face &&
         a.symbol == b.symbol;
}

}  // namespace

PenRef realize_pen(const PenSpec& spec, int width) {
  const uint32_t style = spec.style & 0x0F;
  if (style == kPenNull) return Pen::null();
  width = std::max(width, 1);
  return Pen::create(width, spec.color, width == 1 ? dashes_of(style) : std::vector<int>{});
}

BrushRef realize_brush(const BrushSpec& spec) {
  if (spec.style == kBrushSolid) return Brush::solid(spec.color);
  if (spec.style != kBrushHatched) return Brush::null();
  switch (spec.hatch) {
    case 0:
      return Brush::hatch(HatchStyle::Horizontal);
    case kHatchVertical:
      return Brush::pattern({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80});
    case 2:
      return Brush::hatch(HatchStyle::Falling);
    case 3:
      return Brush::hatch(HatchStyle::Rising);
    case 4:
      return Brush::hatch(HatchStyle::Cross);
    case 5:
      return Brush::hatch(HatchStyle::DiagonalCross);
    default:
      return Brush::null();
  }
}

FontRequest font_request(const FontSpec& spec, int height) {
  FontRequest request;
  request.height = height;
  request.weight = spec.weight == 0 ? 400 : std::clamp(spec.weight, 100, 900);
  request.family = family_of(spec.pitch_family);
  request.face = spec.face;
  request.symbol = spec.charset == kSymbolCharset;
  return request;
}

std::optional<Object> stock_object(uint32_t id) {
  constexpr uint8_t kFixed = 0x30, kVariable = 0x20;  // modern and swiss families
  constexpr Color kGreys[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
  switch (id) {
    case 0:  // white, light grey, grey, dark grey and black brushes
    case 1:
    case 2:
    case 3:
    case 4:
      return BrushSpec{kBrushSolid, kGreys[id], 0};
    case 5:
      return BrushSpec{kBrushNull, 0, 0};
    case 6:  // white, black and null pens
      return PenSpec{kPenSolid, 0, 0xFFFFFF};
    case 7:
      return PenSpec{kPenSolid, 0, 0};
    case 8:
      return PenSpec{kPenNull, 0, 0};
    case 10:  // fixed-pitch fonts
    case 11:
    case 16:
      return FontSpec{0, 400, 0, kFixed, ""};
    case 12:  // variable-pitch fonts; the system font is bold
    case 13:
    case 14:
    case 17:
      return FontSpec{0, id == 13 ? 700 : 400, 0, kVariable, ""};
    case 18:  // the context's own brush and pen, at their default colours
      return BrushSpec{kBrushSolid, 0xFFFFFF, 0};
    case 19:
      return PenSpec{kPenSolid, 0, 0};
    default:
      return std::nullopt;
  }
}

std::optional<size_t> ObjectTable::free_slot() const {
  const size_t lowest =
      emptied_.empty() ? never_filled_ : std::min(*emptied_.begin(), never_filled_);
  if (lowest >= objects_.size()) return std::nullopt;
  return lowest;
}

void ObjectTable::create(size_t slot, Object object) {
  if (slot >= objects_.size()) return;
  if (slot >= never_filled_) {
    for (size_t s = never_filled_; s < slot; ++s) emptied_.insert(s);
    never_filled_ = slot + 1;
  } else {
    emptied_.erase(slot);
  }
  objects_[slot] = std::move(object);
}

void ObjectTable::erase(size_t slot) {
  if (slot >= objects_.size() || !objects_[slot]) return;
  objects_[slot].reset();
  emptied_.insert(slot);
}

const Object* ObjectTable::at(size_t slot) const {
  return slot < objects_.size() && objects_[slot] ? &*objects_[slot] : nullptr;
}

std::shared_ptr<const Font> FontCache::font(const FontRequest& request) {
  for (const auto& [made, font] : fonts_)
    if (same_request(made, request)) return font;
  if (fonts_.size() >= kMaxFonts) return fonts_.back().second;
  fonts_.emplace_back(request, Font::create(request, allowance_));
  return fonts_.back().second;
}

}  // namespace platform::metafile
