// The per-window record: all state of one toolkit window.
//
// One record per window, made by `initwindow` and shared: the window table, the window's user
// data and every toolkit call that is working on the window hold a reference, so a record is
// freed only after its last user is done. Closing a window marks its record dead (`alive`
// false); calls that find a dead record do nothing.
//
// Fields are grouped and ordered as the toolkit describes the record. The drawing fields are
// plain data for the drawing, text and image modules; the device contexts, pens, brushes and
// fonts of those modules plug into the slots typed with their classes. Locks:
//   dc_lock       the four pages and their device contexts, and every drawing call;
//   font_lock     current_font and controls_fonts;
//   key_lock      the key buffer;
//   control_table_lock, control_map_lock  the control tables (the table lock first when both);
//   state_lock    callbacks, thread list, menu lists and the other fields written by more
//                 than one thread.
// Colours are colour values: red + 256 green + 65536 blue.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/gfx/page.hpp"
#include "platform/messages.hpp"
#include "platform/sync.hpp"
#include "platform/thread_id.hpp"

namespace platform {
class DeviceContext;
class Font;
class Brush;
}  // namespace platform

namespace gk {

using platform::Hwnd;
using platform::ThreadId;
using Color = uint32_t;

using Callback = std::function<void()>;                      // control, menu, close, resize
using CloseQuery = std::function<int32_t()>;                 // system close: 0 refuses
using ScrollCallback = std::function<void(int32_t)>;         // position by value
using ScrollCallbackRef = std::function<void(int32_t*)>;     // position by reference
using MouseHandler = std::function<void(int32_t, int32_t)>;  // x, y by value
using MouseHandlerRef = std::function<void(int32_t*, int32_t*)>;

inline constexpr int32_t kPageCount = 4;
inline constexpr int32_t kKeyBufferSize = 512;  // holds at most kKeyBufferSize - 1 codes
inline constexpr int32_t kMouseKinds = 15;      // mouse messages 512..526
inline constexpr int32_t kMouseQueueSize = 127;
inline constexpr int32_t kCursorShapes = 11;

// The queued key codes of a window (guarded by WindowData::key_lock). Codes enter at the front
// and leave from the back, so they come out in the order queued.
struct KeyBuffer {
  std::deque<uint8_t> codes;
  int32_t count() const { return static_cast<int32_t>(codes.size()); }
};

// One kind table of controls: handles (0 once removed) and their callbacks, appended only.
struct ControlTable {
  std::vector<Hwnd> handles;
  std::vector<Callback> callbacks;
  int32_t count = 0;
};

struct ScrollBarTable {
  std::vector<Hwnd> handles;
  std::vector<ScrollCallback> by_value;
  std::vector<ScrollCallbackRef> by_reference;
  int32_t count = 0;
};

// Global control ids: position in the map -> kind-local index and handle.
struct ControlMap {
  std::vector<int32_t> local_index;  // -1: the control could not be stored in its kind table
  std::vector<Hwnd> handles;         // all bits set: a free slot
  int32_t count = 0;
};

// The clicked points of one mouse message kind, newest first, and its handlers.
struct MouseQueue {
  std::deque<platform::Point> points;  // at most kMouseQueueSize
  uint8_t keep_all = 0;                // 0: only the newest point is kept
  MouseHandler handler;
  MouseHandlerRef handler_ref;
};

struct WindowData {
  std::atomic<bool> alive{true};  // false once the window is closed
  bool torn_down = false;         // teardown has run (window thread only)

  // Size and place.
  std::atomic<int32_t> width{0}, height{0};  // client size in pixels
  int32_t left = 0, top = 0;                 // initial frame position
  std::string title;                         // guarded by state_lock once the window runs

  // Keys.
  std::mutex key_lock;
  KeyBuffer keys;

  // Drawing state.
  std::array<int32_t, 6> last_arc{};  // centre x, y, start x, y, end x, y
  int32_t fill_style = 1;
  Color fill_color = 0xFFFFFF;
  int32_t fill_transparency = 0;
  std::array<uint8_t, 8> user_fill_pattern{};
  int32_t line_style = 0;
  uint16_t user_line_pattern = 0;
  int32_t line_thickness = 1;
  int32_t line_transparency = 1;
  struct TextSettings {
    int32_t font = 0;
    int32_t direction = 0;
    int32_t char_size = 12;
    int32_t horiz = 0;  // 0 left, 1 centre, 2 right
    int32_t vert = 2;   // 0 bottom, 1 centre, 2 top
    int32_t transparency = 0;
  } text;
  std::shared_ptr<const platform::Font> current_font;
  std::vector<std::shared_ptr<const platform::Font>> controls_fonts;
  platform::CriticalSection font_lock;
  struct Viewport {
    int32_t left = 0, top = 0, right = 0, bottom = 0, clip = 0;
  } viewport;
  platform::Point text_position;

  // The window.
  std::atomic<Hwnd> hwnd{0};
  std::atomic<ThreadId> window_thread_id{0};
  std::array<platform::Page, kPageCount> pages;  // off-screen pages 0..3
  std::array<std::shared_ptr<platform::DeviceContext>, kPageCount> page_dcs;
  std::atomic<int32_t> visual_page{0};
  std::atomic<int32_t> active_page{0};
  std::atomic<uint8_t> double_buffer{0};
  std::atomic<uint8_t> exit_on_close{0};
  Color drawing_color = 0xFFFFFF;
  Color background_color = 0;
  platform::Event key_event;
  platform::Event ready_event;
  std::atomic<ThreadId> thread_id{0};  // as returned when the window thread was started
  int32_t graphics_result = 0;
  int32_t aspect_x = 10000, aspect_y = 10000;
  std::array<int32_t, 4> user_char_size{1, 1, 1, 1};  // mul x, div x, mul y, div y
  std::atomic<int32_t> last_mouse_position{0};        // packed x (low) and y (high) words
  std::array<MouseQueue, kMouseKinds> mouse;
  std::mutex mouse_lock;  // the mouse queues and handlers (window thread and pollers)
  std::atomic<int32_t> refresh{1};
  platform::CriticalSection dc_lock;

  // Menus.
  std::vector<uint64_t> menus;  // 0: a removed menu
  int32_t menu_count = 0;
  std::vector<Callback> menu_handlers;
  int32_t menu_handler_count = 0;
  std::atomic<int32_t> running_menu_item{0};  // -1 after each callback thread has finished

  platform::Event idle_event;

  // Controls.
  platform::OwnedMutex control_table_lock;
  ControlTable buttons, text_boxes, list_boxes, drop_downs;
  ScrollBarTable scroll_bars;
  uint8_t radio_group = 1;
  platform::OwnedMutex control_map_lock;
  ControlMap control_map;
  Hwnd running_control = 0;  // guarded by control_table_lock

  // Threads of the window: creator, window thread, then each callback thread.
  std::vector<ThreadId> thread_list;

  std::atomic<int32_t> dialog_hot_keys{0};
  std::shared_ptr<const platform::Brush> background_brush;
  Color background_brush_color = 0;  // the colour the background brush is made of

  Callback resize_callback;
  Callback close_callback;
  CloseQuery system_close_callback;

  // Further mouse state.
  std::array<uint64_t, kCursorShapes> cursor_cache{};
  std::atomic<int32_t> cursor_shape{0};  // the cursor shown over the window (setcursor's number)

  // Guards callbacks, thread list, menu lists and the flags above set from other threads.
  mutable std::mutex state_lock;
};

using WindowRef = std::shared_ptr<WindowData>;

}  // namespace gk
