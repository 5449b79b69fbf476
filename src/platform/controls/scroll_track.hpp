// The workings of a classic scroll bar, shared by the stand-alone "SCROLLBAR" control and the
// bars that text fields and lists show inside their border (kStyleVScroll, kStyleHScroll).
//
// A Track holds the range min..max, the page size and the position, kept so that
// min <= pos <= max - max(page - 1, 0). Along the bar lie an arrow of the bar's thickness at
// each end and the track between them, with a thumb whose length is to the track's what the
// page is to the range (8 pixels at least) and whose place is to the free track what the
// position is to its travel. A press on an arrow asks for a line, on the track beside the
// thumb for a page; a press on the thumb drags it, asking for the tracking position on each
// move and for that position again on release. A bar with nothing to scroll (no travel) is
// drawn greyed and without a thumb.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/gfx/page.hpp"
#include "platform/messages.hpp"

namespace platform::scroll_track {

inline constexpr int32_t kThickness = 16;  // of the bars inside a control

enum class Part { None, LineUp, LineDown, PageUp, PageDown, Thumb };

struct Track {
  int32_t min = 0, max = 100;
  int32_t page = 0;
  int32_t pos = 0;
  int32_t track_pos = 0;  // while the thumb is dragged
  Part pressed = Part::None;
  int32_t grab = 0;  // pixels from the thumb's start to where it was grabbed

  int32_t max_pos() const;
  bool can_scroll() const { return max_pos() > min; }
  void set_info(const ScrollInfo& info);  // the fields `info.mask` names, then clamps
  void get_info(ScrollInfo& info) const;  // the fields `info.mask` asks for
};

// Geometry along the bar.
struct Layout {
  int32_t length = 0;  // along the bar
  int32_t arrow = 0;
  int32_t thumb_start = 0, thumb_length = 0;  // 0 length: no thumb
  int32_t track_start() const { return arrow; }
  int32_t track_end() const { return length - arrow; }
};

Layout layout_of(const Track& t, int32_t length, int32_t thickness);
Part part_at(const Layout& l, int32_t along);
// The scroll position the pointer at `along` asks for while the thumb is dragged.
int32_t track_position(const Track& t, const Layout& l, int32_t along);
// The scroll request (kSbLineUp ...) of pressing an arrow or the track.
uint32_t request_of(Part p);

// Where a scroll request (kSb*: line, page, thumb at `position`, top, bottom) takes the
// position `at`, a line being `line` units; within the track's travel. Nothing for other
// requests (kSbEndScroll).
std::optional<int32_t> scrolled(
    const Track& t, int32_t at, uint32_t code, int32_t position, int32_t line);

// Draws the bar filling `bar` on the page: arrows, the checkered track, the thumb, and the
// pressed part sunken (an arrow) or dark (the track beside the thumb).
void paint(
    Page& page, const Track& t, const Rect& bar, bool vertical, bool enabled, const Rect& clip);

// What the user asked of a bar inside a control; the control scrolls itself accordingly.
struct Request {
  bool vertical = true;
  uint32_t code = kSbEndScroll;  // kSb*
  int32_t position = 0;          // for kSbThumbTrack and kSbThumbPosition
};

// The bars a control shows inside its border: which are shown, their tracks, and the mouse
// on them. Rectangles are in the control's client coordinates; `inside` is the control's area
// within its border.
class InnerBars {
 public:
  Track vertical, horizontal;
  bool show_vertical = false, show_horizontal = false;

  Rect vertical_rect(const Rect& inside) const;
  Rect horizontal_rect(const Rect& inside) const;
  Rect content(const Rect& inside) const;  // `inside` less the shown bars
  bool hit(const Rect& inside, Point p) const;
  bool pressed() const;

  // A press at p: the request when it asks for one (arrows and track), nothing otherwise
  // (not on a bar, a bar with nothing to scroll, or the thumb grabbed).
  std::optional<Request> press(const Rect& inside, Point p);
  // Moves while pressed: the tracking position when the dragged thumb asks for a new one.
  std::optional<Request> drag(const Rect& inside, Point p);
  // The release: kSbThumbPosition after a drag (else nothing); the press ends.
  std::optional<Request> release();

  void paint(Page& page, const Rect& inside_on_page, bool enabled, const Rect& clip) const;

 private:
  Track* pressed_track();
};

}  // namespace platform::scroll_track
