// Playing metafile records onto a device context: the drawing state the records change and
// the drawing they do, shared by the Windows metafile reader and the enhanced metafile reader
// (metafile_wmf.hpp, metafile_emf.hpp), which decode the records and call the player.
//
// Coordinates. A record's logical point goes through the page transform to the picture's page
// and from there through a fixed mapping (`Placement`) to the device context's logical
// coordinates. The page transform follows the mapping mode:
//   text:                page = logical - window origin + viewport origin;
//   anisotropic:         page = (logical - window origin) * viewport ext / window ext
//                               + viewport origin;
//   isotropic:           the same with the smaller of the two scales on both axes (signs kept);
//   metric and English:  page = (logical - window origin) * pixels per unit + viewport origin,
//                        with y growing upward; units of 0.1 mm, 0.01 mm, 0.01 inch,
//                        0.001 inch or 1/1440 inch, pixels per millimetre from the Placement.
// A zero extent would divide by zero: it is refused and the extent kept.
//
// Sizes follow the mapping too: a pen's width and a font's height in logical units are scaled
// to pixels (a pen at least 1 pixel wide, wider ones up to Pen::kMaxWidth).
//
// Objects. The object table has a fixed number of slots. Creating an object fills a slot;
// selecting copies the object into the drawing state, so deleting it afterwards leaves the
// state as it is. Objects the player cannot draw with still take their slot (palettes and
// regions select nothing; brushes of a bitmap pattern fill nothing).
//
// Text is drawn with the selected font about its reference point as the text alignment says
// (left, centre or right; top, baseline or bottom; or at the current position, which it then
// advances), each character at its given advance when the record has them. An opaque
// background mode fills the text's box with the background colour first. Escapement, italic,
// underline and strike-out are not drawn.
//
// Block transfers copy, exclusive-or, or, and, or copy inverted a bitmap onto the page;
// without a bitmap they fill with the brush, black or white. Other raster operations are
// skipped.
//
// Bounds on the work a hostile file can cause: at most kMaxSavedStates states are saved (a
// deeper save is ignored), at most FontCache::kMaxFonts distinct fonts are made (later
// requests reuse the last one) and they render and draw at most FontCache::kMaxGlyphPixels
// glyph pixels (later text lays out but draws nothing), at most kMaxBmpPixels bitmap pixels
// are decoded and at most kMaxCurvePixels pixels of curves traced in one playing (later
// bitmaps and curves are skipped). A curve's pixels are counted from its size before it is
// drawn: twice the width and height of an ellipse's box (each side counted up to 2^16 pixels,
// beyond which the rasteriser traces only the visible part), and a Bezier piece's control
// polygon (up to 2^16, the most pieces it is cut into); so a file cannot make the player trace
// or hold more than that, however large its shapes. Everything that fills an area (shapes,
// text boxes, block transfers) is charged the part of its box that lies on the page where the
// player draws, at most kMaxFillPixels in one playing. Every outline is charged what its pen
// covers, its length times the pen's width (plus kStepPixels a step for the work of tracing
// it), at most kMaxStrokePixels in one playing. A line's length is its steps along its major
// axis, each segment counted up to the extent on that axis of the part of the page it may draw
// on (widened by the pen), which is as far as the rasteriser traces it; a curve's length is its
// pixels counted above. A shape past a bound is skipped whole; what follows still draws while
// its own cost fits.
//
// Nothing is drawn outside the clip rectangle given to the player. The device context's own
// state (pen, brush, font, colours, modes, position, clip) is restored when the player ends.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/gfx/device_context.hpp"
#include "platform/image/metafile_objects.hpp"
#include "platform/text/font.hpp"

namespace platform::metafile {

// Mapping modes by their record values.
enum class MapMode : uint32_t {
  Text = 1,
  LoMetric = 2,
  HiMetric = 3,
  LoEnglish = 4,
  HiEnglish = 5,
  Twips = 6,
  Isotropic = 7,
  Anisotropic = 8,
};

// One axis of an affine mapping: v -> scale * v + offset.
struct Axis {
  double scale = 1.0;
  double offset = 0.0;
  double at(double v) const { return scale * v + offset; }
};

// Where a picture is played: the rectangle of the device context (logical coordinates) that
// its frame fills, in 64 bits so that one spanning the whole 32-bit range cannot overflow.
struct Destination {
  int64_t left = 0;
  int64_t top = 0;
  int64_t width = 0;
  int64_t height = 0;
};

// Where the picture's page lands on the device context.
struct Placement {
  Axis x, y;                     // page -> device context logical coordinates
  Rect clip;                     // device context logical coordinates; nothing drawn outside
  double pixels_per_mm_x = 1.0;  // page pixels per millimetre, for the metric modes
  double pixels_per_mm_y = 1.0;
  // The isotropic mode equalizes the scales of the whole mapping onto the device context
  // rather than those of the page transform alone.
  bool isotropic_on_device = false;
  size_t object_slots = 0;
};

// The placement of page coordinates lo..hi onto `dest`: both axes, and the clip.
Axis axis_onto(double lo, double hi, int64_t dest_lo, int64_t dest_size);
Rect clip_of(const Destination& dest);

// The page transform's state.
struct Mapping {
  MapMode mode = MapMode::Text;
  Point window_org;
  Point window_ext{1, 1};
  Point viewport_org;
  Point viewport_ext{1, 1};
};

// ExtTextOut options.
inline constexpr uint32_t kTextOpaque = 0x0002;   // fill `rect` with the background colour
inline constexpr uint32_t kTextClipped = 0x0004;  // clip the text to `rect`

struct TextRun {
  Point reference;  // logical; the current position instead when the alignment says so
  std::u16string text;
  uint32_t options = 0;
  Rect rect;                // logical; used with kTextOpaque / kTextClipped
  std::vector<int32_t> dx;  // logical advance of each character; empty: the font's advances
};

// A block of bitmap pixels stretched onto the page, or (without a bitmap) a rectangle filled
// by the raster operation alone.
struct BlockTransfer {
  Point dest;       // logical corner
  Point dest_size;  // logical size; negative mirrors
  Point source;     // bitmap pixels
  Point source_size;
  std::span<const uint8_t> dib;     // packed bitmap; empty: no source
  uint32_t rop = 0;                 // ternary raster operation
  bool source_from_bottom = false;  // source y counts up from a bottom-up bitmap's last row
};

class Player {
 public:
  inline static constexpr size_t kMaxSavedStates = 1024;
  inline static constexpr int64_t kMaxCurvePixels = int64_t{1} << 24;
  inline static constexpr int64_t kMaxFillPixels = int64_t{1} << 28;
  inline static constexpr int64_t kMaxStrokePixels = int64_t{1} << 25;
  // What tracing and sorting one step of an outline costs, in pixels of its stroke.
  inline static constexpr int64_t kStepPixels = 32;

  Player(DeviceContext& dc, const Placement& placement, const Mapping& mapping);
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // State.
  void set_map_mode(uint32_t mode);  // unknown values change nothing
  void set_window_org(Point p);
  void set_window_ext(Point e);
  void set_viewport_org(Point p);
  void set_viewport_ext(Point e);
  void save_dc();
  // which < 0: that many states back; which > 0: the state saved as number `which` (the
  // first save is 1); out of range: nothing.
  void restore_dc(int32_t which);
  void set_text_color(Color c);
  void set_bk_color(Color c);
  void set_bk_mode(uint32_t mode);  // 1 transparent, 2 opaque
  void set_text_align(uint32_t align);

  // Objects. Slots out of range change nothing.
  std::optional<size_t> free_slot() const;  // the lowest empty slot
  void create_object(size_t slot, Object object);
  void select_object(size_t slot);
  void select_stock_object(uint32_t id);  // the platform's stock object numbers
  void delete_object(size_t slot);

  // Drawing; points and rectangles in logical units.
  void move_to(Point p);
  void line_to(Point p);
  void polyline(std::span<const Point> points);
  void polyline_to(std::span<const Point> points);
  void poly_polyline(std::span<const Point> points, std::span<const int> counts);
  void polygon(std::span<const Point> points);
  void poly_polygon(std::span<const Point> points, std::span<const int> counts);
  void poly_bezier(std::span<const Point> points);
  void poly_bezier_to(std::span<const Point> points);
  void rectangle(const Rect& r);
  void round_rect(const Rect& r, Point corner);
  void ellipse(const Rect& r);
  void arc(const Rect& r, Point start, Point end);
  void chord(const Rect& r, Point start, Point end);
  void pie(const Rect& r, Point start, Point end);
  void set_pixel(Point p, Color c);
  // Eight-bit text of the records as UTF-16: Windows-1252, or the byte values themselves
  // when the selected font is a symbol font (whose glyphs sit at those codes).
  std::u16string ansi_text(std::span<const uint8_t> bytes) const;
  void text_out(const TextRun& run);
  void block_transfer(const BlockTransfer& block);

 private:
  struct State {
    Mapping mapping;
    PenSpec pen;
    BrushSpec brush;
    FontSpec font;
    Color text_color = 0;
    Color bk_color = 0xFFFFFF;
    bool opaque = true;
    uint32_t text_align = 0;
    Point position;
  };

  void update_axes();
  int pen_width() const;  // the selected pen's width in pixels
  Point map(Point logical) const;
  Rect map_rect(const Rect& r) const;
  std::vector<Point> map_all(std::span<const Point> points) const;
  void prepare();  // the state's pen, brush and colours into the device context
  void select(const Object& object);
  FontRef font_for(const FontSpec& spec);
  bool bitmap_budget(std::span<const uint8_t> dib);
  // Charges the pixels of a curve inscribed in `box` (device context coordinates), or of the
  // Bezier pieces through `points`; false when the playing has no more to give.
  bool curve_budget(const Rect& box);
  bool curve_budget(std::span<const Point> bezier);
  bool charge_curve(int64_t pixels);
  // The steps of the path through `points` (device context coordinates) that the rasteriser
  // may trace; `closed` adds the segment back to the first point.
  int64_t path_length(std::span<const Point> points, bool closed = false) const;
  // Charges a stroke of `length` steps with the selected pen: length x (width + kStepPixels).
  bool stroke_budget(int64_t length);
  static Rect bounding_box(std::span<const Point> points);
  // Charges the part of an area's box (device context coordinates) that lies on the page.
  bool fill_budget(const Rect& box);

  DeviceContext& dc_;
  Placement placement_;
  State state_;
  Axis x_, y_;  // logical -> device context logical, from the mapping and the placement
  std::vector<State> saved_;
  ObjectTable objects_;
  FontCache fonts_;
  int64_t bitmap_pixels_left_;
  int64_t curve_pixels_left_ = kMaxCurvePixels;
  int64_t fill_pixels_left_ = kMaxFillPixels;
  int64_t stroke_pixels_left_ = kMaxStrokePixels;

  // The device context's state on entry, restored on exit.
  PenRef old_pen_;
  BrushRef old_brush_;
  FontRef old_font_;
  Color old_text_color_, old_bk_color_;
  BkMode old_bk_mode_;
  MixMode old_mix_mode_;
  Point old_position_;
  std::optional<Rect> old_clip_;
};

}  // namespace platform::metafile
