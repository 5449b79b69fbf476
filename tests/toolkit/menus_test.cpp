// Menus of a toolkit window: indices, shared item ids, choosing, greying and drawing.
#include "toolkit/menus.hpp"

#include <atomic>
#include <cstdlib>

#include "controls_fixture.hpp"
#include "platform/image/bmp.hpp"
#include "platform/sync.hpp"
#include "support/temp_dir.hpp"
#include "toolkit/buttons.hpp"
#include "toolkit/guikit.hpp"

namespace {

using platform::Page;
using platform::Rect;

class Menus : public toolkit_test::ControlsWindow {
 protected:
  void SetUp() override {
    gk::install_menus();
    ControlsWindow::SetUp();
  }
  // A callback that records the item id it was run for and wakes the test.
  gk::Callback recorder() {
    return [this] {
      seen = gk::getmenuhandlerid();
      ran.set();
    };
  }
  bool choose(const std::vector<std::string>& path) {
    const bool chosen = user.choose_menu_item(h_, path);
    user.settle(h_);
    return chosen;
  }
  int32_t count(const Page& p, const Rect& r, platform::Pixel colour) {
    int32_t n = 0;
    for (int32_t y = r.top; y < r.bottom; ++y)
      for (int32_t x = r.left; x < r.right; ++x) n += p.at(x, y) == colour;
    return n;
  }

  std::atomic<int32_t> seen{-5};
  platform::Event ran;
};

TEST_F(Menus, BarIsMenuZeroAndKeepsTheClientSize) {
  const Rect before = system.client_rect(h_);
  const Rect frame = system.frame_rect(h_);
  EXPECT_EQ(gk::addmenu("File", -1), 0);
  EXPECT_EQ(system.client_rect(h_), before);
  EXPECT_EQ(system.frame_rect(h_).height(),
            frame.height() + system.metric(platform::Metric::CyMenu));
  EXPECT_EQ(gk::addmenu("File", 0), 1);
  const platform::Hmenu bar = system.menu(h_);
  // A second bar is refused and the first stays.
  EXPECT_EQ(gk::addmenu("Other", -1), -2);
  EXPECT_EQ(system.menu(h_), bar);
  EXPECT_EQ(system.client_rect(h_), before);
  struct Case {
    const char* text;
    int32_t parent;
    int32_t expected;
  };
  for (const Case& c : {Case{nullptr, 0, -2},
                        Case{"", 1, -2},
                        Case{"Far", 7, -2},
                        Case{"Neg", -3, -2},
                        Case{"Run", 0, 2},
                        Case{"Sub", 1, 3}}) {
    SCOPED_TRACE(c.text ? c.text : "(null)");
    EXPECT_EQ(gk::addmenu(c.text, c.parent), c.expected);
  }
  EXPECT_EQ(system.menus().items(bar)->size(), 2u);  // File and Run
}

TEST_F(Menus, ItemIdsAreSharedBySeparatorsAndRefusedItems) {
  ASSERT_EQ(gk::addmenu("", -1), 0);
  ASSERT_EQ(gk::addmenu("File", 0), 1);
  ASSERT_EQ(gk::addmenu("Run", 0), 2);
  gk::addmenuseparator(1);  // id 0
  EXPECT_EQ(gk::addmenuitem("Open", 1, recorder()), 1);
  EXPECT_EQ(gk::addmenuitem("Go", 2, recorder()), 2);
  EXPECT_EQ(gk::addmenuitem("Save", 1, recorder()), 3);
  EXPECT_EQ(gk::addmenuitem("No handler", 2, nullptr), -2);  // id 4 is used up
  EXPECT_EQ(gk::addmenuitem("Stop", 2, recorder()), 5);
  EXPECT_EQ(gk::addmenuitem(nullptr, 2, recorder()), 6);  // no text: a separator
  EXPECT_EQ(gk::addmenuitem("Lost", 9, recorder()), -2);
  EXPECT_EQ(gk::addmenuitem_ptr("Null", 1, nullptr), -2);  // id 7 used up
  EXPECT_EQ(gk::addmenuitem("Quit", 1, recorder()), 8);
  EXPECT_EQ(rec_->menu_handler_count, 9);
  const auto run = system.menus().items(rec_->menus[2]);
  ASSERT_EQ(run->size(), 3u);  // Go, Stop, separator
  EXPECT_TRUE((*run)[2].separator);
  EXPECT_EQ((*run)[2].id, 6u);
}

TEST_F(Menus, ChoosingRunsTheCallbackThatKnowsItsItem) {
  ASSERT_EQ(gk::addmenu("", -1), 0);
  ASSERT_EQ(gk::addmenu("File", 0), 1);
  ASSERT_EQ(gk::addmenu("Run", 0), 2);
  ASSERT_EQ(gk::addmenuitem("Open", 1, recorder()), 0);
  ASSERT_EQ(gk::addmenuitem("Go", 2, recorder()), 1);
  ASSERT_TRUE(choose({"Run", "Go"}));
  ASSERT_TRUE(ran.wait(5000));
  EXPECT_EQ(seen, 1);
  EXPECT_EQ(system.open_menu_popup(h_), 0u);  // choosing closes the menus
  ASSERT_TRUE(choose({"File", "Open"}));
  ASSERT_TRUE(ran.wait(5000));
  EXPECT_EQ(seen, 0);
  EXPECT_FALSE(choose({"File", "Missing"}));
  EXPECT_FALSE(choose({"Help"}));
  EXPECT_FALSE(ran.wait(0));
}

TEST_F(Menus, GreyedItemsRefuseTheChoiceWhereverTheyAre) {
  ASSERT_EQ(gk::addmenu("", -1), 0);
  ASSERT_EQ(gk::addmenu("File", 0), 1);
  ASSERT_EQ(gk::addmenu("Recent", 1), 2);  // a menu inside a menu
  ASSERT_EQ(gk::addmenuitem("Open", 1, recorder()), 0);
  ASSERT_EQ(gk::addmenuitem("Last", 2, recorder()), 1);
  EXPECT_EQ(gk::enablemenuitem(1, 0), 0);  // was enabled
  EXPECT_EQ(gk::enablemenuitem(1, 0), 1);  // was greyed
  EXPECT_EQ(gk::enablemenuitem(42, 0), -1);
  EXPECT_FALSE(choose({"File", "Recent", "Last"}));
  EXPECT_EQ(system.open_menu_popup(h_), 0u);
  EXPECT_FALSE(ran.wait(0));
  guikit::enablemenuitem(1, true);
  ASSERT_TRUE(choose({"File", "Recent", "Last"}));
  ASSERT_TRUE(ran.wait(5000));
  EXPECT_EQ(seen, 1);
}

TEST_F(Menus, KeyboardOpensMovesAndChooses) {
  ASSERT_EQ(gk::addmenu("", -1), 0);
  ASSERT_EQ(gk::addmenu("File", 0), 1);
  ASSERT_EQ(gk::addmenu("Run", 0), 2);
  ASSERT_EQ(gk::addmenuitem("Open", 1, recorder()), 0);
  gk::addmenuseparator(1);
  ASSERT_EQ(gk::addmenuitem("Save", 1, recorder()), 2);
  ASSERT_EQ(gk::addmenuitem("Go", 2, recorder()), 3);
  user.press_key(h_, platform::kVkF10);
  ASSERT_TRUE(user.settle(h_));
  platform::Hwnd popup = system.open_menu_popup(h_);
  ASSERT_NE(popup, 0u);
  for (uint32_t key : {platform::kVkDown, platform::kVkDown, platform::kVkReturn})
    user.press_key(popup, key);  // the separator is skipped
  ASSERT_TRUE(user.settle(h_));
  ASSERT_TRUE(ran.wait(5000));
  EXPECT_EQ(seen, 2);
  user.press_key(h_, platform::kVkF10);
  ASSERT_TRUE(user.settle(h_));
  user.press_key(system.open_menu_popup(h_), platform::kVkRight);  // on to Run
  ASSERT_TRUE(user.settle(h_));
  popup = system.open_menu_popup(h_);
  user.press_key(popup, platform::kVkDown);
  user.press_key(popup, platform::kVkReturn);
  ASSERT_TRUE(user.settle(h_));
  ASSERT_TRUE(ran.wait(5000));
  EXPECT_EQ(seen, 3);
  user.press_key(h_, platform::kVkF10);
  ASSERT_TRUE(user.settle(h_));
  user.press_key(system.open_menu_popup(h_), platform::kVkEscape);
  ASSERT_TRUE(user.settle(h_));
  EXPECT_EQ(system.open_menu_popup(h_), 0u);
}

TEST_F(Menus, AClickElsewhereClosesTheMenus) {
  ASSERT_EQ(gk::addmenu("", -1), 0);
  ASSERT_EQ(gk::addmenu("File", 0), 1);
  ASSERT_EQ(gk::addmenuitem("Open", 1, recorder()), 0);
  const Rect file = system.menu_bar_item_rect(h_, 0);
  const platform::Point at{file.left + 4, file.top + 4};
  user.frame_down(h_, at);
  user.frame_up(h_, at);
  ASSERT_TRUE(user.settle(h_));
  ASSERT_NE(system.open_menu_popup(h_), 0u);
  user.click(h_, platform::Point{300, 250});
  ASSERT_TRUE(user.settle(h_));
  EXPECT_EQ(system.open_menu_popup(h_), 0u);
}

TEST_F(Menus, APressOutsideTheOpenMenusFrameClosesTheMenus) {
  ASSERT_EQ(gk::addmenu("", -1), 0);
  ASSERT_EQ(gk::addmenu("File", 0), 1);
  ASSERT_EQ(gk::addmenuitem("Open", 1, recorder()), 0);
  const Rect file = system.menu_bar_item_rect(h_, 0);
  user.frame_down(h_, platform::Point{file.left + 4, file.top + 4});
  ASSERT_TRUE(user.settle(h_));
  const platform::Hwnd popup = system.open_menu_popup(h_);
  ASSERT_NE(popup, 0u);
  // A display whose open menu holds the pointer reports a press anywhere else to the menu.
  user.frame_down(popup, platform::Point{-40, 500});
  ASSERT_TRUE(user.settle(h_));
  EXPECT_EQ(system.open_menu_popup(h_), 0u);
  EXPECT_FALSE(ran.wait(0));
}

TEST_F(Menus, GraphdefaultsLeavesTheMenusWorking) {
  ASSERT_EQ(gk::addmenu("", -1), 0);
  ASSERT_EQ(gk::addmenu("File", 0), 1);
  ASSERT_EQ(gk::addmenuitem("Open", 1, recorder()), 0);
  gk::graphdefaults();
  EXPECT_EQ(gk::addmenuitem("Save", 1, recorder()), 1);
  ASSERT_TRUE(choose({"File", "Open"}));
  ASSERT_TRUE(ran.wait(5000));
  EXPECT_EQ(seen, 0);
}

TEST_F(Menus, RemovingItemsAndMenus) {
  const int32_t button = gk::createbutton(10, 40, 60, 20, "b", nullptr);
  ASSERT_EQ(gk::addmenu("", -1), 0);
  ASSERT_EQ(gk::addmenu("File", 0), 1);
  ASSERT_EQ(gk::addmenuitem("Open", 1, recorder()), 0);
  ASSERT_EQ(gk::addmenuitem("Save", 1, recorder()), 1);
  gk::removemenuitem(0);
  EXPECT_FALSE(choose({"File", "Open"}));
  EXPECT_EQ(gk::addmenuitem("Close", 1, recorder()), 2);  // the handler list never shrinks
  gk::removemenu(7);                                      // out of range: ignored
  EXPECT_NE(system.menu(h_), 0u);
  const Rect client = system.client_rect(h_);
  gk::removemenu(0);
  EXPECT_EQ(system.menu(h_), 0u);
  EXPECT_EQ(system.client_rect(h_), client);
  int32_t top = 0;
  ASSERT_EQ(gk::getbuttonposition(button, nullptr, &top, nullptr, nullptr), 1);
  EXPECT_EQ(top, 40 - system.metric(platform::Metric::CyMenu));
  EXPECT_EQ(gk::addmenuitem("More", 1, recorder()), 3);  // the drop-down went with the bar
  EXPECT_EQ(gk::addmenu("Again", -1), 2);
}

TEST_F(Menus, BindingDefaultsAndTrimming) {
  EXPECT_EQ(guikit::addmenu("   "), 0);  // parent absent: the bar
  EXPECT_EQ(guikit::addmenu("Display   ", 0), 1);
  EXPECT_EQ(guikit::addmenu("Second"), -2);
  EXPECT_EQ(guikit::addmenuitem("Plot  ", 1, recorder()), 0);
  EXPECT_EQ((*system.menus().items(system.menu(h_)))[0].text, "Display");
  EXPECT_EQ((*system.menus().items(rec_->menus[1]))[0].text, "Plot");
}

TEST_F(Menus, TheBarAndAnOpenPopupAsPixels) {
  ASSERT_EQ(gk::addmenu("", -1), 0);
  ASSERT_EQ(gk::addmenu("File", 0), 1);
  ASSERT_EQ(gk::addmenu("Options", 0), 2);
  ASSERT_EQ(gk::addmenuitem("Open data file", 1, recorder()), 0);
  gk::addmenuseparator(1);
  ASSERT_EQ(gk::addmenuitem("Quit", 1, recorder()), 2);
  gk::enablemenuitem(2, 0);
  const Page bar = user.menu_bar(h_);
  ASSERT_EQ(bar.width(), 400);
  ASSERT_EQ(bar.height(), system.metric(platform::Metric::CyMenu));
  const Rect file = system.menu_bar_item_rect(h_, 0);
  const Rect options = system.menu_bar_item_rect(h_, 1);
  EXPECT_EQ(file.right, options.left);
  const platform::Point client = system.client_origin(h_);
  const int32_t dx = client.x - system.frame_rect(h_).left;  // frame to bar coordinates
  const Rect file_in_bar{file.left - dx, 0, file.right - dx, bar.height()};
  EXPECT_GT(count(bar, file_in_bar, 0x000000), 10);  // black caption
  EXPECT_EQ(count(bar, {options.right - dx, 0, 400, bar.height()}, 0x000000), 0);
  const platform::Point at{file.left + 4, file.top + 4};
  user.frame_down(h_, at);
  user.frame_up(h_, at);
  ASSERT_TRUE(user.settle(h_));
  const platform::Hwnd popup = system.open_menu_popup(h_);
  ASSERT_NE(popup, 0u);
  const Page open_bar = user.menu_bar(h_);
  EXPECT_GT(count(open_bar, file_in_bar, 0x000080), 100);  // the open entry is highlighted
  EXPECT_GT(count(open_bar, file_in_bar, 0xFFFFFF), 10);
  // The pop-up lies right under the entry and shows its items; the greyed one etched.
  const Rect place = system.frame_rect(popup);
  EXPECT_EQ(place.top, client.y);
  EXPECT_EQ(place.left, client.x + file_in_bar.left);
  const Page shown = user.shown(popup);
  ASSERT_GT(shown.width(), 0);
  const Rect open_item = system.menu_popup_item_rect(popup, 0);
  const Rect quit = system.menu_popup_item_rect(popup, 2);
  const int32_t face = count(shown, quit, 0xC0C0C0);
  EXPECT_GT(count(shown, open_item, 0x000000), 5);
  EXPECT_EQ(count(shown, quit, 0x000000), 0);
  EXPECT_GT(quit.width() * quit.height() - face, 20);  // the etched caption
  user.mouse_move(popup, platform::Point{open_item.left + 30, open_item.top + 5});
  ASSERT_TRUE(user.settle(h_));
  EXPECT_GT(count(user.shown(popup), open_item, 0x000080), 100);
  // One picture of bar and pop-up, kept where VARQEN_MENUS_BMP says, for a person to look at.
  Page picture(400, bar.height() + shown.height());
  for (int32_t y = 0; y < bar.height(); ++y)
    std::copy(open_bar.row(y), open_bar.row(y) + 400, picture.row(y));
  for (int32_t y = 0; y < shown.height(); ++y)
    std::copy(shown.row(y),
              shown.row(y) + std::min(400 - file_in_bar.left, shown.width()),
              picture.row(bar.height() + y) + file_in_bar.left);
  testsupport::TempDir dir;
  ASSERT_TRUE(platform::write_bmp24((dir.path() / "menus.bmp").string(), picture));
  if (const char* keep = std::getenv("VARQEN_MENUS_BMP")) platform::write_bmp24(keep, picture);
}

}  // namespace
