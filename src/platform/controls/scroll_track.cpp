#include "platform/controls/scroll_track.hpp"

#include <algorithm>
#include <utility>

#include "platform/controls/control_paint.hpp"

namespace platform::scroll_track {
namespace {

namespace cp = control_paint;

void arrow(Page& page, const Rect& r, int direction, bool enabled, bool pressed, const Rect& clip) {
  cp::raised_box(page, r, pressed, clip);
  // A solid triangle of 4 rows pointing up (0), down (1), left (2) or right (3).
  const int shift = pressed ? 1 : 0;
  const int cx = r.left + r.width() / 2 + shift, cy = r.top + r.height() / 2 + shift;
  const Pixel ink = enabled ? cp::kText : cp::kGreyText;
  for (int i = 0; i < 4; ++i) {
    const int row = direction == 0 || direction == 2 ? i : 3 - i;
    const int along = row - 2;  // -2..1
    if (direction < 2)
      cp::fill(page, Rect{cx - i, cy + along, cx + i + 1, cy + along + 1}, ink, clip);
    else
      cp::fill(page, Rect{cx + along, cy - i, cx + along + 1, cy + i + 1}, ink, clip);
  }
}

int32_t along(bool vertical, const Rect& bar, Point p) {
  return vertical ? p.y - bar.top : p.x - bar.left;
}

Layout layout_in(const Track& t, const Rect& bar, bool vertical) {
  return vertical ? layout_of(t, bar.height(), bar.width())
                  : layout_of(t, bar.width(), bar.height());
}

}  // namespace

int32_t Track::max_pos() const { return std::max(min, max - std::max(page - 1, 0)); }

void Track::set_info(const ScrollInfo& info) {
  if (info.mask & kSifRange) {
    min = info.min;
    max = std::max(info.max, info.min);
  }
  if (info.mask & kSifPage)
    page = static_cast<int32_t>(
        std::min<int64_t>(info.page, int64_t{max} - min + 1));  // 64 bits: a full range
  if (info.mask & kSifPos) pos = info.pos;
  pos = std::clamp(pos, min, max_pos());
}

void Track::get_info(ScrollInfo& info) const {
  if (info.mask & kSifRange) {
    info.min = min;
    info.max = max;
  }
  if (info.mask & kSifPage) info.page = static_cast<uint32_t>(page);
  if (info.mask & kSifPos) info.pos = pos;
  if (info.mask & kSifTrackPos) info.track_pos = pressed == Part::Thumb ? track_pos : pos;
}

Layout layout_of(const Track& t, int32_t length, int32_t thickness) {
  Layout l;
  l.length = length;
  l.arrow = std::min(thickness, length / 2);
  const int32_t track = l.track_end() - l.track_start();
  const int64_t span = int64_t{t.max} - t.min + 1;
  if (track <= 0 || span <= 0) return l;
  int32_t thumb = t.page > 0 ? static_cast<int32_t>(int64_t{track} * t.page / span) : thickness;
  thumb = std::clamp(thumb, std::min(8, track), track);
  const int64_t travel = std::max<int64_t>(int64_t{t.max_pos()} - t.min, 0);
  const int32_t pos = t.pressed == Part::Thumb ? t.track_pos : t.pos;
  l.thumb_length = thumb;
  l.thumb_start =
      l.arrow +
      (travel == 0 ? 0 : static_cast<int32_t>((int64_t{pos} - t.min) * (track - thumb) / travel));
  return l;
}

Part part_at(const Layout& l, int32_t along) {
  if (along < l.track_start()) return Part::LineUp;
  if (along >= l.track_end()) return Part::LineDown;
  if (l.thumb_length == 0) return Part::None;
  if (along < l.thumb_start) return Part::PageUp;
  if (along >= l.thumb_start + l.thumb_length) return Part::PageDown;
  return Part::Thumb;
}

int32_t track_position(const Track& t, const Layout& l, int32_t along) {
  const int32_t room = l.track_end() - l.track_start() - l.thumb_length;
  if (room <= 0) return t.min;
  const int32_t start = std::clamp(along - t.grab - l.track_start(), 0, room);
  const int64_t travel = int64_t{t.max_pos()} - t.min;
  return t.min + static_cast<int32_t>((start * travel + room / 2) / room);
}

uint32_t request_of(Part p) {
  switch (p) {
    case Part::LineUp:
      return kSbLineUp;
    case Part::LineDown:
      return kSbLineDown;
    case Part::PageUp:
      return kSbPageUp;
    default:
      return kSbPageDown;
  }
}

std::optional<int32_t> scrolled(
    const Track& t, int32_t at, uint32_t code, int32_t position, int32_t line) {
  const int32_t page = std::max(1, t.page);
  int64_t to = at;  // 64 bits: a page added to a position near the limit
  switch (code) {
    case kSbLineUp:
      to -= line;
      break;
    case kSbLineDown:
      to += line;
      break;
    case kSbPageUp:
      to -= page;
      break;
    case kSbPageDown:
      to += page;
      break;
    case kSbThumbTrack:
    case kSbThumbPosition:
      to = position;
      break;
    case kSbTop:
      to = t.min;
      break;
    case kSbBottom:
      to = t.max_pos();
      break;
    default:
      return std::nullopt;
  }
  return static_cast<int32_t>(std::clamp<int64_t>(to, t.min, t.max_pos()));
}

void paint(
    Page& page, const Track& t, const Rect& b, bool vertical, bool enabled, const Rect& clip) {
  const Layout l = layout_in(t, b, vertical);
  // A rectangle along the bar from a to z (pixels along it).
  auto span = [&](int32_t a, int32_t z) {
    return vertical ? Rect{b.left, b.top + a, b.right, b.top + z}
                    : Rect{b.left + a, b.top, b.left + z, b.bottom};
  };
  // The track: the classic checkerboard of white and face.
  const Rect track = intersect(intersect(span(l.track_start(), l.track_end()), clip),
                               Rect{0, 0, page.width(), page.height()});
  for (int y = track.top; y < track.bottom; ++y)
    for (int x = track.left; x < track.right; ++x)
      page.at(x, y) = ((x + y) & 1) ? cp::kHighlight : cp::kFace;
  if (t.pressed == Part::PageUp || t.pressed == Part::PageDown) {
    const Rect dark = t.pressed == Part::PageUp
                          ? span(l.track_start(), l.thumb_start)
                          : span(l.thumb_start + l.thumb_length, l.track_end());
    cp::fill(page, dark, cp::kDarkShadow, clip);
  }
  arrow(page, span(0, l.arrow), vertical ? 0 : 2, enabled, t.pressed == Part::LineUp, clip);
  arrow(page,
        span(l.track_end(), l.length),
        vertical ? 1 : 3,
        enabled,
        t.pressed == Part::LineDown,
        clip);
  if (enabled && l.thumb_length > 0)
    cp::raised_box(page, span(l.thumb_start, l.thumb_start + l.thumb_length), false, clip);
}

Rect InnerBars::vertical_rect(const Rect& inside) const {
  if (!show_vertical) return Rect{};
  const int32_t bottom = inside.bottom - (show_horizontal ? kThickness : 0);
  return Rect{std::max(inside.left, inside.right - kThickness), inside.top, inside.right, bottom};
}

Rect InnerBars::horizontal_rect(const Rect& inside) const {
  if (!show_horizontal) return Rect{};
  const int32_t right = inside.right - (show_vertical ? kThickness : 0);
  return Rect{inside.left, std::max(inside.top, inside.bottom - kThickness), right, inside.bottom};
}

Rect InnerBars::content(const Rect& inside) const {
  Rect c = inside;
  if (show_vertical) c.right = std::max(c.left, c.right - kThickness);
  if (show_horizontal) c.bottom = std::max(c.top, c.bottom - kThickness);
  return c;
}

bool InnerBars::hit(const Rect& inside, Point p) const {
  return vertical_rect(inside).contains(p.x, p.y) || horizontal_rect(inside).contains(p.x, p.y) ||
         (inside.contains(p.x, p.y) && !content(inside).contains(p.x, p.y));  // the corner
}

bool InnerBars::pressed() const {
  return vertical.pressed != Part::None || horizontal.pressed != Part::None;
}

Track* InnerBars::pressed_track() {
  if (vertical.pressed != Part::None) return &vertical;
  if (horizontal.pressed != Part::None) return &horizontal;
  return nullptr;
}

std::optional<Request> InnerBars::press(const Rect& inside, Point p) {
  for (const bool v : {true, false}) {
    const Rect bar = v ? vertical_rect(inside) : horizontal_rect(inside);
    Track& t = v ? vertical : horizontal;
    if (!bar.contains(p.x, p.y) || !t.can_scroll()) continue;
    const Layout l = layout_in(t, bar, v);
    const int32_t a = along(v, bar, p);
    const Part part = part_at(l, a);
    if (part == Part::None) return std::nullopt;
    t.pressed = part;
    if (part == Part::Thumb) {
      t.grab = a - l.thumb_start;
      t.track_pos = t.pos;
      return std::nullopt;
    }
    return Request{v, request_of(part), 0};
  }
  return std::nullopt;
}

std::optional<Request> InnerBars::drag(const Rect& inside, Point p) {
  const bool v = vertical.pressed == Part::Thumb;
  Track& t = v ? vertical : horizontal;
  if (t.pressed != Part::Thumb) return std::nullopt;
  const Rect bar = v ? vertical_rect(inside) : horizontal_rect(inside);
  const int32_t to = track_position(t, layout_in(t, bar, v), along(v, bar, p));
  if (to == t.track_pos) return std::nullopt;
  t.track_pos = to;
  return Request{v, kSbThumbTrack, to};
}

std::optional<Request> InnerBars::release() {
  Track* t = pressed_track();
  if (!t) return std::nullopt;
  const Part was = std::exchange(t->pressed, Part::None);
  if (was != Part::Thumb) return std::nullopt;
  return Request{t == &vertical, kSbThumbPosition, t->track_pos};
}

void InnerBars::paint(Page& page, const Rect& inside, bool enabled, const Rect& clip) const {
  if (show_vertical)
    scroll_track::paint(
        page, vertical, vertical_rect(inside), true, enabled && vertical.can_scroll(), clip);
  if (show_horizontal)
    scroll_track::paint(
        page, horizontal, horizontal_rect(inside), false, enabled && horizontal.can_scroll(), clip);
  if (show_vertical && show_horizontal)  // the corner where the bars meet
    cp::fill(
        page,
        Rect{inside.right - kThickness, inside.bottom - kThickness, inside.right, inside.bottom},
        cp::kFace,
        clip);
}

}  // namespace platform::scroll_track
