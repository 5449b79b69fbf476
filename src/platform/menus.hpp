// Menus of the window system: menu bars and their pop-up menus, as objects apart from windows.
//
// A menu is a list of items: commands (a caption and the command id the owner window receives
// in kMsgCommand), pop-up entries (a caption and the pop-up menu they open) and separators.
// Items can be greyed (they cannot be chosen) and checked. A menu bar is attached to a
// top-level window with WindowSystem::set_menu; it is drawn in the window's non-client area,
// between caption and client area, kMenuBarHeight pixels high (Metric::CyMenu). Choosing from
// it is the window system's business (menu_tracking.cpp): the window only hears kMsgCommand
// with the chosen item's id in the low 16 bits of wparam and lparam 0.
//
// The store is guarded; menus may be built and read from any thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

using Hmenu = uint64_t;  // menu handle; 0 = none; never reused within a process

// The window class of open pop-up menus (registered by every WindowSystem).
inline constexpr const char* kClassMenuPopup = "#menu";

// Flags of MenuStore::append.
enum : uint32_t {
  kMenuString = 0x0000,
  kMenuGrayed = 0x0001,
  kMenuChecked = 0x0008,
  kMenuPopup = 0x0010,  // id_or_popup is the pop-up menu the entry opens
  kMenuSeparator = 0x0800,
};

struct MenuItem {
  std::string text;  // UTF-8
  uint32_t id = 0;   // command id (commands and separators)
  Hmenu popup = 0;   // pop-up entries
  bool separator = false;
  bool grayed = false;
  bool checked = false;
};

class MenuStore {
 public:
  Hmenu create();
  // Destroys the menu and the pop-up menus its entries open; false when it is not a menu.
  bool destroy(Hmenu menu);
  bool exists(Hmenu menu) const;
  // Appends an item; false when the menu (or the pop-up of a pop-up entry) is not a menu.
  bool append(Hmenu menu, uint32_t flags, uint64_t id_or_popup, const std::string& text);
  // Removes the first command with the id from the menu or the pop-up menus under it (a
  // pop-up menu removed so is not destroyed); false when there is none.
  bool remove_command(Hmenu menu, uint32_t id);
  // Greys (enable false) or enables the first command with the id in the menu or under it;
  // its previous state (kMenuGrayed or 0), or -1 when there is no such command.
  int32_t enable_command(Hmenu menu, uint32_t id, bool enable);
  // The menu's items; nothing when it is not a menu.
  std::optional<std::vector<MenuItem>> items(Hmenu menu) const;

 private:
  MenuItem* find_command(Hmenu menu, uint32_t id, Hmenu* holder);  // under mutex_

  mutable std::mutex mutex_;
  std::unordered_map<Hmenu, std::vector<MenuItem>> menus_;
  Hmenu next_ = 0x20000;
};

}  // namespace platform
