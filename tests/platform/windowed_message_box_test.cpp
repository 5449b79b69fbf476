// The windowed message box and the modal frame under it: what the box shows, how it is
// answered, what happens to its owner and to the thread that asked.
#include <cstdlib>

#include "gfx_pages.hpp"
#include "platform/image/bmp.hpp"
#include "platform/text/text_convert.hpp"
#include "platform/text/text_layout.hpp"
#include "platform/windowed/dialog_icon.hpp"
#include "platform/windowed/dialog_window.hpp"
#include "platform/windowed/message_box.hpp"
#include "support/temp_dir.hpp"
#include "windowed_fixture.hpp"

namespace {

using namespace platform;
using gfx_test::count;
using platform_test::WindowedHost;

using WindowedMessageBox = WindowedHost;

constexpr Pixel kFace = 0xC0C0C0, kBlack = 0x000000;

MessageBoxRequest box(std::string text,
                      DialogButtons buttons = DialogButtons::YesNo,
                      DialogIcon icon = DialogIcon::Question,
                      Hwnd owner = 0) {
  return MessageBoxRequest{owner, "Confirm model", std::move(text), icon, buttons};
}

// Pixels of text (glyph edges are blended, so "dark" rather than black).
int dark(const Page& page, const Rect& r) {
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) {
      const Pixel p = page.at(x, y);
      n += ((p >> 16) & 0xFF) < 0x60 && ((p >> 8) & 0xFF) < 0x60 && (p & 0xFF) < 0x60;
    }
  return n;
}

TEST_F(WindowedMessageBox, ShowsTheTitleTextAndButtonsOfTheRequest) {
  struct Case {
    const char* name;
    DialogButtons buttons;
    std::vector<std::string> captions;
  };
  const Case cases[] = {
      {"OK", DialogButtons::Ok, {"OK"}},
      {"OK Cancel", DialogButtons::OkCancel, {"OK", "Cancel"}},
      {"Yes No", DialogButtons::YesNo, {"Yes", "No"}},
      {"Yes No Cancel", DialogButtons::YesNoCancel, {"Yes", "No", "Cancel"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MessageBoxRequest r = box("Y = P1*X1/(P2+X1)\r\nIs this the model?", c.buttons);
    r.title = "Message";
    auto t = ask([&] { dialogs.message_box(r); });
    const Hwnd d = next_dialog();
    ASSERT_NE(d, 0u);
    EXPECT_EQ(system.text(d), "Message");
    EXPECT_EQ(system.class_name(d), kClassDialog);
    EXPECT_EQ(system.text(control(d, kClassStatic)), r.text);  // as given: nothing to wrap
    // The buttons in order from left to right, on one row, the first the default.
    std::vector<std::string> captions;
    int32_t last_left = -1, top = -1;
    for (Hwnd b : system.children(d)) {
      if (system.class_name(b) != kClassButton) continue;
      captions.push_back(system.text(b));
      const Rect f = system.frame_rect(b);
      EXPECT_GT(f.left, last_left);
      EXPECT_TRUE(top < 0 || f.top == top);
      last_left = f.left, top = f.top;
      EXPECT_EQ(system.style(b) & kBsTypeMask,
                captions.size() == 1 ? kBsDefPushButton : kBsPushButton);
    }
    EXPECT_EQ(captions, c.captions);
    EXPECT_EQ(system.focus(), control(d, kClassButton, c.captions[0]));
    key(d, kVkReturn);
    ASSERT_TRUE(finished(t));
  }
}

TEST_F(WindowedMessageBox, IsAnsweredByItsButtonsTheDefaultTheCloseBoxAndEscape) {
  struct Case {
    DialogButtons buttons;
    const char* how;
    DialogAnswer expected;
  };
  const Case cases[] = {
      {DialogButtons::YesNo, "Yes", DialogAnswer::Yes},
      {DialogButtons::YesNo, "No", DialogAnswer::No},
      {DialogButtons::YesNo, "Enter", DialogAnswer::Yes},  // the default
      {DialogButtons::YesNo, "Tab Enter", DialogAnswer::No},
      {DialogButtons::YesNo, "Escape", DialogAnswer::No},
      {DialogButtons::YesNo, "close box", DialogAnswer::No},
      {DialogButtons::YesNoCancel, "Cancel", DialogAnswer::Cancel},
      {DialogButtons::YesNoCancel, "Escape", DialogAnswer::Cancel},
      {DialogButtons::YesNoCancel, "close box", DialogAnswer::Cancel},
      {DialogButtons::OkCancel, "close box", DialogAnswer::Cancel},
      {DialogButtons::OkCancel, "Enter", DialogAnswer::Ok},
      {DialogButtons::Ok, "Escape", DialogAnswer::Ok},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.buttons)) + " " + c.how);
    DialogAnswer answer = DialogAnswer::None;
    auto t = ask([&] { answer = dialogs.message_box(box("Fit this model?", c.buttons)); });
    const Hwnd d = next_dialog();
    ASSERT_NE(d, 0u);
    answer_by(d, c.how);
    ASSERT_TRUE(finished(t));
    EXPECT_EQ(answer, c.expected);
    EXPECT_FALSE(system.is_window(d));  // the box is gone with its answer
  }
}

TEST_F(WindowedMessageBox, BlocksAnotherThreadWhileItsOwnerIsDisabled) {
  open_owner();
  std::atomic<bool> returned{false};
  auto t = ask([&] {
    dialogs.message_box(box("Continue?", DialogButtons::YesNo, DialogIcon::Question, owner));
    returned = true;
  });
  const Hwnd d = next_dialog();
  ASSERT_NE(d, 0u);
  EXPECT_FALSE(returned);
  EXPECT_FALSE(system.is_enabled(owner));
  EXPECT_EQ(system.active_window(), d);
  // Centred on the owner.
  const Rect of = system.frame_rect(owner), df = system.frame_rect(d);
  EXPECT_LE(std::abs((of.left + of.right) - (df.left + df.right)), 1);
  EXPECT_LE(std::abs((of.top + of.bottom) - (df.top + df.bottom)), 1);
  // The owner takes no input meanwhile, not even the window manager's close request, but its
  // thread goes on serving it.
  InputEvent close;
  close.kind = InputKind::CloseRequest;
  close.window = owner;
  system.deliver_input(close);
  EXPECT_TRUE(user.settle(owner));
  EXPECT_TRUE(system.is_window(owner));
  EXPECT_EQ(system.send_message(owner, kMsgPing), 42);
  click(control(d, kClassButton, "No"));
  ASSERT_TRUE(finished(t));
  EXPECT_TRUE(returned);
  EXPECT_TRUE(system.is_enabled(owner));
  EXPECT_EQ(system.active_window(), owner);
}

TEST_F(WindowedMessageBox, RunsInlineOnTheOwnersThreadWhichKeepsServingItsWindows) {
  open_owner();
  std::atomic<int32_t> answer{-1};
  std::atomic<ThreadId> asked_on{0}, owner_thread{0};
  post_to_owner([&] {
    asked_on = current_thread_id();
    owner_thread = system.window_thread(owner);
    answer = static_cast<int32_t>(
        dialogs.message_box(box("Go?", DialogButtons::YesNo, DialogIcon::None, owner)));
  });
  const Hwnd d = next_dialog();
  ASSERT_NE(d, 0u);
  EXPECT_EQ(system.window_thread(d), system.window_thread(owner));  // made on the asking thread
  EXPECT_EQ(asked_on.load(), owner_thread.load());
  // The owner's thread is inside the dialog's loop and still answers what it is sent.
  EXPECT_EQ(system.send_message(owner, kMsgPing), 42);
  EXPECT_EQ(pings_served, 1);
  EXPECT_FALSE(system.is_enabled(owner));
  click(control(d, kClassButton, "Yes"));
  ASSERT_TRUE(user.settle(owner));
  EXPECT_EQ(answer, static_cast<int32_t>(DialogAnswer::Yes));
  EXPECT_TRUE(system.is_enabled(owner));
}

TEST_F(WindowedMessageBox, AQuitRequestEndsTheBoxAndReachesTheThreadsOwnLoop) {
  open_owner();
  std::atomic<int32_t> answer{-1};
  post_to_owner([&] {
    answer = static_cast<int32_t>(
        dialogs.message_box(box("Go?", DialogButtons::YesNo, DialogIcon::None, owner)));
  });
  const Hwnd d = next_dialog();
  ASSERT_NE(d, 0u);
  // A quit request made on the owner's thread while the box runs there.
  Event quit_posted;
  std::function<void()> quit = [&] {
    system.post_quit_message(3);
    quit_posted.set();
  };
  system.send_message(owner, kMsgRun, 0, reinterpret_cast<int64_t>(new std::function(quit)));
  ASSERT_TRUE(quit_posted.wait(kWaitMs));
  // The box ended as closed, and the owner's own loop took the quit request after it.
  ASSERT_TRUE(owner_thread_ends());
  EXPECT_TRUE(owner_loop_ended);
  EXPECT_EQ(answer, static_cast<int32_t>(DialogAnswer::No));
  EXPECT_FALSE(system.is_window(d));
}

TEST_F(WindowedMessageBox, LongTextIsWrappedToHalfTheScreenAndItsLineBreaksKept) {
  std::string words;
  for (int i = 0; i < 60; ++i) words += "parameter ";
  const std::string text = "Heading\n" + words + "end";
  auto t = ask([&] { dialogs.message_box(box(text, DialogButtons::Ok, DialogIcon::Information)); });
  const Hwnd d = next_dialog();
  ASSERT_NE(d, 0u);
  const Hwnd label = control(d, kClassStatic);
  const std::string shown_text = system.text(label);
  // The heading's own break stays; the wrapping breaks replace single blanks.
  ASSERT_EQ(shown_text.size(), text.size());
  int breaks = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    breaks += shown_text[i] == '\n';
    EXPECT_TRUE(shown_text[i] == text[i] || (shown_text[i] == '\n' && text[i] == ' ')) << i;
  }
  EXPECT_GE(breaks, 2);
  const std::u16string wide = utf8_to_utf16(shown_text);
  const TextExtent e = measure_text(*DialogWindow::dialog_font(), wide);
  EXPECT_LE(e.width, 1024 / 2);
  EXPECT_GT(e.width, 1024 / 2 - 100);
  EXPECT_LE(e.width, system.frame_rect(label).width());
  EXPECT_GE(system.frame_rect(label).height(), e.height);
  key(d, kVkReturn);
  ASSERT_TRUE(finished(t));
}

// A blank-padded field (a file name in its 512-character field) takes no room in the box, and
// a TAB moves the text on to the next tab stop instead of showing a missing-glyph box.
TEST_F(WindowedMessageBox, TrailingBlanksTakeNoRoomAndTabsReachTheNextStop) {
  struct Shown {
    Page page;
    Rect text;  // the text's control
  };
  auto show = [&](const std::string& text) {
    Shown s;
    auto t = ask([&] { dialogs.message_box(box(text, DialogButtons::Ok, DialogIcon::Error)); });
    const Hwnd d = next_dialog();
    EXPECT_NE(d, 0u);
    if (d == 0) return s;
    s.page = shown(d);
    s.text = system.frame_rect(control(d, kClassStatic));
    key(d, kVkEscape);
    EXPECT_TRUE(finished(t));
    return s;
  };
  const std::string head = "The data file\r\n", tail = "\r\ncannot be read.";
  const Shown plain = show(head + "/data/short.dat" + tail);
  const Shown padded = show(head + "/data/short.dat" + std::string(500, ' ') + tail);
  ASSERT_EQ(padded.page.width(), plain.page.width());
  ASSERT_EQ(padded.page.height(), plain.page.height());
  EXPECT_TRUE(std::equal(plain.page.data(),
                         plain.page.data() + plain.page.width() * plain.page.height(),
                         padded.page.data()));

  // The leftmost column holding ink in a rectangle of a page.
  auto first_ink = [](const Page& p, const Rect& r) {
    for (int x = r.left; x < r.right; ++x)
      if (dark(p, Rect{x, r.top, x + 1, r.bottom}) > 0) return x;
    return -1;
  };
  const int32_t tab = tab_stop_width(*DialogWindow::dialog_font());
  const std::string word = "Wellington Wellington Wellington Wellington";  // wider than the buttons
  const Shown at_margin = show(word);
  const Shown tabbed = show("\t" + word);
  EXPECT_EQ(tabbed.text.width(), at_margin.text.width() + tab);
  EXPECT_EQ(first_ink(tabbed.page, tabbed.text), first_ink(at_margin.page, at_margin.text) + tab);
  EXPECT_EQ(dark(tabbed.page, tabbed.text), dark(at_margin.page, at_margin.text));
}

// The pixels of each box: the icon's colours, the default button's thick border, its caption.
TEST_F(WindowedMessageBox, DrawsTheIconDefaultButtonAndCaptions) {
  struct Case {
    DialogIcon icon;
    const char* name;
  };
  const Case cases[] = {{DialogIcon::Information, "information"},
                        {DialogIcon::Warning, "warning"},
                        {DialogIcon::Error, "error"},
                        {DialogIcon::Question, "question"},
                        {DialogIcon::None, "none"}};
  Page sheet(5 * 360, 160);
  sheet.fill(0xFFFFFF);
  int32_t x0 = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto t = ask([&] {
      dialogs.message_box(box(std::string("Icon: ") + c.name, DialogButtons::YesNo, c.icon));
    });
    const Hwnd d = next_dialog();
    ASSERT_NE(d, 0u);
    const Page p = shown(d);
    ASSERT_GT(p.width(), 0);
    const Rect icon{12, 12, 12 + kDialogIconSize, 12 + kDialogIconSize};
    if (c.icon == DialogIcon::None) {
      for (DialogIcon other : {DialogIcon::Information, DialogIcon::Warning, DialogIcon::Error})
        EXPECT_EQ(count(p, icon, dialog_icon_colour(other)), 0);  // no icon, and no room for one
      EXPECT_EQ(system.frame_rect(control(d, kClassStatic)).left, 12);
    } else {
      // The icon's own colour fills much of its box (a disc or a triangle), with its mark.
      EXPECT_GT(count(p, icon, dialog_icon_colour(c.icon)), 250);
      EXPECT_GT(system.frame_rect(control(d, kClassStatic)).left, icon.right);
    }
    // The default button "Yes" has a black outer frame; "No" starts with its white bevel.
    const Rect yes = system.frame_rect(control(d, kClassButton, "Yes"));
    const Rect no = system.frame_rect(control(d, kClassButton, "No"));
    EXPECT_EQ(p.at(yes.left, yes.top), kBlack);
    EXPECT_EQ(p.at(yes.right - 1, yes.top + 5), kBlack);
    EXPECT_EQ(p.at(yes.left + 1, yes.top + 1), 0xFFFFFFu);
    EXPECT_EQ(p.at(no.left, no.top), 0xFFFFFFu);
    // Each caption is drawn: dark text pixels in the middle of the button.
    const Rect yes_mid{yes.left + 20, yes.top + 5, yes.right - 20, yes.bottom - 5};
    EXPECT_GT(dark(p, yes_mid), 10);
    const Rect no_mid{no.left + 20, no.top + 5, no.right - 20, no.bottom - 5};
    EXPECT_GT(dark(p, no_mid), 5);
    // The text beside the icon is drawn too.
    EXPECT_GT(dark(p, system.frame_rect(control(d, kClassStatic))), 20);
    for (int y = 0; y < std::min(p.height(), sheet.height()); ++y)
      for (int x = 0; x < std::min(p.width(), 350); ++x) sheet.at(x0 + x, y) = p.at(x, y);
    x0 += 360;
    key(d, kVkEscape);
    ASSERT_TRUE(finished(t));
  }
  const testsupport::TempDir dir;
  ASSERT_TRUE(write_bmp24(dir.file("message_boxes.bmp"), sheet));
  if (const char* keep = std::getenv("VARQEN_DIALOGS_BMP")) write_bmp24(keep, sheet);
}

TEST_F(WindowedMessageBox, TwoThreadsAskAtOnceAndEachGetsItsOwnAnswer) {
  DialogAnswer first = DialogAnswer::None, second = DialogAnswer::None;
  auto t1 = ask([&] { first = dialogs.message_box(box("First?")); });
  const Hwnd d1 = next_dialog();
  auto t2 = ask([&] { second = dialogs.message_box(box("Second?")); });
  const Hwnd d2 = next_dialog();
  ASSERT_NE(d1, 0u);
  ASSERT_NE(d2, 0u);
  EXPECT_NE(system.window_thread(d1), system.window_thread(d2));
  click(control(d2, kClassButton, "No"));  // the later one first
  ASSERT_TRUE(finished(t2));
  EXPECT_TRUE(system.is_window(d1));
  click(control(d1, kClassButton, "Yes"));
  ASSERT_TRUE(finished(t1));
  EXPECT_EQ(first, DialogAnswer::Yes);
  EXPECT_EQ(second, DialogAnswer::No);
}

TEST(WindowedDialogsProvider, ShowsNothingUntilAttached) {
  WindowedDialogs dialogs;
  EXPECT_EQ(dialogs.message_box(box("Anyone?")), DialogAnswer::None);
  EXPECT_EQ(dialogs.text_entry(TextEntryRequest{}), std::nullopt);
  EXPECT_EQ(dialogs.selection(SelectionRequest{}), std::nullopt);
  EXPECT_EQ(dialogs.print_dialog(PrintDialogRequest{}), std::nullopt);
}

}  // namespace
