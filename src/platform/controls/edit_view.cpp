#include "platform/controls/edit_view.hpp"

#include <algorithm>

#include "platform/controls/control_paint.hpp"
#include "platform/controls/parent_background.hpp"
#include "platform/text/text_convert.hpp"
#include "platform/text/text_layout.hpp"

namespace platform::edit_view {
namespace {

namespace cp = control_paint;

constexpr Pixel kSelection = 0x000080;
constexpr int32_t kInset = 2;  // text distance from the frame and the bars

bool wraps(WindowSystem& system, Hwnd window) {
  const uint32_t style = system.style(window);
  return (style & kEsMultiline) && !(style & (kEsAutoHScroll | kStyleHScroll));
}

// Advance of each unit as drawn (a password field shows a star for each).
edit_layout::Advance advance_of(WindowSystem& system,
                                Hwnd window,
                                const EditState& s,
                                const Font& font) {
  if (system.style(window) & kEsPassword)
    return [&font](int32_t) -> int32_t { return font.glyph(U'*').advance; };
  return edit_layout::font_advance(font, s.text);
}

void paint_row(WindowSystem& system,
               Hwnd window,
               EditState& s,
               Page& page,
               const Row& row,
               const Rect& area,
               int32_t y,
               const Rect& box,
               const cp::TextBackground& background) {
  const auto font = cp::font_or_default(s.font);
  const bool enabled = system.is_enabled(window);
  const bool password = (system.style(window) & kEsPassword) != 0;
  const auto shown = [&](int32_t from, int32_t to) {
    return password ? std::u16string(to - from, u'*') : edit_layout::drawn(s.text, from, to);
  };
  const std::vector<int32_t> offset =
      edit_layout::offsets(row, advance_of(system, window, s, *font));
  const int32_t x = area.left + row_x(system, window, s, row.width, area.width());
  const auto x_at = [&](int32_t pos) { return x + offset[pos - row.start]; };
  // Only the part of the row that can be seen is drawn.
  const int32_t first_shown =
      static_cast<int32_t>(std::upper_bound(offset.begin(), offset.end(), area.left - x) -
                           offset.begin()) -
      1;
  const int32_t last_shown = static_cast<int32_t>(
      std::lower_bound(offset.begin(), offset.end(), area.right - x) - offset.begin());
  const int32_t lo = row.start + std::max(0, first_shown);
  const int32_t hi = row.start + std::min(row.end - row.start, last_shown);
  draw_text(page,
            *font,
            x_at(lo),
            y,
            shown(lo, hi),
            cp::text_on(enabled ? cp::kText : cp::kGreyText, background),
            box);
  const int32_t from = std::min(s.anchor, s.caret), to = std::max(s.anchor, s.caret);
  const int32_t a = std::max(from, row.start), b = std::min(to, row.end);
  if (a < b) {
    const Rect lit{x_at(a), y, x_at(b), y + font->height()};
    cp::fill(page, lit, kSelection, box);
    draw_text(page,
              *font,
              lit.left,
              y,
              shown(a, b),
              TextColours{cp::kHighlight, 0, false},
              intersect(box, lit));
  }
}

}  // namespace

std::shared_ptr<EditState> state_of(WindowSystem& system, Hwnd window) {
  auto s = std::static_pointer_cast<EditState>(system.class_data(window));
  if (!s) {
    s = std::make_shared<EditState>();
    s->text = utf8_to_utf16(system.text(window));  // the text the field was created with
    const uint32_t style = system.style(window);
    s->read_only = (style & kEsReadOnly) != 0;
    const bool multi = (style & kEsMultiline) != 0;
    s->bars.show_vertical = multi && (style & kStyleVScroll);
    s->bars.show_horizontal = multi && (style & kStyleHScroll);
    system.set_class_data(window, s);
  }
  return s;
}

bool multiline(WindowSystem& system, Hwnd window) {
  return (system.style(window) & kEsMultiline) != 0;
}

Rect inside(WindowSystem& system, Hwnd window) { return cp::within_sunken_field(system, window); }

// The text area within the frame and the bars, in client coordinates.
Rect text_area(WindowSystem& system, Hwnd window, const EditState& s) {
  const Rect c = s.bars.content(inside(system, window));
  return Rect{c.left + kInset,
              c.top + kInset,
              std::max(c.left + kInset, c.right - kInset),
              std::max(c.top + kInset, c.bottom - kInset)};
}

const std::vector<Row>& rows_of(WindowSystem& system, Hwnd window, EditState& s) {
  const auto font = cp::font_or_default(s.font);
  const int32_t wrap =
      wraps(system, window) ? std::max(1, text_area(system, window, s).width()) : 0;
  if (s.rows_version == s.version && s.rows_wrap == wrap && s.rows_font == font) return s.rows;
  s.rows = edit_layout::layout(
      s.text, advance_of(system, window, s, *font), wrap, multiline(system, window));
  s.rows_version = s.version;
  s.rows_wrap = wrap;
  s.rows_font = font;
  s.widest = 0;
  for (const Row& r : s.rows) s.widest = std::max(s.widest, r.width);
  return s.rows;
}

int32_t visible_rows(WindowSystem& system, Hwnd window, const EditState& s) {
  return std::max(1, text_area(system, window, s).height() / cp::font_or_default(s.font)->height());
}

int32_t caret_row(WindowSystem& system, Hwnd window, EditState& s) {
  return edit_layout::row_of(rows_of(system, window, s), s.caret, s.at_row_end);
}

// x of a position on its row, from the row's left edge.
int32_t x_in_row(WindowSystem& system, Hwnd window, EditState& s, const Row& row, int32_t pos) {
  const auto font = cp::font_or_default(s.font);
  const auto advance = advance_of(system, window, s, *font);
  int32_t x = 0;
  for (int32_t i = row.start; i < pos; ++i) x += advance(i);
  return x;
}

// x offset of a row's text in the area (alignment applies to text that fits).
int32_t row_x(WindowSystem& system, Hwnd window, const EditState& s, int32_t width, int32_t area) {
  const uint32_t align = system.style(window) & 3;
  if (width < area && align == kEsCenter) return (area - width) / 2;
  if (width < area && align == kEsRight) return area - width;
  return -s.scroll_x;
}

// The scroll bars' ranges, pages and positions from the rows and the scrolling.
void sync_bars(WindowSystem& system, Hwnd window, EditState& s) {
  const std::vector<Row>& rows = rows_of(system, window, s);
  const int32_t shown = visible_rows(system, window, s);
  ScrollInfo v;
  v.mask = kSifRange | kSifPage | kSifPos;
  v.max = static_cast<int32_t>(rows.size()) - 1;
  v.page = static_cast<uint32_t>(shown);
  v.pos = s.top_line;
  s.bars.vertical.set_info(v);
  if (multiline(system, window)) s.top_line = std::clamp(s.top_line, 0, s.bars.vertical.max_pos());
  ScrollInfo h;
  h.mask = kSifRange | kSifPage | kSifPos;
  h.max = s.widest;  // and a pixel for the caret after the widest row
  h.page = static_cast<uint32_t>(std::max(1, text_area(system, window, s).width()));
  h.pos = s.scroll_x;
  s.bars.horizontal.set_info(h);
}

// Scrolls so that the caret is in view.
void scroll_caret(WindowSystem& system, Hwnd window, EditState& s) {
  const Rect area = text_area(system, window, s);
  const std::vector<Row>& rows = rows_of(system, window, s);
  const int32_t line = caret_row(system, window, s);
  if (!wraps(system, window)) {
    const int32_t x = x_in_row(system, window, s, rows[line], s.caret);
    if (x - s.scroll_x > area.width() - 1) s.scroll_x = x - area.width() + 1;
    if (x < s.scroll_x) s.scroll_x = x;
  } else {
    s.scroll_x = 0;
  }
  if (multiline(system, window)) {
    const int32_t shown = visible_rows(system, window, s);
    if (line < s.top_line) s.top_line = line;
    if (line >= s.top_line + shown) s.top_line = line - shown + 1;
  }
  sync_bars(system, window, s);
  system.invalidate(window, nullptr);
}

// Carries out a scroll request (kSb*) on the rows (vertical) or sideways.
void scroll(WindowSystem& system,
            Hwnd window,
            EditState& s,
            bool vertical,
            uint32_t code,
            int32_t position) {
  if (!multiline(system, window)) return;
  sync_bars(system, window, s);
  const scroll_track::Track& t = vertical ? s.bars.vertical : s.bars.horizontal;
  const int32_t line = vertical ? 1 : std::max(1, cp::font_or_default(s.font)->glyph(U'x').advance);
  int32_t& at = vertical ? s.top_line : s.scroll_x;
  const std::optional<int32_t> to = scroll_track::scrolled(t, at, code, position, line);
  if (!to) return;
  at = *to;
  sync_bars(system, window, s);
  system.invalidate(window, nullptr);
}

// The position of row `line` nearest to x (from the row's left edge of the text area).
int32_t position_on_row(
    WindowSystem& system, Hwnd window, EditState& s, int32_t line, int32_t x, bool& past_end) {
  const std::vector<Row>& rows = rows_of(system, window, s);
  const Row& row = rows[std::clamp(line, 0, static_cast<int32_t>(rows.size()) - 1)];
  const auto font = cp::font_or_default(s.font);
  const int32_t x0 = row_x(system, window, s, row.width, text_area(system, window, s).width());
  return edit_layout::nearest(row, advance_of(system, window, s, *font), x - x0, past_end);
}

// The text position nearest to a client point.
int32_t position_at(WindowSystem& system, Hwnd window, EditState& s, Point p, bool& past_end) {
  const Rect area = text_area(system, window, s);
  const int32_t h = cp::font_or_default(s.font)->height();
  const int32_t dy = p.y - area.top;
  const int32_t line = multiline(system, window) ? s.top_line + (dy < 0 ? -1 : dy / h) : 0;
  return position_on_row(system, window, s, line, p.x - area.left, past_end);
}

void paint(WindowSystem& system, Hwnd window, EditState& s, const ChildPaint& target) {
  Page& page = *target.surface;
  const Rect r = target.bounds;
  const Rect& clip = target.clip;
  const bool enabled = system.is_enabled(window);
  cp::sunken_field(page, r, enabled && !s.read_only, clip);
  const Point o = cp::client_on_page(system, window, r);
  // A field the user cannot type in is drawn on the background its parent gives.
  cp::TextBackground background;
  if (!enabled || s.read_only) {
    ParentBackground asked(system, window, target);
    asked.fill(inside(system, window).translated(o.x, o.y));
    background = asked.text();
  }
  sync_bars(system, window, s);
  s.bars.paint(page, inside(system, window).translated(o.x, o.y), enabled, clip);
  const auto font = cp::font_or_default(s.font);
  const Rect area = text_area(system, window, s).translated(o.x, o.y);
  const Rect box = intersect(area, clip);
  if (s.text.empty() && !s.focused && !s.cue.empty()) {
    draw_text(page, *font, area.left, area.top, s.cue, cp::text_on(cp::kGreyText, background), box);
    return;
  }
  const std::vector<Row>& rows = rows_of(system, window, s);
  const int32_t first = multiline(system, window) ? s.top_line : 0;
  for (int32_t line = first; line < static_cast<int32_t>(rows.size()); ++line) {
    const int32_t y = area.top + (line - first) * font->height();
    if (y >= area.bottom) break;
    paint_row(system, window, s, page, rows[line], area, y, box, background);
  }
  const int32_t line = caret_row(system, window, s);
  if (s.focused && s.anchor == s.caret && line >= first) {
    const Row& row = rows[line];
    const int32_t x = area.left + row_x(system, window, s, row.width, area.width()) +
                      x_in_row(system, window, s, row, s.caret);
    const int32_t cx = std::min(x, area.right - 1);  // blanks hanging at a cut may pass the edge
    const int32_t y = area.top + (line - first) * font->height();
    cp::fill(page, Rect{cx, y, cx + 1, y + font->height()}, cp::kText, box);
  }
}

// The state of one of the field's own bars (kMsgSbmGetScrollInfo); 0 when it is not shown.
int64_t own_bar_info(WindowSystem& system, Hwnd window, EditState& s, bool vertical, int64_t lp) {
  if (lp == 0 || !(vertical ? s.bars.show_vertical : s.bars.show_horizontal)) return 0;
  sync_bars(system, window, s);
  (vertical ? s.bars.vertical : s.bars.horizontal).get_info(*reinterpret_cast<ScrollInfo*>(lp));
  return 1;
}

// The first row shown; in a one-line field the first position shown.
int32_t first_visible(WindowSystem& system, Hwnd window, EditState& s) {
  if (multiline(system, window)) return s.top_line;
  const Row& row = rows_of(system, window, s).front();
  const auto font = cp::font_or_default(s.font);
  const std::vector<int32_t> o = edit_layout::offsets(row, advance_of(system, window, s, *font));
  return row.start +
         static_cast<int32_t>(std::lower_bound(o.begin(), o.end(), s.scroll_x) - o.begin());
}

}  // namespace platform::edit_view
