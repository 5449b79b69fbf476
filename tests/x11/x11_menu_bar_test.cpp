// A window's menu bar on an X display: shown above the client area as the window system drew
// it, following the bar's coming and going and the window manager's resizes, and clicked
// through X to open its pop-up menus where the user sees them.
#include <algorithm>

#include "platform/controls/control_classes.hpp"
#include "platform/headless/headless_backend.hpp"
#include "platform/metrics.hpp"
#include "x11/x11_host.hpp"

namespace x11_test {
namespace {

constexpr uint32_t kFramed = kStyleCaption | kStyleSysMenu | kStyleThickFrame;
constexpr Pixel kBarFace = 0xC0C0C0;        // the bar's background
constexpr Pixel kMenuHighlight = 0x000080;  // an open entry

// File (Open 10, separator, Quit 11), Run (Go 20, Stop 21) and the command Help (30) on the
// bar itself.
Hmenu make_bar(MenuStore& store) {
  const Hmenu bar = store.create(), file = store.create(), run = store.create();
  store.append(file, kMenuString, 10, "Open");
  store.append(file, kMenuSeparator, 0, "");
  store.append(file, kMenuString, 11, "Quit");
  store.append(run, kMenuString, 20, "Go");
  store.append(run, kMenuString, 21, "Stop");
  store.append(bar, kMenuPopup, file, "File");
  store.append(bar, kMenuPopup, run, "Run");
  store.append(bar, kMenuString, 30, "Help");
  return bar;
}

// The menu bar the headless display holds for a window of the same style and frame.
Page headless_bar(uint32_t style, const Rect& frame) {
  HeadlessBackend headless;
  HeadlessDialogs dialogs;
  WindowSystem twin(headless, dialogs);
  twin.register_class("plain", 0, [&](Hwnd h, uint32_t m, uint64_t w, int64_t l) {
    return twin.default_window_proc(h, m, w, l);
  });
  CreateWindowParams p;
  p.class_name = "plain";
  p.style = style;
  p.frame = frame;
  const Hwnd h = twin.create_window(p);
  twin.set_menu(h, make_bar(twin.menus()));
  HeadlessBackend::NativeState state;
  headless.native_state(h, state);
  twin.destroy_window(h);
  return state.menu_bar;
}

// Where an X window's top-left corner is on the screen, as the server says.
Point x_origin(Display* xd, XID window) {
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(
      xd, static_cast<Window>(window), DefaultRootWindow(xd), 0, 0, &x, &y, &child);
  return {x, y};
}

bool same_pixels(const Page& shown, const Page& page, int32_t top) {
  if (shown.width() != page.width() || shown.height() < top + page.height()) return false;
  for (int32_t y = 0; y < page.height(); ++y)
    if (!std::equal(page.row(y), page.row(y) + page.width(), shown.row(top + y))) return false;
  return true;
}

class X11MenuBar : public X11Host {
 protected:
  int32_t bar_height() const { return system->metric(Metric::CyMenu); }
  XID xwin() { return backend.x_window(hwnd); }
  // A bar entry's rectangle in the X window (its strip starts at row 0).
  Rect entry_in_x(int32_t index) {
    const Rect r = system->menu_bar_item_rect(hwnd, index);
    const Rect f = system->frame_rect(hwnd);
    const Point o = system->client_origin(hwnd);
    return r.translated(f.left - o.x, f.top - (o.y - bar_height()));
  }
  // The open pop-up once the window's thread has shown it (and it holds the pointer); 0: none.
  Hwnd shown_popup() {
    if (!eventually(xd, [&] { return system->open_menu_popup(hwnd) != 0; })) return 0;
    return system->flush(hwnd, kWaitMs) ? system->open_menu_popup(hwnd) : 0;
  }
  bool commanded(uint64_t id) {
    for (const Seen& s : seen(kMsgCommand))
      if (s.wparam == id && s.lparam == 0) return true;
    return false;
  }
};

TEST_F(X11MenuBar, TheBarShowsAboveTheClientAreaPixelForPixelAndRepaintsExposedParts) {
  const Rect frame{40, 40, 40 + 330, 40 + 260};
  open_host(kFramed, frame);
  const Rect client = system->client_rect(hwnd);
  const Point origin = system->client_origin(hwnd);
  ASSERT_TRUE(system->set_menu(hwnd, make_bar(system->menus())));
  ASSERT_TRUE(system->flush(hwnd, kWaitMs));
  EXPECT_EQ(system->client_rect(hwnd), client);  // the frame grew, not the client area

  XWindowAttributes a{};
  ASSERT_NE(XGetWindowAttributes(xd, xwin(), &a), 0);
  EXPECT_EQ(a.width, client.width());
  EXPECT_EQ(a.height, client.height() + bar_height());
  EXPECT_EQ(a.x, origin.x);
  EXPECT_EQ(a.y, origin.y - bar_height());

  // The twin's frame grows the same way: the same width, the same bar.
  const Page bar = headless_bar(kFramed, frame);
  ASSERT_EQ(bar.width(), client.width());
  ASSERT_EQ(bar.height(), bar_height());
  const Page surface = system->surface(hwnd);
  auto shows_all = [&] {
    const Page shown = screen();
    return same_pixels(shown, bar, 0) && same_pixels(shown, surface, bar_height());
  };
  EXPECT_TRUE(eventually(xd, shows_all));

  // Another client clears parts of the strip and of the client area: both come back.
  XClearArea(xd, static_cast<Window>(xwin()), 0, 0, 200, 60, True);
  XSync(xd, False);
  EXPECT_TRUE(eventually(xd, shows_all));
}

TEST_F(X11MenuBar, TheBarComesAndGoesWithoutMovingOrResizingTheClientArea) {
  open_host(kStyleCaption | kStyleSysMenu, Rect{30, 60, 30 + 300, 60 + 200});  // fixed size
  const Rect client = system->client_rect(hwnd);
  const Point origin = system->client_origin(hwnd);
  const size_t sizes = seen(kMsgSize).size();
  const Window w = static_cast<Window>(xwin());
  struct Step {
    const char* name;
    bool bar;
  };
  for (const Step& step :
       {Step{"bar added", true}, Step{"bar removed", false}, Step{"added again", true}}) {
    SCOPED_TRACE(step.name);
    ASSERT_TRUE(system->set_menu(hwnd, step.bar ? make_bar(system->menus()) : 0));
    const int32_t bar = step.bar ? bar_height() : 0;
    XWindowAttributes a{};
    ASSERT_NE(XGetWindowAttributes(xd, w, &a), 0);
    EXPECT_EQ(a.x, origin.x);
    EXPECT_EQ(a.y, origin.y - bar);
    EXPECT_EQ(a.height, client.height() + bar);
    // The window manager keeps the X window (not its frame) in place and at the new size.
    XSizeHints hints{};
    long supplied = 0;
    ASSERT_NE(XGetWMNormalHints(xd, w, &hints, &supplied), 0);
    EXPECT_TRUE(hints.flags & PWinGravity);
    EXPECT_EQ(hints.win_gravity, StaticGravity);
    EXPECT_EQ(hints.min_height, a.height);
    EXPECT_EQ(hints.max_height, a.height);
    EXPECT_TRUE(eventually(xd, [&] { return same_pixels(screen(), system->surface(hwnd), bar); }));
  }
  // A move by another client comes after the display's answers to those changes: once the
  // window system has it, none of them was taken for a move or resize by the display.
  XMoveWindow(xd, w, origin.x + 7, origin.y - bar_height() + 5);
  ASSERT_TRUE(eventually(xd, [&] { return system->client_origin(hwnd).x == origin.x + 7; }));
  EXPECT_EQ(system->client_origin(hwnd), (Point{origin.x + 7, origin.y + 5}));
  EXPECT_EQ(system->client_rect(hwnd), client);
  EXPECT_EQ(seen(kMsgSize).size(), sizes);
}

TEST_F(X11MenuBar, AResizeByTheDisplayKeepsTheBarOnTopAndSpansItsWidth) {
  open_host(kFramed, Rect{0, 0, 320, 240});
  ASSERT_TRUE(system->set_menu(hwnd, make_bar(system->menus())));
  const Point origin = system->client_origin(hwnd);
  XMoveResizeWindow(
      xd, static_cast<Window>(xwin()), origin.x, origin.y - bar_height(), 420, 150 + bar_height());
  // The size message comes after the record and the surface have changed.
  ASSERT_TRUE(eventually(xd, [&] {
    const auto sizes = seen(kMsgSize);
    return !sizes.empty() && sizes.back().lparam == pack_point(420, 150);
  }));
  EXPECT_EQ(system->client_rect(hwnd), (Rect{0, 0, 420, 150}));
  EXPECT_EQ(system->client_origin(hwnd), origin);
  EXPECT_TRUE(eventually(xd, [&] {
    const Page shown = screen();
    return shown.width() == 420 && shown.at(419, 2) == kBarFace &&
           same_pixels(shown, system->surface(hwnd), bar_height());
  }));
}

TEST_F(X11MenuBar, ClickingAnEntryOpensItsPopUpRightBelowItAndAnItemSendsItsCommand) {
  open_host(kFramed, Rect{0, 0, 360, 240});
  ASSERT_TRUE(system->set_menu(hwnd, make_bar(system->menus())));
  // Moved by another client (as a window manager would): the bar's place comes from X.
  XMoveWindow(xd, static_cast<Window>(xwin()), 83, 71);
  ASSERT_TRUE(eventually(xd, [&] {
    return system->client_origin(hwnd) == Point{83, 71 + bar_height()};
  }));
  const Point x0 = x_origin(xd, xwin());

  const Rect run = entry_in_x(1);
  ASSERT_FALSE(run.empty());
  click_at(xd, {x0.x + run.left + 4, x0.y + run.top + 5});
  const Hwnd popup = shown_popup();
  ASSERT_NE(popup, 0u);
  XWindowAttributes a{};
  ASSERT_NE(XGetWindowAttributes(xd, backend.x_window(popup), &a), 0);
  EXPECT_EQ(a.map_state, IsViewable);
  EXPECT_EQ(x_origin(xd, backend.x_window(popup)), (Point{x0.x + run.left, x0.y + bar_height()}));
  // The open entry shows highlighted on the strip.
  EXPECT_TRUE(eventually(xd, [&] { return screen().at(run.left + 1, 2) == kMenuHighlight; }));

  const Rect stop = system->menu_popup_item_rect(popup, 1);
  const Point p0 = x_origin(xd, backend.x_window(popup));
  click_at(xd, {p0.x + stop.left + 10, p0.y + (stop.top + stop.bottom) / 2});
  ASSERT_TRUE(eventually(xd, [&] { return commanded(21); }));
  EXPECT_EQ(system->open_menu_popup(hwnd), 0u);
  EXPECT_TRUE(eventually(xd, [&] { return screen().at(run.left + 1, 2) == kBarFace; }));

  // A command on the bar itself is sent at once; input in the client area keeps its
  // coordinates under the bar.
  const Rect help = entry_in_x(2);
  click_at(xd, {x0.x + help.left + 4, x0.y + 5});
  ASSERT_TRUE(eventually(xd, [&] { return commanded(30); }));
  click_at(xd, on_screen({50, 60}));
  ASSERT_TRUE(eventually(xd, [&] { return !seen(kMsgLButtonUp).empty(); }));
  EXPECT_EQ(seen(kMsgLButtonDown).back().lparam, pack_point(50, 60));
  EXPECT_EQ(system->open_menu_popup(hwnd), 0u);
}

TEST_F(X11MenuBar, AClickOutsideEveryWindowOfTheProgramClosesTheOpenMenu) {
  open_host(kFramed, Rect{0, 0, 360, 240});
  ASSERT_TRUE(system->set_menu(hwnd, make_bar(system->menus())));
  ASSERT_TRUE(system->flush(hwnd, kWaitMs));
  const Point x0 = x_origin(xd, xwin());
  const Rect file = entry_in_x(0);
  auto open_file = [&] {
    click_at(xd, {x0.x + file.left + 4, x0.y + 5});
    return shown_popup();
  };
  ASSERT_NE(open_file(), 0u);
  const Size screen_size = backend.screen_size();
  click_at(xd, {screen_size.width - 10, screen_size.height - 10});  // the bare screen
  EXPECT_TRUE(eventually(xd, [&] { return system->open_menu_popup(hwnd) == 0; }));

  // The pointer is the program's no longer: the next menu opens and chooses as before.
  const Hwnd popup = open_file();
  ASSERT_NE(popup, 0u);
  const Rect quit = system->menu_popup_item_rect(popup, 2);
  const Point p0 = x_origin(xd, backend.x_window(popup));
  click_at(xd, {p0.x + quit.left + 10, p0.y + (quit.top + quit.bottom) / 2});
  EXPECT_TRUE(eventually(xd, [&] { return commanded(11); }));
}

TEST_F(X11MenuBar, AClickOutsideEveryWindowOfTheProgramClosesAnOpenDropDownList) {
  open_host(kFramed, Rect{0, 0, 360, 240});
  const Hwnd combo = make(kClassComboBox, "", kCbsDropDownList, Rect{10, 10, 160, 120});
  ASSERT_NE(combo, 0u);
  for (const char* entry : {"Easy", "Moderate", "Difficult"})
    system->send_message(combo, kMsgCbAddString, 0, reinterpret_cast<int64_t>(entry));
  ASSERT_TRUE(system->flush(hwnd, kWaitMs));
  auto dropped = [&] { return system->send_message(combo, kMsgCbGetDroppedState) == 1; };
  click_at(xd, on_screen({40, 15}));  // the field opens the list
  ASSERT_TRUE(eventually(xd, dropped));
  ASSERT_TRUE(system->flush(hwnd, kWaitMs));  // shown, holding the pointer
  const Size screen_size = backend.screen_size();
  click_at(xd, {screen_size.width - 10, screen_size.height - 10});
  EXPECT_TRUE(eventually(xd, [&] { return !dropped(); }));
}

}  // namespace
}  // namespace x11_test
