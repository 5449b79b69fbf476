// Device contexts: drawing state over a page, and the drawing operations that use it.
//
// A device context draws on one page with: a text colour (which also inks the set bits of
// pattern brushes), a background colour and background mode (opaque: dash gaps and the clear
// bits of patterns take the background colour; transparent: they are left alone), a mix mode
// (copy or exclusive-or, for pens and brushes), a current position, a viewport origin, an
// optional rectangular clip region and the selected pen, brush and font.
//
// Drawing operations take logical coordinates; device (page) coordinates are logical
// coordinates plus the viewport origin. The clip region is given in device coordinates.
// Nothing is ever drawn outside the page or the clip region, whatever the coordinates.
//
// Each operation gathers the pixels it covers first and paints each once (see coverage.hpp).
// Filled shapes paint their interior with the brush and their outline with the pen.
//
// Not thread-safe: the owner of the page serialises its use.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/gfx/brush.hpp"
#include "platform/gfx/geometry.hpp"
#include "platform/gfx/page.hpp"
#include "platform/gfx/paint.hpp"
#include "platform/gfx/pen.hpp"
#include "platform/gfx/raster_line.hpp"
#include "platform/gfx/stroke.hpp"

namespace platform {

class Font;  // text rendering owns it
using FontRef = std::shared_ptr<const Font>;

enum class BkMode { Transparent, Opaque };

class DeviceContext {
 public:
  // Defaults: black text on a white, opaque background, copy mode, position and origin (0, 0),
  // no clip region, the black pen, the white brush and no font.
  explicit DeviceContext(Page& page);

  Page& page() { return *page_; }
  const Page& page() const { return *page_; }

  // Setters return the previous value.
  Color text_color() const { return text_color_; }
  Color set_text_color(Color c);
  Color bk_color() const { return bk_color_; }
  Color set_bk_color(Color c);
  BkMode bk_mode() const { return bk_mode_; }
  BkMode set_bk_mode(BkMode m);
  MixMode mix_mode() const { return mix_mode_; }
  MixMode set_mix_mode(MixMode m);

  // Selecting returns the previous object; selecting a null reference changes nothing and
  // returns null.
  const PenRef& pen() const { return pen_; }
  PenRef select_pen(PenRef pen);
  const BrushRef& brush() const { return brush_; }
  BrushRef select_brush(BrushRef brush);
  const FontRef& font() const { return font_; }
  FontRef select_font(FontRef font);

  // Current position (logical).
  Point position() const { return position_; }
  Point move_to(Point p);
  // Viewport origin: the device point of logical (0, 0).
  Point origin() const { return origin_; }
  Point set_origin(Point device);
  // Clip region in device coordinates; none = the whole page.
  const std::optional<Rect>& clip() const { return clip_; }
  void set_clip(std::optional<Rect> device_rect);
  // Device rectangle drawing may touch: the page within the clip region.
  Rect drawable() const;

  // Coordinate conversions; results are clamped to the 32-bit range.
  Point to_device(Point logical) const;
  Point to_logical(Point device) const;

  // Lines: from the current position to p, which becomes the current position.
  void line_to(Point p);
  // Open polyline; the current position is neither used nor changed.
  void polyline(std::span<const Point> points);
  // Cubic Bezier pieces (see raster_bezier.hpp), drawn like a polyline.
  void poly_bezier(std::span<const Point> points);
  // Closed polygon: interior by the even-odd rule, filled with the brush, outlined by the pen.
  void polygon(std::span<const Point> points);
  // Several closed polygons filled together by the even-odd rule, so a ring inside another is
  // a hole, each ring outlined by the pen. `counts` gives the points of each ring in turn; a
  // count past the points left is cut to them.
  void poly_polygon(std::span<const Point> points, std::span<const int> counts);
  // Rectangle: outline through the corners (left, top) and (right - 1, bottom - 1), interior
  // inside it; with the null pen the interior alone covers left..right-2, top..bottom-2.
  void rectangle(const Rect& r);
  // Rectangle with rounded corners: quarters of a corner_w x corner_h ellipse (see
  // raster_ellipse.hpp); the box is covered like an ellipse's.
  void round_rect(const Rect& box, int corner_w, int corner_h);
  // Ellipse, arc, pie and chord inscribed in `box` (see raster_ellipse.hpp).
  void ellipse(const Rect& box);
  void arc(const Rect& box, Point start, Point end);
  void pie(const Rect& box, Point start, Point end);
  void chord(const Rect& box, Point start, Point end);
  // Fills the region around `seed` bounded by `border` with the brush; false when the seed is
  // outside the page or clip region or has the border colour.
  bool flood_fill(Point seed, Color border);
  // Fills left..right-1, top..bottom-1 with `brush` in copy mode, whatever the mix mode;
  // pattern gaps take the background colour.
  void fill_rect(const Rect& r, const Brush& brush);
  // One pixel in copy mode; nothing outside the page or clip region.
  void set_pixel(Point p, Color c);
  // Colour of a pixel; kInvalidColor outside the page or clip region.
  Color get_pixel(Point p) const;

 private:
  Point64 device(Point logical) const;
  Rect trace_bounds() const;  // drawable() widened by the pen's reach
  raster::Ink brush_ink(const Brush& brush, bool opaque) const;
  void paint_fill(const raster::Coverage& area);
  std::vector<Point64> device_points(std::span<const Point> points) const;
  void paint_stroke(const raster::Stroke& s);
  void stroke_and_paint(const raster::Spine& spine);
  void fill_and_outline(raster::Coverage area, raster::Stroke outline);
  void fill_and_outline(raster::Coverage area, const raster::Spine& outline);
  // trace(trace_bounds()): a shape's outline spine, or none for the null pen, which would ink
  // nothing, so that no outline is traced that is not drawn.
  template <class Trace>
  raster::Spine outline(const Trace& trace) const;

  Page* page_;
  Color text_color_ = 0;
  Color bk_color_ = 0xFFFFFFu;
  BkMode bk_mode_ = BkMode::Opaque;
  MixMode mix_mode_ = MixMode::Copy;
  PenRef pen_;
  BrushRef brush_;
  FontRef font_;
  Point position_;
  Point origin_;
  std::optional<Rect> clip_;
};

}  // namespace platform
