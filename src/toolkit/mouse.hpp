// The mouse of a toolkit window: click queues to poll, the last mouse position, mouse handlers
// and the cursor shape.
//
// Kinds are the mouse message numbers 512..526 (move, the down, up and double-click messages
// of the left, right, middle and extra buttons, and the two wheels). The window thread queues
// the point of every mouse message it receives, in client coordinates: with the kind's queue
// flag off only the newest point is kept, with it on up to kMouseQueueSize, oldest taken
// first; a point arriving at a full queue is not queued, but the last position and the
// handlers still get it. The wheels (522 vertical, 526 horizontal) are never polled: their
// handlers receive the signed rotation and 0. Handlers run on the window thread and hold up
// its messages while they run.
//
// The queues are guarded, so program threads may poll while the window thread fills them.
// All act on the current window; kinds outside 512..526 are ignored (0, or -1 coordinates).
#pragma once

#include <cstdint>

#include "toolkit/gk_record.hpp"

namespace gk {

inline constexpr int32_t kMouseFirst = 512;
inline constexpr int32_t kMouseWheel = 522;
inline constexpr int32_t kMouseHWheel = 526;

int32_t ismouseclick(int32_t kind);  // 1 when the kind's queue holds a point
// Takes the oldest point out of the queue; -1, -1 when there is none.
void getmouseclick(int32_t kind, int32_t* x, int32_t* y);
void clearmouseclick(int32_t kind);  // discards the oldest point
void clearmouseclickwindow(WindowData& record, int32_t kind);
void setmousequeuestatus(int32_t kind, int32_t flag);  // nonzero keeps up to 127 points
int32_t mousex();
int32_t mousey();
// Handlers of the kind (an empty one clears it): by value, and by reference.
void registermousehandler(int32_t kind, MouseHandler handler);
void registermousehandler_ptr(int32_t kind, const MouseHandlerRef* handler);
// Shows the cursor of the shape at once: 0 arrow, 1 cross, 2 text beam, 3 hand, 4 help,
// 5 wait, 6 forbidden, 7 north-south, 8 west-east, 9 north-west/south-east, 10 north-east/
// south-west arrows; any other shape the arrow.
void setcursor(int32_t shape);

// Shows the wait cursor over the current window while it lives, then the cursor shown before.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  WindowRef window_;  // null: no current window
  int32_t previous_ = 0;
};

// Plugs the mouse module into the window procedure; call before the first window.
void install_mouse();

}  // namespace gk
