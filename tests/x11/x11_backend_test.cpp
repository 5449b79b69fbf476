#include "platform/x11/x11_backend.hpp"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>

#include "platform/controls/control_classes.hpp"
#include "x11/x11_host.hpp"

// After every platform header: Xlib macros clash with platform names.
#include <X11/extensions/XTest.h>

namespace x11_test {
namespace {

constexpr uint32_t kFramed = kStyleCaption | kStyleSysMenu | kStyleThickFrame;

// Runs a shell command; its standard output, or nothing when it failed.
std::optional<std::string> run(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string out;
  char buf[256];
  while (size_t n = fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
  if (pclose(pipe) != 0) return std::nullopt;
  return out;
}

TEST_F(X11Host, WindowOpensAtTheRequestedClientSizeAndPlace) {
  open_host(kFramed, Rect{40, 30, 40 + 330, 30 + 260});
  const Rect client = system->client_rect(hwnd);
  const Point origin = system->client_origin(hwnd);
  XWindowAttributes a{};
  ASSERT_NE(XGetWindowAttributes(xd, backend.x_window(hwnd), &a), 0);
  EXPECT_EQ(a.width, client.width());
  EXPECT_EQ(a.height, client.height());
  EXPECT_EQ(a.x, origin.x);  // no window manager: the window sits where the client does
  EXPECT_EQ(a.y, origin.y);
  EXPECT_EQ(a.map_state, IsViewable);
}

TEST_F(X11Host, PopUpsDialogsAndFixedWindowsTellTheWindowManager) {
  open_host(kFramed, Rect{0, 0, 320, 240});
  struct Case {
    const char* name;
    uint32_t style;
    bool owned;
    bool override_redirect;
    bool transient;
    bool fixed_size;
  };
  const Case cases[] = {
      {"top-level, resizable", kFramed, false, false, false, false},
      {"dialog", kStyleCaption | kStyleSysMenu, true, false, true, true},
      {"pop-up", kStylePopup | kStyleBorder, false, true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CreateWindowParams p;
    p.class_name = "host";
    p.title = c.name;
    p.style = c.style;
    p.frame = {50, 50, 250, 150};
    p.owner = c.owned ? hwnd.load() : 0;
    const Hwnd made = make_window(p);
    ASSERT_NE(made, 0u);
    const Window w = static_cast<Window>(backend.x_window(made));
    XWindowAttributes a{};
    ASSERT_NE(XGetWindowAttributes(xd, w, &a), 0);
    EXPECT_EQ(a.override_redirect != 0, c.override_redirect);
    Window owner = 0;
    EXPECT_EQ(XGetTransientForHint(xd, w, &owner) != 0, c.transient);
    if (c.transient) {
      EXPECT_EQ(owner, static_cast<Window>(backend.x_window(hwnd)));
    }
    XSizeHints hints{};
    long supplied = 0;
    ASSERT_NE(XGetWMNormalHints(xd, w, &hints, &supplied), 0);
    const bool fixed = (hints.flags & PMinSize) && (hints.flags & PMaxSize) &&
                       hints.min_width == hints.max_width && hints.min_width == a.width;
    EXPECT_EQ(fixed, c.fixed_size);
    // Managed windows take the keyboard when the window manager gives it and name the program.
    XWMHints* wm = XGetWMHints(xd, w);
    XClassHint names{};
    Atom* protocols = nullptr;
    int count = 0;
    const Atom take_focus = XInternAtom(xd, "WM_TAKE_FOCUS", False);
    const bool managed = wm != nullptr && (wm->flags & InputHint) && wm->input &&
                         (wm->flags & StateHint) && wm->initial_state == NormalState &&
                         XGetClassHint(xd, w, &names) && std::string(names.res_name) == "varqen" &&
                         std::string(names.res_class) == "Varqen" &&
                         XGetWMProtocols(xd, w, &protocols, &count) &&
                         std::find(protocols, protocols + count, take_focus) != protocols + count;
    EXPECT_EQ(managed, !c.override_redirect);
    if (wm) XFree(wm);
    if (names.res_name) XFree(names.res_name);
    if (names.res_class) XFree(names.res_class);
    if (protocols) XFree(protocols);
  }
}

// Activated before it is shown (a dialog activated by its owner's thread as it appears), a
// window takes the keyboard once the server shows it.
TEST_F(X11Host, AWindowActivatedBeforeItIsShownTakesTheKeyboardWhenShown) {
  open_host(kFramed, Rect{20, 20, 420, 320});
  std::atomic<Hwnd> made{0};
  on_host_thread([&] {
    CreateWindowParams p;
    p.class_name = "host";
    p.title = "late";
    p.style = kStyleCaption | kStyleSysMenu;
    p.frame = {150, 150, 350, 250};
    made = system->create_window(p);
    system->activate(made);
    system->show_window(made, true);
  });
  ASSERT_NE(made.load(), 0u);
  const Window late = static_cast<Window>(backend.x_window(made));
  EXPECT_TRUE(eventually(xd, [&] {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(xd, &focus, &revert);
    return focus == late;
  }));
  on_host_thread([&] { system->destroy_window(made); });
}

// A window manager raises and focuses a window the user clicks, even the disabled owner of a
// running dialog; the dialog comes back above it and takes the focus back.
TEST_F(X11Host, ADisabledOwnerRaisedAndFocusedByTheWindowManagerHandsBothToItsDialog) {
  open_host(kStyleCaption | kStyleSysMenu, Rect{20, 20, 420, 320});
  CreateWindowParams p;
  p.class_name = "host";
  p.title = "dialog";
  p.style = kStyleCaption | kStyleSysMenu;
  p.frame = {150, 150, 350, 250};
  p.owner = hwnd.load();
  const Hwnd dialog = make_window(p);
  ASSERT_NE(dialog, 0u);
  on_host_thread([&] { system->enable_window(hwnd, false); });
  const Window owner_x = static_cast<Window>(backend.x_window(hwnd));
  const Window dialog_x = static_cast<Window>(backend.x_window(dialog));
  auto dialog_in_front = [&] {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(xd, DefaultRootWindow(xd), &root, &parent, &children, &count)) return false;
    int owner_at = -1, dialog_at = -1;  // bottom to top
    for (unsigned int i = 0; i < count; ++i) {
      if (children[i] == owner_x) owner_at = static_cast<int>(i);
      if (children[i] == dialog_x) dialog_at = static_cast<int>(i);
    }
    XFree(children);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(xd, &focus, &revert);
    return dialog_at > owner_at && owner_at >= 0 && focus == dialog_x &&
           system->active_window() == dialog;
  };
  // The window manager raises the owner in every case; then it focuses it, the user clicks it,
  // or the window manager hands it the keyboard (WM_TAKE_FOCUS, the focus elsewhere).
  enum class How { Focused, Clicked, TakeFocus };
  struct Case {
    const char* name;
    How how;
  };
  const Case cases[] = {{"focused by the window manager", How::Focused},
                        {"clicked", How::Clicked},
                        {"handed the keyboard", How::TakeFocus}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    XRaiseWindow(xd, owner_x);
    if (c.how == How::Clicked) {
      click_at(xd, on_screen({10, 10}));  // beside the dialog
    } else if (c.how == How::Focused) {
      XSetInputFocus(xd, owner_x, RevertToParent, CurrentTime);
      XSync(xd, False);
    } else {
      XSetInputFocus(xd, None, RevertToNone, CurrentTime);  // nobody has the keyboard
      send_wm_protocol(xd, owner_x, "WM_TAKE_FOCUS");
    }
    EXPECT_TRUE(eventually(xd, dialog_in_front));
  }
  on_host_thread([&] { system->destroy_window(dialog); });
}

TEST_F(X11Host, TheScreenShowsTheSurfacePixelForPixelAndRepaintsExposedParts) {
  open_host(kFramed, Rect{10, 10, 10 + 300, 10 + 220});
  make(kClassButton, "Fit", kStyleTabStop, Rect{150, 120, 230, 150});
  ASSERT_TRUE(system->flush(hwnd, kWaitMs));
  const Page surface = system->surface(hwnd);
  ASSERT_GT(surface.width(), 0);
  EXPECT_TRUE(eventually(xd, [&] { return screen().row(0) != nullptr; }));
  const Page shown = screen();
  ASSERT_EQ(shown.width(), surface.width());
  ASSERT_EQ(shown.height(), surface.height());
  int32_t differing = 0;
  for (int y = 0; y < surface.height(); ++y)
    for (int x = 0; x < surface.width(); ++x) differing += shown.at(x, y) != surface.at(x, y);
  EXPECT_EQ(differing, 0);

  // Another client clears part of the window: the backend repaints it from its own copy.
  const Window w = static_cast<Window>(backend.x_window(hwnd));
  XClearArea(xd, w, 20, 20, 100, 100, True);
  EXPECT_TRUE(eventually(xd, [&] {
    const Page again = screen();
    return std::equal(again.data(), again.data() + again.width() * again.height(), surface.data());
  }));
}

TEST_F(X11Host, ClickingAButtonThroughXNotifiesItsParent) {
  open_host(kFramed, Rect{0, 0, 320, 240});
  const Hwnd button = make(kClassButton, "OK", kStyleTabStop, Rect{100, 100, 180, 130});
  ASSERT_TRUE(system->flush(hwnd, kWaitMs));
  const Point p = on_screen({140, 115});
  XTestFakeMotionEvent(xd, -1, p.x, p.y, CurrentTime);
  XTestFakeButtonEvent(xd, 1, True, CurrentTime);
  XTestFakeButtonEvent(xd, 1, False, CurrentTime);
  auto clicked = [&] {
    for (const Seen& s : seen(kMsgCommand))
      if ((s.wparam >> 16) == kBnClicked && static_cast<Hwnd>(s.lparam) == button) return true;
    return false;
  };
  EXPECT_TRUE(eventually(xd, clicked));
}

TEST_F(X11Host, MouseInputArrivesInClientCoordinatesWithDoubleClicksAndWheel) {
  open_host(kFramed, Rect{0, 0, 320, 240});
  const Point p = on_screen({50, 60});
  XTestFakeMotionEvent(xd, -1, p.x, p.y, CurrentTime);
  for (int i = 0; i < 2; ++i) {
    XTestFakeButtonEvent(xd, 1, True, CurrentTime);
    XTestFakeButtonEvent(xd, 1, False, CurrentTime);
  }
  XTestFakeButtonEvent(xd, 5, True, CurrentTime);
  XTestFakeButtonEvent(xd, 5, False, CurrentTime);
  // A right click with Control held: the display's modifier state rides along.
  const KeyCode control = XKeysymToKeycode(xd, XK_Control_L);
  XTestFakeKeyEvent(xd, control, True, CurrentTime);
  XTestFakeButtonEvent(xd, 3, True, CurrentTime);
  XTestFakeButtonEvent(xd, 3, False, CurrentTime);
  XTestFakeKeyEvent(xd, control, False, CurrentTime);
  ASSERT_TRUE(eventually(xd, [&] { return !seen(kMsgRButtonUp).empty(); }));
  EXPECT_EQ(seen(kMsgRButtonDown)[0].wparam, 0x02u | 0x08u);  // right button, Control
  ASSERT_EQ(seen(kMsgLButtonDown).size(), 1u);
  EXPECT_EQ(seen(kMsgLButtonDown)[0].lparam, pack_point(50, 60));
  ASSERT_EQ(seen(kMsgLButtonDblClk).size(), 1u);
  EXPECT_EQ(seen(kMsgLButtonDblClk)[0].lparam, pack_point(50, 60));
  EXPECT_EQ(static_cast<int16_t>(seen(kMsgMouseWheel)[0].wparam >> 16), -120);
  EXPECT_EQ(seen(kMsgMouseWheel)[0].lparam, pack_point(p.x, p.y));  // screen point
}

TEST_F(X11Host, TypedKeysBecomeKeyAndCharacterMessagesWithModifiers) {
  open_host(kFramed, Rect{0, 0, 320, 240});
  XSetInputFocus(xd, backend.x_window(hwnd), RevertToParent, CurrentTime);
  auto tap = [&](KeySym sym) {
    const KeyCode code = XKeysymToKeycode(xd, sym);
    XTestFakeKeyEvent(xd, code, True, CurrentTime);
    XTestFakeKeyEvent(xd, code, False, CurrentTime);
  };
  tap(XK_a);
  XTestFakeKeyEvent(xd, XKeysymToKeycode(xd, XK_Shift_L), True, CurrentTime);
  tap(XK_b);
  XTestFakeKeyEvent(xd, XKeysymToKeycode(xd, XK_Shift_L), False, CurrentTime);
  tap(XK_Return);
  ASSERT_TRUE(eventually(xd, [&] { return seen(kMsgChar).size() >= 3; }));
  const auto chars = seen(kMsgChar);
  EXPECT_EQ(chars[0].wparam, 'a');
  EXPECT_EQ(chars[1].wparam, 'B');
  EXPECT_EQ(chars[2].wparam, '\r');
  const auto downs = seen(kMsgKeyDown);
  ASSERT_EQ(downs.size(), 4u);  // a, Shift, b, Return
  EXPECT_EQ(downs[0].wparam, 'A');
  EXPECT_EQ(downs[1].wparam, kVkShift);
  EXPECT_EQ(downs[2].wparam, 'B');
  EXPECT_NE(downs[2].lparam & kKeyShiftHeld, 0);
  EXPECT_EQ(downs[3].wparam, kVkReturn);
  EXPECT_EQ(downs[3].lparam & kKeyShiftHeld, 0);
}

TEST_F(X11Host, ResizesAndMovesByTheDisplayReachTheWindow) {
  open_host(kStyleCaption | kStyleSysMenu, Rect{0, 0, 320, 240});  // not resizable by us
  const Window w = static_cast<Window>(backend.x_window(hwnd));
  const Point before = system->client_origin(hwnd);
  XMoveResizeWindow(xd, w, before.x + 25, before.y + 15, 200, 150);
  // The size message comes after the record and the surface have changed.
  ASSERT_TRUE(eventually(xd, [&] {
    const Rect c = system->client_rect(hwnd);
    const auto sizes = seen(kMsgSize);
    return c.width() == 200 && c.height() == 150 && system->surface(hwnd).width() == 200 &&
           !sizes.empty() && sizes.back().lparam == pack_point(200, 150);
  }));
  EXPECT_EQ(system->client_origin(hwnd).x, before.x + 25);
  EXPECT_EQ(system->client_origin(hwnd).y, before.y + 15);
  // The new size is painted and shown.
  EXPECT_TRUE(
      eventually(xd, [&] { return screen().at(199, 149) == system->surface(hwnd).at(199, 149); }));
}

TEST_F(X11Host, AWindowUnmappedByAnotherClientIsMinimisedUntilMappedAgain) {
  open_host(kFramed, Rect{0, 0, 320, 240});
  const Window w = static_cast<Window>(backend.x_window(hwnd));
  XUnmapWindow(xd, w);
  ASSERT_TRUE(eventually(xd, [&] { return system->is_minimized(hwnd); }));
  XMapWindow(xd, w);
  // The size message comes after the record has changed.
  ASSERT_TRUE(eventually(xd, [&] {
    const auto sizes = seen(kMsgSize);
    return !system->is_minimized(hwnd) && sizes.size() >= 3 && sizes.back().wparam == kSizeRestored;
  }));
  const auto sizes = seen(kMsgSize);
  EXPECT_EQ(sizes[sizes.size() - 2].wparam, kSizeMinimized);
  EXPECT_EQ(sizes.back().wparam, kSizeRestored);
}

TEST_F(X11Host, TheCloseBoxClosesTheWindow) {
  open_host(kFramed, Rect{0, 0, 320, 240});
  press_close_box(xd, static_cast<Window>(backend.x_window(hwnd)));
  EXPECT_TRUE(eventually(xd, [&] { return !system->is_window(hwnd); }));
  EXPECT_EQ(seen(kMsgClose).size(), 1u);
  EXPECT_EQ(backend.x_window(hwnd), 0u);
}

TEST_F(X11Host, ClipboardTextTravelsBothWaysThroughTheClipboardSelection) {
  open_host(kFramed, Rect{0, 0, 320, 240});
  const std::string copied =
      "Gr\xC3\xBC\xC3\x9F"
      "e 1.5e-3";
  ASSERT_TRUE(backend.set_clipboard_text(copied));
  std::string mine;
  ASSERT_TRUE(backend.clipboard_text(mine));
  EXPECT_EQ(mine, copied);
  EXPECT_EQ(run("xclip -selection clipboard -o"), copied);
  // Old clients asking for STRING get Latin-1.
  EXPECT_EQ(run("xclip -selection clipboard -o -target STRING"),
            "Gr\xFC\xDF"
            "e 1.5e-3");

  // xclip takes the selection and serves one request in the background, then ends.
  ASSERT_TRUE(run("printf 'from xclip' | xclip -selection clipboard -i -loops 1 >/dev/null 2>&1"));
  std::string pasted;
  ASSERT_TRUE(
      eventually(xd, [&] { return backend.clipboard_text(pasted) && pasted == "from xclip"; }));
}

}  // namespace
}  // namespace x11_test
