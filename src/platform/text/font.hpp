// Fonts: a face matched through fontconfig, sized and rendered with FreeType.
//
// A request names a family kind, a weight, a height and optionally a face. Heights follow
// the classic convention: a positive height is the cell height in pixels (ascent + descent),
// a negative one the em height, 0 a default em height of 16 pixels. Each family kind is
// matched to installed faces in order of preference: swiss and don't-care to Liberation
// Sans then any sans face, roman to Liberation Serif then any serif face, modern to Liberation
// Mono then any monospace face, script to a cursive face, decorative to the named face and
// then a symbol face. Fontconfig always finds some face, so a request fails only when no font
// is installed at all.
//
// A Font is immutable to its users and safe to share between threads; rendered glyphs are
// cached by glyph index under an internal lock, so a font holds at most one rendering of each
// glyph of its face. Fonts made with a GlyphAllowance render glyphs only while it lasts.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

enum class FontFamily { DontCare, Swiss, Roman, Script, Modern, Decorative };

struct FontRequest {
  int height = 0;    // >0 cell height, <0 em height, 0 default (pixels)
  int weight = 400;  // 100..900; 700 is bold
  FontFamily family = FontFamily::DontCare;
  std::string face;     // preferred face name; empty chooses by family
  bool symbol = false;  // prefer a symbol face after `face`
};

// Largest height a font is made with; larger requests are cut to it, so that one rendered
// glyph never needs more than a few megabytes.
inline constexpr int kMaxFontHeight = 2048;

// Em height of the default GUI font, in pixels (a sans face; its cell is about 13 pixels).
inline constexpr int kDefaultGuiFontHeight = -11;

// A box that holds the coverage of every glyph of a font: pixels right of the pen (left,
// right) and up from the baseline (bottom, top), half-open.
struct InkBounds {
  int left = 0;
  int right = 0;
  int bottom = 0;
  int top = 0;
};

// One rendered glyph: an 8-bit coverage map placed relative to the pen on the baseline.
struct Glyph {
  int left = 0;  // pixels from the pen to the map's first column
  int top = 0;   // pixels from the baseline up to the map's first row
  int width = 0;
  int rows = 0;
  int advance = 0;                // pen movement in whole pixels
  std::vector<uint8_t> coverage;  // rows * width, 0 = none, 255 = full
};

// Glyph pixels that the fonts sharing it may still render and draw, for text whose source is
// not trusted (a picture file's). Each glyph rendered is charged its coverage map plus
// kPerGlyph for the work around it, and each glyph drawn its coverage map again. Once the
// allowance is spent, glyphs not yet rendered come without coverage and no glyph is drawn;
// advances are kept, so text still lays out as before.
class GlyphAllowance {
 public:
  static constexpr int64_t kPerGlyph = 1024;
  explicit GlyphAllowance(int64_t pixels) : left_(pixels) {}
  bool spent() const { return left_.load() <= 0; }
  void charge_rendering(int64_t pixels) { left_ -= pixels + kPerGlyph; }
  bool charge_drawing(int64_t pixels) { return (left_ -= pixels) + pixels > 0; }

 private:
  std::atomic<int64_t> left_;
};

class Font {
 public:
  // A font for the request, or null when no face can be loaded. Without an allowance it
  // renders every glyph asked for.
  static std::shared_ptr<const Font> create(const FontRequest& request,
                                            std::shared_ptr<GlyphAllowance> allowance = nullptr);
  // The process-wide default GUI font (created once, never released).
  static std::shared_ptr<const Font> default_gui();

  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  const FontRequest& request() const { return request_; }
  const std::string& family_name() const { return family_name_; }  // of the matched face
  bool bold() const { return request_.weight >= 600; }

  int ascent() const { return ascent_; }
  int descent() const { return descent_; }
  int height() const { return ascent_ + descent_; }  // cell height
  int external_leading() const { return external_leading_; }
  int line_height() const { return height() + external_leading_; }

  // The glyph of a code point (the face's missing-glyph box when it has none).
  const Glyph& glyph(char32_t code_point) const;
  // Its advance, without rendering it.
  int advance(char32_t code_point) const;
  // Charges drawing `glyph` to the font's allowance; false when the allowance is spent (never
  // for a font without one).
  bool charge_drawing(const Glyph& glyph) const;
  // Holds every glyph of the face, with a margin for hinting.
  const InkBounds& ink_bounds() const { return ink_bounds_; }

 private:
  struct Face;
  Font(const FontRequest& request,
       std::unique_ptr<Face> face,
       std::shared_ptr<GlyphAllowance> allowance);

  FontRequest request_;
  std::string family_name_;
  int ascent_ = 0;
  int descent_ = 0;
  int external_leading_ = 0;
  InkBounds ink_bounds_;
  std::unique_ptr<Face> face_;
  std::shared_ptr<GlyphAllowance> allowance_;  // null: unbounded
  mutable std::mutex mutex_;  // guards face_ (FreeType faces are not thread-safe) and cache_
  mutable std::unordered_map<uint32_t, Glyph> cache_;   // by glyph index
  mutable std::unordered_map<uint32_t, int> advances_;  // of glyphs measured, not rendered
  // The glyphs of code points asked for lately, one per slot of code point modulo the size:
  // text repeats its characters, and this spares it the face's character map.
  struct Recent {
    char32_t code_point = 0;
    const Glyph* glyph = nullptr;
  };
  mutable std::array<Recent, 256> recent_{};

  uint32_t index_of(char32_t code_point) const;  // with mutex_ held
};

}  // namespace platform
