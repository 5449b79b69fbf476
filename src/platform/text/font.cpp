#include "platform/text/font.hpp"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <sys/mman.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

namespace platform {

struct Font::Face {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ~Face() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
};

namespace {

std::mutex fontconfig_mutex;  // fontconfig's configuration is not safe for concurrent use

FcConfig* loaded_config = nullptr;  // guarded by fontconfig_mutex

// The process's own fontconfig configuration, loaded on first use and released at exit
// (fontconfig keeps part of a configuration unreachable until it is destroyed). Called with
// fontconfig_mutex held.
FcConfig* fontconfig() {
  if (!loaded_config) {
    loaded_config = FcInitLoadConfigAndFonts();
    if (loaded_config) {
      std::atexit([] {
        std::lock_guard lock(fontconfig_mutex);
        FcConfigDestroy(loaded_config);
        loaded_config = nullptr;
      });
    }
  }
  return loaded_config;
}

std::vector<const char*> family_names(FontFamily family) {
  switch (family) {
    case FontFamily::Roman:
      return {"Liberation Serif", "serif"};
    case FontFamily::Modern:
      return {"Liberation Mono", "monospace"};
    case FontFamily::Script:
      return {"cursive"};
    case FontFamily::Decorative:
      return {"fantasy"};
    case FontFamily::DontCare:
    case FontFamily::Swiss:
      break;
  }
  return {"Liberation Sans", "sans-serif"};
}

struct MatchedFile {
  std::string path;
  int index = 0;
  std::string family;
};

// Fontconfig does not check all of its allocations: short of memory (an address-space limit) it
// crashes instead of failing. The address space it may take is looked for first, and where it
// is missing the request ends as any other allocation without memory does, in std::bad_alloc.
// Loading the configuration maps the font caches and took 24 MB with the Liberation and DejaVu
// faces; a match takes far less. The rooms below leave a third more.
constexpr size_t kLoadRoom = size_t{32} << 20;
constexpr size_t kMatchRoom = size_t{8} << 20;

void need_room(size_t bytes) {
  void* room =
      ::mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (room == MAP_FAILED) throw std::bad_alloc();
  ::munmap(room, bytes);
}

// Asks fontconfig for the best face: the named face first, then a symbol face when asked for,
// then the family kind's preferences.
bool match_file(const FontRequest& request, MatchedFile& out) {
  std::lock_guard lock(fontconfig_mutex);
  need_room(loaded_config ? kMatchRoom : kLoadRoom);
  FcConfig* config = fontconfig();
  if (!config) return false;
  FcPattern* pattern = FcPatternCreate();
  auto add_family = [&](const char* name) {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name));
  };
  if (!request.face.empty()) add_family(request.face.c_str());
  if (request.symbol) add_family("symbol");
  for (const char* name : family_names(request.family)) add_family(name);
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(request.weight));
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return false;
  FcChar8* file = nullptr;
  FcChar8* family = nullptr;
  const bool ok = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch;
  if (ok) {
    out.path = reinterpret_cast<const char*>(file);
    FcPatternGetInteger(match, FC_INDEX, 0, &out.index);
    if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch) {
      out.family = reinterpret_cast<const char*>(family);
    }
  }
  FcPatternDestroy(match);
  return ok;
}

struct VerticalMetrics {
  double cell_ascent;  // font units
  double cell_descent;
  double line_gap;  // font units beyond the cell
};

// The cell is the Windows ascent/descent of the OS/2 table when present (what the classic
// text metrics use), else the horizontal header's; the external leading is whatever line gap
// the horizontal header asks for beyond that cell.
VerticalMetrics vertical_metrics(FT_Face face) {
  const double hhea_ascent = face->ascender;
  const double hhea_descent = -face->descender;
  const double hhea_gap = face->height - (face->ascender - face->descender);
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    const double ascent = os2->usWinAscent;
    const double descent = os2->usWinDescent;
    const double gap = hhea_gap - ((ascent + descent) - (hhea_ascent + hhea_descent));
    return {ascent, descent, gap > 0 ? gap : 0};
  }
  return {hhea_ascent, hhea_descent, hhea_gap > 0 ? hhea_gap : 0};
}

void copy_bitmap(const FT_Bitmap& bitmap, Glyph& glyph) {
  glyph.width = static_cast<int>(bitmap.width);
  glyph.rows = static_cast<int>(bitmap.rows);
  glyph.coverage.assign(static_cast<size_t>(glyph.width) * glyph.rows, 0);
  for (int y = 0; y < glyph.rows; ++y) {
    const unsigned char* src = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
    uint8_t* dst = glyph.coverage.data() + static_cast<size_t>(y) * glyph.width;
    for (int x = 0; x < glyph.width; ++x) {
      if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
        dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
      } else {
        dst[x] = src[x];
      }
    }
  }
}

}  // namespace

std::shared_ptr<const Font> Font::create(const FontRequest& asked,
                                         std::shared_ptr<GlyphAllowance> allowance) {
  FontRequest request = asked;
  request.height = std::clamp(request.height, -kMaxFontHeight, kMaxFontHeight);
  MatchedFile file;
  if (!match_file(request, file)) return nullptr;
  auto face = std::make_unique<Face>();
  if (FT_Init_FreeType(&face->library) != 0) return nullptr;
  if (FT_New_Face(face->library, file.path.c_str(), file.index, &face->face) != 0) return nullptr;
  if (!FT_IS_SCALABLE(face->face) || face->face->units_per_EM == 0) return nullptr;
  // A symbol face keeps its glyphs under the Microsoft symbol map (U+F020..U+F0FF); prefer
  // Unicode and fall back to that map.
  if (FT_Select_Charmap(face->face, FT_ENCODING_UNICODE) != 0) {
    FT_Select_Charmap(face->face, FT_ENCODING_MS_SYMBOL);
  }
  auto font = std::shared_ptr<Font>(new Font(request, std::move(face), std::move(allowance)));
  font->family_name_ = file.family;
  return font;
}

std::shared_ptr<const Font> Font::default_gui() {
  static const std::shared_ptr<const Font> font =
      create({kDefaultGuiFontHeight, 400, FontFamily::Swiss, "", false});
  return font;
}

Font::Font(const FontRequest& request,
           std::unique_ptr<Face> face,
           std::shared_ptr<GlyphAllowance> allowance)
    : request_(request), face_(std::move(face)), allowance_(std::move(allowance)) {
  FT_Face f = face_->face;
  const VerticalMetrics m = vertical_metrics(f);
  const double units = f->units_per_EM;
  const double cell_units = m.cell_ascent + m.cell_descent;
  double em_pixels = 16;
  if (request.height > 0) {
    em_pixels = request.height * units / cell_units;
  } else if (request.height < 0) {
    em_pixels = -static_cast<double>(request.height);
  }
  const double scale = em_pixels / units;
  ascent_ = static_cast<int>(std::lround(m.cell_ascent * scale));
  descent_ = request.height > 0 ? request.height - ascent_
                                : static_cast<int>(std::lround(m.cell_descent * scale));
  external_leading_ = static_cast<int>(std::lround(m.line_gap * scale));
  FT_Set_Char_Size(f, 0, static_cast<FT_F26Dot6>(std::lround(em_pixels * 64)), 72, 72);
  // Hinting moves outlines by a pixel or so, and stretches them by a few per cent at most.
  const double margin = 2 + em_pixels / 16;
  ink_bounds_ = InkBounds{static_cast<int>(std::floor(f->bbox.xMin * scale - margin)),
                          static_cast<int>(std::ceil(f->bbox.xMax * scale + margin)),
                          static_cast<int>(std::floor(f->bbox.yMin * scale - margin)),
                          static_cast<int>(std::ceil(f->bbox.yMax * scale + margin))};
}

Font::~Font() = default;

uint32_t Font::index_of(char32_t code_point) const {
  FT_Face f = face_->face;
  FT_UInt index = FT_Get_Char_Index(f, code_point);
  if (index == 0 && f->charmap && f->charmap->encoding == FT_ENCODING_MS_SYMBOL &&
      code_point < 0x100) {
    index = FT_Get_Char_Index(f, 0xF000 + code_point);
  }
  return index;
}

const Glyph& Font::glyph(char32_t code_point) const {
  std::lock_guard lock(mutex_);
  Recent& recent = recent_[code_point % recent_.size()];
  if (recent.glyph && recent.code_point == code_point) return *recent.glyph;
  const uint32_t index = index_of(code_point);
  auto it = cache_.find(index);
  if (it == cache_.end()) {
    Glyph glyph;
    const bool render = !allowance_ || !allowance_->spent();
    FT_Face f = face_->face;
    if (FT_Load_Glyph(f, index, FT_LOAD_TARGET_NORMAL | (render ? FT_LOAD_RENDER : 0)) == 0) {
      const FT_GlyphSlot slot = f->glyph;
      glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
      if (render) {
        glyph.left = slot->bitmap_left;
        glyph.top = slot->bitmap_top;
        copy_bitmap(slot->bitmap, glyph);
        if (allowance_) allowance_->charge_rendering(static_cast<int64_t>(glyph.coverage.size()));
      }
    }
    it = cache_.emplace(index, std::move(glyph)).first;
  }
  recent = Recent{code_point, &it->second};
  return it->second;
}

bool Font::charge_drawing(const Glyph& glyph) const {
  return !allowance_ || allowance_->charge_drawing(static_cast<int64_t>(glyph.coverage.size()));
}

int Font::advance(char32_t code_point) const {
  {
    std::lock_guard lock(mutex_);
    const Recent& recent = recent_[code_point % recent_.size()];
    if (recent.glyph && recent.code_point == code_point) return recent.glyph->advance;
    const uint32_t index = index_of(code_point);
    if (const auto it = cache_.find(index); it != cache_.end()) return it->second.advance;
    if (const auto it = advances_.find(index); it != advances_.end()) return it->second;
    FT_Face f = face_->face;
    if (FT_Load_Glyph(f, index, FT_LOAD_TARGET_NORMAL) == 0) {
      const int advance = static_cast<int>((f->glyph->advance.x + 32) >> 6);
      return advances_.emplace(index, advance).first->second;
    }
  }
  return glyph(code_point).advance;  // the same failure, remembered with the glyph
}

}  // namespace platform
