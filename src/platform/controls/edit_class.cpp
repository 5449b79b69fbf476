// The "EDIT" class: one-line and multi-line text fields, as their messages and the user
// change them; edit_view shows them.
//
// The text is kept as UTF-16 (positions count UTF-16 units, as the edit messages do) and is
// also the window's text (UTF-8). The line requests (line count, line of a position, first
// position of a line) count the rows as shown: a multi-line field without kEsAutoHScroll and
// kStyleHScroll wraps its lines at word boundaries. The field starts with the text it was
// created with. Line breaks stay as the program set them ("\r\n", '\n' or '\r'): a
// multi-line field shows each as one break, a one-line field keeps its one row and shows
// each as a blank; the caret steps over a break as over one character. Typed and pasted
// breaks go in as '\n' (a one-line field takes only the first line pasted).
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
#include "platform/controls/edit_view.hpp"
#include "platform/text/text_convert.hpp"

namespace platform {
namespace {

using namespace edit_view;

constexpr int32_t kWheelRows = 3;     // rows scrolled per notch of the wheel
constexpr int32_t kWheelDelta = 120;  // one notch

void set_selection(WindowSystem& system,
                   Hwnd window,
                   EditState& s,
                   int32_t anchor,
                   int32_t caret,
                   bool at_row_end = false) {
  const int32_t n = static_cast<int32_t>(s.text.size());
  anchor = std::clamp(anchor, 0, n);
  caret = std::clamp(caret, 0, n);
  // Neither end stops inside "\r\n" or a surrogate pair: each passes on the way it moved.
  s.anchor = edit_layout::snap(s.text, anchor, anchor > s.anchor);
  s.caret = edit_layout::snap(s.text, caret, caret > s.caret);
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
  // Text put or taken next to a '\r' or a surrogate half may join a pair around the caret.
  s.anchor = s.caret =
      edit_layout::snap(s.text, from + static_cast<int32_t>(with.size()), !with.empty());
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

// Pasted text with its line breaks as Enter types them ('\n'): a lone '\r' stays a break.
std::u16string typed_breaks(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
    out.push_back(text[i] == u'\r' ? u'\n' : text[i]);
  }
  return out;
}

std::u16string selected(const EditState& s) {
  const int32_t from = std::min(s.anchor, s.caret), to = std::max(s.anchor, s.caret);
  return s.text.substr(from, to - from);
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
      if (!has_selection) {  // one character: "\r\n" and a surrogate pair go whole
        const int32_t other = key == kVkBack ? s.caret - 1 : s.caret + 1;
        if (other < 0 || other > static_cast<int32_t>(s.text.size())) return;
        s.anchor = edit_layout::snap(s.text, other, key == kVkDelete);
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
    user_replace(system, window, s, typed_breaks(wide));
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
