// The view of a text field ("EDIT"): its state, the rows its text is shown in, the text area
// within its frame and scroll bars, scrolling, hit testing and painting. The field's message
// procedure (edit_class) edits the state and asks the view to keep the caret in view.
//
// Positions count UTF-16 units. A multi-line field without kEsAutoHScroll and kStyleHScroll
// wraps its lines at word boundaries to the width of its text area (edit_layout); other fields
// cut rows only at line breaks and scroll sideways by pixels. Rectangles are in the field's
// client coordinates. A read-only or disabled field is drawn on the background its parent gives
// (parent_background.hpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/controls/edit_layout.hpp"
#include "platform/controls/scroll_track.hpp"
#include "platform/text/font.hpp"
#include "platform/window_system.hpp"

namespace platform::edit_view {

using edit_layout::Row;

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

// The field's state, made on first use (the first message, sent while the field is created)
// from its style and the text it was created with.
std::shared_ptr<EditState> state_of(WindowSystem& system, Hwnd window);
bool multiline(WindowSystem& system, Hwnd window);

Rect inside(WindowSystem& system, Hwnd window);  // within the sunken frame
Rect text_area(WindowSystem& system, Hwnd window, const EditState& s);

// The rows of the text, laid out again only when the text, the wrap width or the font changed.
const std::vector<Row>& rows_of(WindowSystem& system, Hwnd window, EditState& s);
int32_t visible_rows(WindowSystem& system, Hwnd window, const EditState& s);
int32_t caret_row(WindowSystem& system, Hwnd window, EditState& s);
// x of a position on its row, from the row's left edge.
int32_t x_in_row(WindowSystem& system, Hwnd window, EditState& s, const Row& row, int32_t pos);
// x offset of a row's text in the text area (alignment applies to text that fits).
int32_t row_x(WindowSystem& system, Hwnd window, const EditState& s, int32_t width, int32_t area);

// The position of row `line` nearest to x (from the text area's left edge); `past_end` tells
// that it is the end of a soft row.
int32_t position_on_row(
    WindowSystem& system, Hwnd window, EditState& s, int32_t line, int32_t x, bool& past_end);
// The text position nearest to a client point.
int32_t position_at(WindowSystem& system, Hwnd window, EditState& s, Point p, bool& past_end);

// The scroll bars' ranges, pages and positions from the rows and the scrolling.
void sync_bars(WindowSystem& system, Hwnd window, EditState& s);
// Scrolls so that the caret is in view, and repaints.
void scroll_caret(WindowSystem& system, Hwnd window, EditState& s);
// Carries out a scroll request (kSb*) on the rows (vertical) or sideways.
void scroll(WindowSystem& system,
            Hwnd window,
            EditState& s,
            bool vertical,
            uint32_t code,
            int32_t position);
// The state of one of the field's own bars (kMsgSbmGetScrollInfo, lp: ScrollInfo*); 0 when it
// is not shown.
int64_t own_bar_info(WindowSystem& system, Hwnd window, EditState& s, bool vertical, int64_t lp);
// The first row shown; in a one-line field the first position shown.
int32_t first_visible(WindowSystem& system, Hwnd window, EditState& s);

void paint(WindowSystem& system, Hwnd window, EditState& s, const ChildPaint& target);

}  // namespace platform::edit_view
