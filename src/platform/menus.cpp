#include "platform/menus.hpp"

#include <functional>

namespace platform {

Hmenu MenuStore::create() {
  std::lock_guard<std::mutex> g(mutex_);
  const Hmenu h = next_++;
  menus_[h];
  return h;
}

bool MenuStore::destroy(Hmenu menu) {
  std::lock_guard<std::mutex> g(mutex_);
  std::function<bool(Hmenu)> drop = [&](Hmenu m) {
    auto it = menus_.find(m);
    if (it == menus_.end()) return false;
    const std::vector<MenuItem> items = std::move(it->second);
    menus_.erase(it);
    for (const MenuItem& item : items)
      if (item.popup != 0) drop(item.popup);
    return true;
  };
  return drop(menu);
}

bool MenuStore::exists(Hmenu menu) const {
  std::lock_guard<std::mutex> g(mutex_);
  return menus_.count(menu) != 0;
}

bool MenuStore::append(Hmenu menu, uint32_t flags, uint64_t id_or_popup, const std::string& text) {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = menus_.find(menu);
  if (it == menus_.end()) return false;
  MenuItem item;
  item.grayed = (flags & kMenuGrayed) != 0;
  item.checked = (flags & kMenuChecked) != 0;
  if (flags & kMenuSeparator) {
    item.separator = true;
    item.id = static_cast<uint32_t>(id_or_popup);
  } else if (flags & kMenuPopup) {
    if (id_or_popup == menu || menus_.count(id_or_popup) == 0) return false;
    item.popup = id_or_popup;
    item.text = text;
  } else {
    item.id = static_cast<uint32_t>(id_or_popup);
    item.text = text;
  }
  it->second.push_back(std::move(item));
  return true;
}

MenuItem* MenuStore::find_command(Hmenu menu, uint32_t id, Hmenu* holder) {
  auto it = menus_.find(menu);
  if (it == menus_.end()) return nullptr;
  for (MenuItem& item : it->second) {
    if (item.popup == 0 && item.id == id) {
      *holder = menu;
      return &item;
    }
    if (item.popup != 0)
      if (MenuItem* found = find_command(item.popup, id, holder)) return found;
  }
  return nullptr;
}

bool MenuStore::remove_command(Hmenu menu, uint32_t id) {
  std::lock_guard<std::mutex> g(mutex_);
  Hmenu holder = 0;
  MenuItem* item = find_command(menu, id, &holder);
  if (!item) return false;
  std::vector<MenuItem>& list = menus_[holder];
  list.erase(list.begin() + (item - list.data()));
  return true;
}

int32_t MenuStore::enable_command(Hmenu menu, uint32_t id, bool enable) {
  std::lock_guard<std::mutex> g(mutex_);
  Hmenu holder = 0;
  MenuItem* item = find_command(menu, id, &holder);
  if (!item) return -1;
  const int32_t previous = item->grayed ? static_cast<int32_t>(kMenuGrayed) : 0;
  item->grayed = !enable;
  return previous;
}

std::optional<std::vector<MenuItem>> MenuStore::items(Hmenu menu) const {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = menus_.find(menu);
  if (it == menus_.end()) return std::nullopt;
  return it->second;
}

}  // namespace platform
