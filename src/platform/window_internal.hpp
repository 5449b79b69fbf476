// The window system's record of one window (private to the window system's sources).
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/window_system.hpp"

namespace platform {

struct WindowSystem::Window {
  Hwnd hwnd = 0;
  Hwnd parent = 0;
  std::string class_name;
  uint32_t class_style = 0;
  WindowProc proc;
  std::shared_ptr<ThreadQueue> queue;  // of the owner thread
  ThreadId owner = 0;

  // Guarded by WindowSystem::mutex_.
  uint32_t style = 0;
  std::string text;
  Rect frame;             // top-level: screen; child: parent client coordinates
  Hwnd dialog_owner = 0;  // a top-level dialog: the window it belongs to
  // A client size the display gave the window, posted to its thread and not yet applied
  // there; a placement the window system asks of the display later supersedes it.
  std::optional<Size> display_size;
  Rect restore_frame;  // frame before maximising
  bool minimized = false;
  bool maximized = false;
  bool shown_once = false;
  bool destroying = false;
  Rect update;  // pending update region, client coordinates
  std::shared_ptr<void> user_data;
  std::shared_ptr<void> class_data;  // the built-in control classes keep their state here
  std::vector<Hwnd> children;
  Hmenu menu = 0;            // the menu bar of a top-level window
  int32_t menu_open = -1;    // the bar entry whose pop-up is open
  std::vector<Hwnd> popups;  // the open pop-up menus, outermost first

  // The client surface of a top-level window, guarded by surface_mutex (the paint cycle on the
  // owner thread and readers on other threads).
  mutable std::mutex surface_mutex;
  Page surface;
};

}  // namespace platform
