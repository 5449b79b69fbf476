// The "EDIT" class: one-line and multi-line text fields.
//
// The text is kept as UTF-16 (positions count UTF-16 units, as the edit messages do) and is
// also the window's text (UTF-8). It is shown in rows (edit_layout): a multi-line field
// without kEsAutoHScroll and kStyleHScroll wraps its lines at word boundaries to the width of
// its text area; other fields cut rows only at line breaks and scroll sideways. The line
// requests (line count, line of a position, first position of a line) count these rows, as
// the user sees them.
//
// A selection runs between an anchor and the caret; the mouse (pressed and dragged), Shift
// with the arrow, Home, End and page keys, and Ctrl+A set it; the caret moves through the rows
// as they are shown. Typed characters replace the selection; Backspace and Delete remove it or
// one character; Ctrl+X, Ctrl+C and Ctrl+V cut, copy and paste through the display's
// clipboard. A read-only field takes no changes from the user. Enter makes a new line in a
// multi-line field and nothing in a one-line field. Each change the user makes to the text is
// told to the parent with kMsgCommand, notification code kEnChange in the high word of wparam
// and the field in lparam; changes the program makes (set text, replace selection) are not.
//
// The caret is kept in view. A multi-line field shows the scroll bars its style asks for
// (kStyleVScroll, kStyleHScroll) inside its frame, greyed while there is nothing to scroll;
// they scroll the rows and follow the caret and the mouse wheel (three rows a notch). The
// field answers kMsgVScroll and kMsgHScroll with lparam 0 (its own bars) as requests to
// scroll, and kMsgSbmGetScrollInfo with wparam kSbsVert or kSbsHorz with the state of that
// bar. A field that is empty and has no focus shows its cue text in grey.
#include <algorithm>

#include "platform/controls/control_classes.hpp"
#include "platform/controls/control_paint.hpp"
#include "platform/controls/edit_layout.hpp"
#include "platform/controls/scroll_track.hpp"
#include "platform/text/text_convert.hpp"

namespace platform {
namespace {

namespace cp = control_paint;
using edit_layout::Row;

constexpr Pixel kSelection = 0x000080;
constexpr int32_t kInset = 2;         // text distance from the frame and the bars
constexpr int32_t kWheelRows = 3;     // rows scrolled per notch of the wheel
constexpr int32_t kWheelDelta = 120;  // one notch

struct EditState {
  std::u16string text;
  uint64_t version = 0;  // counts changes of the text
  int32_t anchor = 0, caret = 0;
  bool at_row_end = false;  // the caret shows at the end of the soft row it ends
  int32_t limit = 30000;
  bool read_only = false;
  bool focused = false;
  bool tracking = false;
  std::u16string cue;
  std::shared_ptr<const Font> font;
  int32_t scroll_x = 0;  // pixels scrolled sideways
  int32_t top_line = 0;  // multi-line: first row shown
  scroll_track::InnerBars bars;
  // The rows of the text, laid out again when the text, the wrap width or the font change.
  std::vector<Row> rows;
  uint64_t rows_version = ~uint64_t{0};
  int32_t rows_wrap = -1;
  std::shared_ptr<const Font> rows_font;
  int32_t widest = 0;  // pixels of the widest row
};

std::shared_ptr<EditState> state_of(WindowSystem& system, Hwnd window) {
  auto s = std::static_pointer_cast<EditState>(system.class_data(window));
  if (!s) {
    s = std::make_shared<EditState>();
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

bool wraps(WindowSystem& system, Hwnd window) {
  const uint32_t style = system.style(window);
  return (style & kEsMultiline) && !(style & (kEsAutoHScroll | kStyleHScroll));
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

// Advance of each unit as drawn (a password field shows a star for each).
edit_layout::Advance advance_of(WindowSystem& system,
                                Hwnd window,
                                const EditState& s,
                                const Font& font) {
  if (system.style(window) & kEsPassword)
    return [&font](int32_t) -> int32_t { return font.glyph(U'*').advance; };
  return edit_layout::font_advance(font, s.text);
}

const std::vector<Row>& rows_of(WindowSystem& system, Hwnd window, EditState& s) {
  const auto font = cp::font_or_default(s.font);
  const int32_t wrap =
      wraps(system, window) ? std::max(1, text_area(system, window, s).width()) : 0;
  if (s.rows_version == s.version && s.rows_wrap == wrap && s.rows_font == font) return s.rows;
  s.rows = edit_layout::layout(s.text, advance_of(system, window, s, *font), wrap);
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

void set_selection(WindowSystem& system,
                   Hwnd window,
                   EditState& s,
                   int32_t anchor,
                   int32_t caret,
                   bool at_row_end = false) {
  const int32_t n = static_cast<int32_t>(s.text.size());
  s.anchor = std::clamp(anchor, 0, n);
  s.caret = std::clamp(caret, 0, n);
  s.at_row_end = at_row_end;
  scroll_caret(system, window, s);
}

void text_changed(WindowSystem& system, Hwnd window, EditState& s) {
  ++s.version;
  system.set_text(window, utf16_to_utf8(s.text));
  scroll_caret(system, window, s);
}

// Replaces the selection by `with` (cut to the limit); the caret goes after it. true when the
// text changed.
bool replace_selection(WindowSystem& system, Hwnd window, EditState& s, std::u16string with) {
  const int32_t from = std::min(s.anchor, s.caret), to = std::max(s.anchor, s.caret);
  const int32_t room = s.limit - (static_cast<int32_t>(s.text.size()) - (to - from));
  if (static_cast<int32_t>(with.size()) > room) with.resize(std::max(0, room));
  const bool changed = to > from || !with.empty();
  s.text.replace(from, to - from, with);
  s.anchor = s.caret = from + static_cast<int32_t>(with.size());
  s.at_row_end = false;
  text_changed(system, window, s);
  return changed;
}

// A change by the user: made, and told to the parent when the text changed.
void user_replace(WindowSystem& system, Hwnd window, EditState& s, std::u16string with) {
  if (!replace_selection(system, window, s, std::move(with))) return;
  const Hwnd parent = system.parent(window);
  if (parent != 0)
    system.send_message(
        parent, kMsgCommand, static_cast<uint64_t>(kEnChange) << 16, static_cast<int64_t>(window));
}

std::u16string selected(const EditState& s) {
  const int32_t from = std::min(s.anchor, s.caret), to = std::max(s.anchor, s.caret);
  return s.text.substr(from, to - from);
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

// Up, Down, Page Up and Page Down: `rows` rows away, at the caret's x.
void move_rows(WindowSystem& system, Hwnd window, EditState& s, int32_t rows_away, bool shift) {
  const std::vector<Row>& rows = rows_of(system, window, s);
  const int32_t line = caret_row(system, window, s);
  const int32_t to = std::clamp(line + rows_away, 0, static_cast<int32_t>(rows.size()) - 1);
  if (to == line) return;
  const int32_t area = text_area(system, window, s).width();
  const int32_t x = row_x(system, window, s, rows[line].width, area) +
                    x_in_row(system, window, s, rows[line], s.caret);
  bool past_end = false;
  const int32_t at = position_on_row(system, window, s, to, x, past_end);
  set_selection(system, window, s, shift ? s.anchor : at, at, past_end);
}

void on_key(WindowSystem& system, Hwnd window, EditState& s, uint32_t key, int64_t lp) {
  const bool shift = (lp & kKeyShiftHeld) != 0, control = (lp & kKeyControlHeld) != 0;
  const bool editable = !s.read_only;
  const std::vector<Row>& rows = rows_of(system, window, s);
  const Row row = rows[caret_row(system, window, s)];
  auto move = [&](int32_t to, bool at_end = false) {
    set_selection(system, window, s, shift ? s.anchor : to, to, at_end);
  };
  const bool has_selection = s.anchor != s.caret;
  const bool multi = multiline(system, window);
  switch (key) {
    case kVkLeft:
      move(!shift && has_selection ? std::min(s.anchor, s.caret) : s.caret - 1);
      return;
    case kVkRight:
      move(!shift && has_selection ? std::max(s.anchor, s.caret) : s.caret + 1);
      return;
    case kVkHome:
      move(control ? 0 : row.start);
      return;
    case kVkEnd:
      if (control)
        move(static_cast<int32_t>(s.text.size()));
      else
        move(row.end, row.soft);
      return;
    case kVkUp:
    case kVkDown:
      if (multi)
        move_rows(system, window, s, key == kVkUp ? -1 : 1, shift);
      else
        move(key == kVkUp ? s.caret - 1 : s.caret + 1);
      return;
    case kVkPrior:
    case kVkNext:
      if (multi) {
        const int32_t page = visible_rows(system, window, s);
        move_rows(system, window, s, key == kVkPrior ? -page : page, shift);
      }
      return;
    case kVkBack:
    case kVkDelete:
      if (!editable) return;
      if (!has_selection) {
        const int32_t other = key == kVkBack ? s.caret - 1 : s.caret + 1;
        if (other < 0 || other > static_cast<int32_t>(s.text.size())) return;
        s.anchor = other;
      }
      user_replace(system, window, s, u"");
      return;
    default:
      break;
  }
  if (!control) return;
  if (key == 'A') set_selection(system, window, s, 0, static_cast<int32_t>(s.text.size()));
  if ((key == 'C' || key == 'X') && has_selection && !(system.style(window) & kEsPassword))
    system.set_clipboard_text(utf16_to_utf8(selected(s)));
  if (key == 'X' && has_selection && editable) user_replace(system, window, s, u"");
  if (key == 'V' && editable) {
    std::string pasted;
    if (!system.clipboard_text(pasted)) return;
    std::u16string wide = utf8_to_utf16(pasted);
    if (!multi) wide = wide.substr(0, wide.find_first_of(u"\r\n"));
    std::erase(wide, u'\r');
    user_replace(system, window, s, wide);
  }
}

void on_char(WindowSystem& system, Hwnd window, EditState& s, uint32_t ch) {
  if (s.read_only) return;
  if (ch == '\r' || ch == '\n') {
    if (multiline(system, window)) user_replace(system, window, s, u"\n");
    return;
  }
  if (ch < 0x20 || ch == 0x7F) return;
  std::u16string wide;
  if (ch > 0xFFFF) {
    ch -= 0x10000;
    wide = {static_cast<char16_t>(0xD800 + (ch >> 10)),
            static_cast<char16_t>(0xDC00 + (ch & 0x3FF))};
  } else {
    wide = {static_cast<char16_t>(ch)};
  }
  user_replace(system, window, s, wide);
}

void paint_row(WindowSystem& system,
               Hwnd window,
               EditState& s,
               Page& page,
               const Row& row,
               const Rect& area,
               int32_t y,
               const Rect& box) {
  const auto font = cp::font_or_default(s.font);
  const bool enabled = system.is_enabled(window);
  const bool password = (system.style(window) & kEsPassword) != 0;
  const auto shown = [&](int32_t from, int32_t to) {
    return password ? std::u16string(to - from, u'*') : s.text.substr(from, to - from);
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
            TextColours{enabled ? cp::kText : cp::kGreyText, 0, false},
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

void paint(WindowSystem& system, Hwnd window, EditState& s, const ChildPaint& target) {
  Page& page = *target.surface;
  const Rect r = target.bounds;
  const Rect& clip = target.clip;
  const bool enabled = system.is_enabled(window);
  cp::sunken_field(page, r, enabled && !s.read_only, clip);
  sync_bars(system, window, s);
  const Point o = cp::client_on_page(system, window, r);
  s.bars.paint(page, inside(system, window).translated(o.x, o.y), enabled, clip);
  const auto font = cp::font_or_default(s.font);
  const Rect area = text_area(system, window, s).translated(o.x, o.y);
  const Rect box = intersect(area, clip);
  if (s.text.empty() && !s.focused && !s.cue.empty()) {
    draw_text(page, *font, area.left, area.top, s.cue, TextColours{cp::kGreyText, 0, false}, box);
    return;
  }
  const std::vector<Row>& rows = rows_of(system, window, s);
  const int32_t first = multiline(system, window) ? s.top_line : 0;
  for (int32_t line = first; line < static_cast<int32_t>(rows.size()); ++line) {
    const int32_t y = area.top + (line - first) * font->height();
    if (y >= area.bottom) break;
    paint_row(system, window, s, page, rows[line], area, y, box);
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

// The mouse: on the bars it scrolls, elsewhere it selects.
void on_mouse(WindowSystem& system, Hwnd window, EditState& s, uint32_t message, int64_t lp) {
  const Point p{point_x(lp), point_y(lp)};
  const Rect within = inside(system, window);
  auto carry_out = [&](const std::optional<scroll_track::Request>& r) {
    if (r) scroll(system, window, s, r->vertical, r->code, r->position);
    system.invalidate(window, nullptr);
  };
  if (message == kMsgLButtonUp) {
    s.tracking = false;
    if (s.bars.pressed()) carry_out(s.bars.release());
    return;
  }
  if (message == kMsgMouseMove) {
    bool past_end = false;
    if (s.bars.pressed())
      carry_out(s.bars.drag(within, p));
    else if (s.tracking)
      set_selection(
          system, window, s, s.anchor, position_at(system, window, s, p, past_end), past_end);
    return;
  }
  if (s.bars.hit(within, p)) {  // a press on a bar
    sync_bars(system, window, s);
    carry_out(s.bars.press(within, p));
    return;
  }
  system.set_focus(window);
  bool past_end = false;
  const int32_t at = position_at(system, window, s, p, past_end);
  if (message == kMsgLButtonDblClk)
    set_selection(system, window, s, 0, static_cast<int32_t>(s.text.size()));
  else
    set_selection(system, window, s, at, at, past_end);
  s.tracking = message == kMsgLButtonDown;
}

}  // namespace

int64_t edit_proc(WindowSystem& system, Hwnd window, uint32_t message, uint64_t wp, int64_t lp) {
  auto s = state_of(system, window);
  switch (message) {
    case kMsgPaint:
      if (lp != 0) paint(system, window, *s, *reinterpret_cast<const ChildPaint*>(lp));
      return 0;
    case kMsgLButtonDown:
    case kMsgLButtonDblClk:
    case kMsgMouseMove:
    case kMsgLButtonUp:
      on_mouse(system, window, *s, message, lp);
      return 0;
    case kMsgMouseWheel: {
      const int32_t notches = static_cast<int16_t>((wp >> 16) & 0xFFFF) / kWheelDelta;
      if (notches != 0)
        scroll(system, window, *s, true, kSbThumbPosition, s->top_line - kWheelRows * notches);
      return 0;
    }
    case kMsgVScroll:
    case kMsgHScroll:
      if (lp == 0)  // a request to the field's own bars
        scroll(system,
               window,
               *s,
               message == kMsgVScroll,
               static_cast<uint32_t>(wp & 0xFFFF),
               static_cast<int16_t>(wp >> 16));
      return 0;
    case kMsgSize:
      scroll_caret(system, window, *s);
      return 0;
    case kMsgKeyDown:
      on_key(system, window, *s, static_cast<uint32_t>(wp), lp);
      return 0;
    case kMsgChar:
      on_char(system, window, *s, static_cast<uint32_t>(wp));
      return 0;
    case kMsgSetFocus:
    case kMsgKillFocus:
      s->focused = message == kMsgSetFocus;
      system.invalidate(window, nullptr);
      return 0;
    case kMsgGetDlgCode:
      return kDlgCodeWantChars | kDlgCodeWantArrows | kDlgCodeHasSetSel |
             (multiline(system, window) ? kDlgCodeWantAllKeys : 0u);
    case kMsgSetText:
      s->text = utf8_to_utf16(lp ? reinterpret_cast<const char*>(lp) : "");
      s->anchor = s->caret = 0;
      s->at_row_end = false;
      s->scroll_x = s->top_line = 0;
      text_changed(system, window, *s);
      return 1;
    case kMsgSetFont:
      s->font = wp ? *reinterpret_cast<const std::shared_ptr<const Font>*>(wp) : nullptr;
      if (lp) scroll_caret(system, window, *s);
      return 0;
    case kMsgEnable:
      system.invalidate(window, nullptr);
      return 0;
    case kMsgEmGetSel: {
      const int32_t from = std::min(s->anchor, s->caret), to = std::max(s->anchor, s->caret);
      if (wp) *reinterpret_cast<int32_t*>(wp) = from;
      if (lp) *reinterpret_cast<int32_t*>(lp) = to;
      return (static_cast<int64_t>(to) << 16) | from;
    }
    case kMsgEmSetSel: {
      const int32_t start = static_cast<int32_t>(wp), end = static_cast<int32_t>(lp);
      const int32_t n = static_cast<int32_t>(s->text.size());
      if (start < 0)
        set_selection(system, window, *s, s->caret, s->caret);
      else
        set_selection(system, window, *s, start, end < 0 ? n : end);
      return 0;
    }
    case kMsgEmReplaceSel:
      replace_selection(
          system, window, *s, utf8_to_utf16(lp ? reinterpret_cast<const char*>(lp) : ""));
      return 0;
    case kMsgEmScrollCaret:
      scroll_caret(system, window, *s);
      return 1;
    case kMsgSbmGetScrollInfo:  // of the field's own bar: wparam kSbsVert or kSbsHorz
      return own_bar_info(system, window, *s, wp == kSbsVert, lp);
    case kMsgEmGetFirstVisibleLine:
      return first_visible(system, window, *s);
    case kMsgEmGetLineCount:
      return static_cast<int64_t>(rows_of(system, window, *s).size());
    case kMsgEmLineFromChar: {
      const int32_t pos = static_cast<int32_t>(wp);
      return edit_layout::row_of(rows_of(system, window, *s),
                                 std::clamp(pos < 0 ? std::min(s->anchor, s->caret) : pos,
                                            0,
                                            static_cast<int32_t>(s->text.size())));
    }
    case kMsgEmLineIndex: {
      const std::vector<Row>& rows = rows_of(system, window, *s);
      const int32_t line =
          static_cast<int32_t>(wp) < 0 ? caret_row(system, window, *s) : static_cast<int32_t>(wp);
      return line < static_cast<int32_t>(rows.size()) ? rows[line].start : -1;
    }
    case kMsgEmLimitText:
      s->limit = wp == 0 ? 0x7FFFFFFE : static_cast<int32_t>(std::min<uint64_t>(wp, 0x7FFFFFFE));
      return 0;
    case kMsgEmGetLimitText:
      return s->limit;
    case kMsgEmSetReadOnly:
      s->read_only = wp != 0;
      system.invalidate(window, nullptr);
      return 1;
    case kMsgEmSetCueBanner:
      s->cue = utf8_to_utf16(lp ? reinterpret_cast<const char*>(lp) : "");
      system.invalidate(window, nullptr);
      return 1;
    default:
      return system.default_window_proc(window, message, wp, lp);
  }
}

}  // namespace platform
