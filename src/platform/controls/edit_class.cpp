// The "EDIT" class: one-line and multi-line text fields.
//
// The text is kept as UTF-16 (positions count UTF-16 units, as the edit messages do) and is
// also the window's text (UTF-8). A selection runs between an anchor and the caret; the mouse
// (pressed and dragged), Shift with the arrow, Home and End keys, and Ctrl+A set it. Typed
// characters replace the selection; Backspace and Delete remove it or one character; Ctrl+X,
// Ctrl+C and Ctrl+V cut, copy and paste through the display's clipboard. A read-only field
// takes no changes from the user. Enter makes a new line in a multi-line field and nothing in
// a one-line field. The caret is kept in view by scrolling sideways (and, multi-line, by
// lines). A field that is empty and has no focus shows its cue text in grey.
#include <algorithm>

#include "platform/controls/control_classes.hpp"
#include "platform/controls/control_paint.hpp"
#include "platform/text/text_convert.hpp"

namespace platform {
namespace {

namespace cp = control_paint;

constexpr Pixel kSelection = 0x000080;
constexpr int32_t kBevel = 2;  // the sunken frame
constexpr int32_t kInset = 2;  // text distance from the frame

struct EditState {
  std::u16string text;
  int32_t anchor = 0, caret = 0;
  int32_t limit = 30000;
  bool read_only = false;
  bool focused = false;
  bool tracking = false;
  std::u16string cue;
  std::shared_ptr<const Font> font;
  int32_t scroll_x = 0;  // pixels scrolled sideways
  int32_t top_line = 0;  // multi-line: first line shown
};

std::shared_ptr<EditState> state_of(WindowSystem& system, Hwnd window) {
  auto s = std::static_pointer_cast<EditState>(system.class_data(window));
  if (!s) {
    s = std::make_shared<EditState>();
    s->read_only = (system.style(window) & kEsReadOnly) != 0;
    system.set_class_data(window, s);
  }
  return s;
}

bool multiline(WindowSystem& system, Hwnd window) {
  return (system.style(window) & kEsMultiline) != 0;
}

// Start positions of the lines (a line ends before its '\n').
std::vector<int32_t> line_starts(const std::u16string& text) {
  std::vector<int32_t> starts{0};
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == u'\n') starts.push_back(static_cast<int32_t>(i + 1));
  return starts;
}

int32_t line_of(const std::vector<int32_t>& starts, int32_t pos) {
  return static_cast<int32_t>(std::upper_bound(starts.begin(), starts.end(), pos) -
                              starts.begin()) -
         1;
}

int32_t line_end(const std::u16string& text, const std::vector<int32_t>& starts, int32_t line) {
  return line + 1 < static_cast<int32_t>(starts.size()) ? starts[line + 1] - 1
                                                        : static_cast<int32_t>(text.size());
}

// What is drawn for a piece of text (a password field shows stars).
std::u16string shown_text(WindowSystem& system, Hwnd window, std::u16string_view piece) {
  if (system.style(window) & kEsPassword) return std::u16string(piece.size(), u'*');
  return std::u16string(piece);
}

int32_t width_of(WindowSystem& system, Hwnd window, const Font& font, std::u16string_view piece) {
  return measure_text(font, shown_text(system, window, piece)).width;
}

// x of each position of a line from its start (one measurement per character, so that long
// lines cost linear time).
std::vector<int32_t> offsets(WindowSystem& system,
                             Hwnd window,
                             const Font& font,
                             std::u16string_view row) {
  std::vector<int32_t> x(row.size() + 1, 0);
  for (size_t i = 0; i < row.size(); ++i)
    x[i + 1] = x[i] + width_of(system, window, font, row.substr(i, 1));
  return x;
}

// The text area inside the frame, in the control's client coordinates.
Rect text_area(WindowSystem& system, Hwnd window) {
  const Rect c = system.client_rect(window);
  const int32_t in = kBevel + kInset - (system.style(window) & kStyleBorder ? 1 : 0);
  return Rect{c.left + in, c.top + in, c.right - in, c.bottom - in};
}

// x offset of a line's text in the area (alignment applies to text that fits).
int32_t line_x(WindowSystem& system, Hwnd window, const EditState& s, int32_t width, int32_t area) {
  const uint32_t align = system.style(window) & 3;
  if (width < area && align == kEsCenter) return (area - width) / 2;
  if (width < area && align == kEsRight) return area - width;
  return -s.scroll_x;
}

// The text position nearest to a client point.
int32_t position_at(WindowSystem& system, Hwnd window, EditState& s, Point p) {
  const auto font = cp::font_or_default(s.font);
  const Rect area = text_area(system, window);
  const std::vector<int32_t> starts = line_starts(s.text);
  int32_t line = multiline(system, window) ? s.top_line + (p.y - area.top) / font->height() : 0;
  line = std::clamp(line, 0, static_cast<int32_t>(starts.size()) - 1);
  const int32_t begin = starts[line], end = line_end(s.text, starts, line);
  const std::u16string_view row(s.text.data() + begin, end - begin);
  const std::vector<int32_t> x = offsets(system, window, *font, row);
  const int32_t x0 = area.left + line_x(system, window, s, x.back(), area.width());
  int32_t best = begin, best_d = std::abs(p.x - x0);
  for (int32_t i = 1; i <= end - begin; ++i) {
    const int32_t d = std::abs(p.x - (x0 + x[i]));
    if (d < best_d) best = begin + i, best_d = d;
  }
  return best;
}

// Scrolls so that the caret is in view.
void scroll_caret(WindowSystem& system, Hwnd window, EditState& s) {
  const auto font = cp::font_or_default(s.font);
  const Rect area = text_area(system, window);
  const std::vector<int32_t> starts = line_starts(s.text);
  const int32_t line = line_of(starts, s.caret);
  const int32_t x =
      width_of(system,
               window,
               *font,
               std::u16string_view(s.text).substr(starts[line], s.caret - starts[line]));
  if (x - s.scroll_x > area.width() - 1) s.scroll_x = x - area.width() + 1;
  if (x < s.scroll_x) s.scroll_x = x;
  if (multiline(system, window)) {
    const int32_t rows = std::max(1, area.height() / font->height());
    if (line < s.top_line) s.top_line = line;
    if (line >= s.top_line + rows) s.top_line = line - rows + 1;
  }
  system.invalidate(window, nullptr);
}

void set_selection(WindowSystem& system, Hwnd window, EditState& s, int32_t anchor, int32_t caret) {
  const int32_t n = static_cast<int32_t>(s.text.size());
  s.anchor = std::clamp(anchor, 0, n);
  s.caret = std::clamp(caret, 0, n);
  scroll_caret(system, window, s);
}

void text_changed(WindowSystem& system, Hwnd window, EditState& s) {
  system.set_text(window, utf16_to_utf8(s.text));
  scroll_caret(system, window, s);
}

// Replaces the selection by `with` (cut to the limit); the caret goes after it.
void replace_selection(WindowSystem& system, Hwnd window, EditState& s, std::u16string with) {
  const int32_t from = std::min(s.anchor, s.caret), to = std::max(s.anchor, s.caret);
  const int32_t room = s.limit - (static_cast<int32_t>(s.text.size()) - (to - from));
  if (static_cast<int32_t>(with.size()) > room) with.resize(std::max(0, room));
  s.text.replace(from, to - from, with);
  s.anchor = s.caret = from + static_cast<int32_t>(with.size());
  text_changed(system, window, s);
}

std::u16string selected(const EditState& s) {
  const int32_t from = std::min(s.anchor, s.caret), to = std::max(s.anchor, s.caret);
  return s.text.substr(from, to - from);
}

void on_key(WindowSystem& system, Hwnd window, EditState& s, uint32_t key, int64_t lp) {
  const bool shift = (lp & kKeyShiftHeld) != 0, control = (lp & kKeyControlHeld) != 0;
  const bool editable = !s.read_only;
  const std::vector<int32_t> starts = line_starts(s.text);
  const int32_t line = line_of(starts, s.caret);
  auto move = [&](int32_t to) { set_selection(system, window, s, shift ? s.anchor : to, to); };
  const bool has_selection = s.anchor != s.caret;
  switch (key) {
    case kVkLeft:
      move(!shift && has_selection ? std::min(s.anchor, s.caret) : s.caret - 1);
      return;
    case kVkRight:
      move(!shift && has_selection ? std::max(s.anchor, s.caret) : s.caret + 1);
      return;
    case kVkHome:
      move(control ? 0 : starts[line]);
      return;
    case kVkEnd:
      move(control ? static_cast<int32_t>(s.text.size()) : line_end(s.text, starts, line));
      return;
    case kVkUp:
    case kVkDown: {
      if (!multiline(system, window)) {
        move(key == kVkUp ? s.caret - 1 : s.caret + 1);
        return;
      }
      const int32_t to_line = key == kVkUp ? line - 1 : line + 1;
      if (to_line < 0 || to_line >= static_cast<int32_t>(starts.size())) return;
      const int32_t column = s.caret - starts[line];
      move(std::min(starts[to_line] + column, line_end(s.text, starts, to_line)));
      return;
    }
    case kVkBack:
    case kVkDelete:
      if (!editable) return;
      if (!has_selection) {
        const int32_t other = key == kVkBack ? s.caret - 1 : s.caret + 1;
        if (other < 0 || other > static_cast<int32_t>(s.text.size())) return;
        s.anchor = other;
      }
      replace_selection(system, window, s, u"");
      return;
    default:
      break;
  }
  if (!control) return;
  if (key == 'A') set_selection(system, window, s, 0, static_cast<int32_t>(s.text.size()));
  if ((key == 'C' || key == 'X') && has_selection && !(system.style(window) & kEsPassword))
    system.set_clipboard_text(utf16_to_utf8(selected(s)));
  if (key == 'X' && has_selection && editable) replace_selection(system, window, s, u"");
  if (key == 'V' && editable) {
    std::string pasted;
    if (!system.clipboard_text(pasted)) return;
    std::u16string wide = utf8_to_utf16(pasted);
    if (!multiline(system, window)) wide = wide.substr(0, wide.find_first_of(u"\r\n"));
    std::erase(wide, u'\r');
    replace_selection(system, window, s, wide);
  }
}

void on_char(WindowSystem& system, Hwnd window, EditState& s, uint32_t ch) {
  if (s.read_only) return;
  if (ch == '\r' || ch == '\n') {
    if (multiline(system, window)) replace_selection(system, window, s, u"\n");
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
  replace_selection(system, window, s, wide);
}

void paint(WindowSystem& system, Hwnd window, EditState& s, const ChildPaint& target) {
  Page& page = *target.surface;
  const Rect r = target.bounds;
  const Rect& clip = target.clip;
  const bool enabled = system.is_enabled(window);
  cp::frame(page, r, cp::kShadow, cp::kHighlight, clip);
  const Rect in{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  cp::frame(page, in, cp::kDarkShadow, cp::kLight, clip);
  const Rect inside{in.left + 1, in.top + 1, in.right - 1, in.bottom - 1};
  cp::fill(page, inside, enabled && !s.read_only ? cp::kHighlight : cp::kFace, clip);
  const auto font = cp::font_or_default(s.font);
  const Point o = Point{r.left, r.top};
  const Rect area = text_area(system, window).translated(o.x, o.y);
  const Rect box = intersect(area, clip);
  if (s.text.empty() && !s.focused && !s.cue.empty()) {
    draw_text(page, *font, area.left, area.top, s.cue, TextColours{cp::kGreyText, 0, false}, box);
    return;
  }
  const std::vector<int32_t> starts = line_starts(s.text);
  const int32_t from = std::min(s.anchor, s.caret), to = std::max(s.anchor, s.caret);
  const int32_t first = multiline(system, window) ? s.top_line : 0;
  for (int32_t line = first; line < static_cast<int32_t>(starts.size()); ++line) {
    const int32_t y = area.top + (line - first) * font->height();
    if (y >= area.bottom) break;
    const int32_t begin = starts[line], end = line_end(s.text, starts, line);
    const std::u16string_view row(s.text.data() + begin, end - begin);
    const std::vector<int32_t> offset = offsets(system, window, *font, row);
    const int32_t x = area.left + line_x(system, window, s, offset.back(), area.width());
    const auto x_at = [&](int32_t pos) { return x + offset[pos - begin]; };
    // Only the part of the line that can be seen is drawn.
    const int32_t first_shown =
        static_cast<int32_t>(std::upper_bound(offset.begin(), offset.end(), area.left - x) -
                             offset.begin()) -
        1;
    const int32_t last_shown = static_cast<int32_t>(
        std::lower_bound(offset.begin(), offset.end(), area.right - x) - offset.begin());
    const int32_t lo = std::max(0, first_shown), hi = std::min<int32_t>(row.size(), last_shown);
    draw_text(page,
              *font,
              x + offset[lo],
              y,
              shown_text(system, window, row.substr(lo, hi - lo)),
              TextColours{enabled ? cp::kText : cp::kGreyText, 0, false},
              box);
    const int32_t a = std::max(from, begin), b = std::min(to, end);
    if (a < b) {
      const Rect lit{x_at(a), y, x_at(b), y + font->height()};
      cp::fill(page, lit, kSelection, box);
      draw_text(page,
                *font,
                lit.left,
                y,
                shown_text(system, window, row.substr(a - begin, b - a)),
                TextColours{cp::kHighlight, 0, false},
                intersect(box, lit));
    }
    if (s.focused && from == to && s.caret >= begin && s.caret <= end) {
      const int32_t cx = x_at(s.caret);
      cp::fill(page, Rect{cx, y, cx + 1, y + font->height()}, cp::kText, box);
    }
  }
}

}  // namespace

int64_t edit_proc(WindowSystem& system, Hwnd window, uint32_t message, uint64_t wp, int64_t lp) {
  auto s = state_of(system, window);
  switch (message) {
    case kMsgPaint:
      if (lp != 0) paint(system, window, *s, *reinterpret_cast<const ChildPaint*>(lp));
      return 0;
    case kMsgLButtonDown:
    case kMsgLButtonDblClk: {
      system.set_focus(window);
      const int32_t at = position_at(system, window, *s, Point{point_x(lp), point_y(lp)});
      if (message == kMsgLButtonDblClk)
        set_selection(system, window, *s, 0, static_cast<int32_t>(s->text.size()));
      else
        set_selection(system, window, *s, at, at);
      s->tracking = message == kMsgLButtonDown;
      return 0;
    }
    case kMsgMouseMove:
      if (s->tracking)
        set_selection(system,
                      window,
                      *s,
                      s->anchor,
                      position_at(system, window, *s, Point{point_x(lp), point_y(lp)}));
      return 0;
    case kMsgLButtonUp:
      s->tracking = false;
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
      s->scroll_x = s->top_line = 0;
      text_changed(system, window, *s);
      return 1;
    case kMsgSetFont:
      s->font = wp ? *reinterpret_cast<const std::shared_ptr<const Font>*>(wp) : nullptr;
      if (lp) system.invalidate(window, nullptr);
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
    case kMsgEmGetLineCount:
      return static_cast<int64_t>(line_starts(s->text).size());
    case kMsgEmLineFromChar: {
      const int32_t pos = static_cast<int32_t>(wp);
      return line_of(line_starts(s->text),
                     std::clamp(pos < 0 ? std::min(s->anchor, s->caret) : pos,
                                0,
                                static_cast<int32_t>(s->text.size())));
    }
    case kMsgEmLineIndex: {
      const std::vector<int32_t> starts = line_starts(s->text);
      const int32_t line =
          static_cast<int32_t>(wp) < 0 ? line_of(starts, s->caret) : static_cast<int32_t>(wp);
      return line < static_cast<int32_t>(starts.size()) ? starts[line] : -1;
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
