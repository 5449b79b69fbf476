#include "platform/windowed/message_box.hpp"

#include <algorithm>
#include <vector>

#include "platform/controls/control_classes.hpp"
#include "platform/controls/edit_layout.hpp"
#include "platform/text/text_convert.hpp"
#include "platform/text/text_layout.hpp"
#include "platform/windowed/dialog_icon.hpp"
#include "platform/windowed/dialog_window.hpp"

namespace platform {
namespace {

// Layout in pixels: the classic box's margins and its 75 x 23 buttons.
constexpr int32_t kMargin = 12;
constexpr int32_t kIconGap = 12;   // icon to text
constexpr int32_t kButtonGap = 6;  // between buttons
constexpr int32_t kBodyGap = 14;   // text or icon to the buttons
constexpr int32_t kButtonWidth = 75;
constexpr int32_t kButtonHeight = 23;

struct ButtonSpec {
  const char* caption;
  DialogAnswer answer;
};

std::vector<ButtonSpec> buttons_of(DialogButtons buttons) {
  switch (buttons) {
    case DialogButtons::Ok:
      return {{"OK", DialogAnswer::Ok}};
    case DialogButtons::OkCancel:
      return {{"OK", DialogAnswer::Ok}, {"Cancel", DialogAnswer::Cancel}};
    case DialogButtons::YesNo:
      return {{"Yes", DialogAnswer::Yes}, {"No", DialogAnswer::No}};
    case DialogButtons::YesNoCancel:
      return {
          {"Yes", DialogAnswer::Yes}, {"No", DialogAnswer::No}, {"Cancel", DialogAnswer::Cancel}};
  }
  return {{"OK", DialogAnswer::Ok}};
}

bool blank(char16_t c) { return c == u' ' || c == u'\t'; }

// The text as the box shows it: as given when no line needs wrapping, else cut into rows at
// word boundaries (the rows of a text field), the blanks at each cut dropped, joined by line
// feeds. `extent` receives its size, TABs at the static control's tab stops; the blanks that
// end a row count for nothing, so a blank-padded field in a message does not widen the box.
std::string shown_text(const Font& font,
                       const std::string& text,
                       int32_t width,
                       TextExtent& extent) {
  const int tab = tab_stop_width(font);
  std::u16string wide = utf8_to_utf16(text);
  // The rows break at line feeds only: CR LF and CR become one.
  for (size_t i = 0; i < wide.size(); ++i)
    if (wide[i] == u'\r') {
      if (i + 1 < wide.size() && wide[i + 1] == u'\n')
        wide.erase(i, 1);
      else
        wide[i] = u'\n';
    }
  // A TAB is wrapped as a whole tab stop wide, the most it can take.
  const edit_layout::Advance glyphs = edit_layout::font_advance(font, wide);
  const edit_layout::Advance advance = [&](int32_t i) {
    return wide[i] == u'\t' ? tab : glyphs(i);
  };
  const std::vector<edit_layout::Row> rows = edit_layout::layout(wide, advance, width);
  std::u16string joined;
  bool wrapped = false;
  for (size_t r = 0; r < rows.size(); ++r) {
    int32_t end = rows[r].end;
    while (end > rows[r].start && blank(wide[end - 1])) --end;
    wrapped = wrapped || rows[r].soft;
    if (r > 0) joined += u'\n';
    joined += wide.substr(rows[r].start, end - rows[r].start);
  }
  extent = measure_text(font, joined, tab);
  return wrapped ? utf16_to_utf8(joined) : text;
}

// Where the parts of the box go, in client pixels.
struct Layout {
  Size client;
  Point icon;
  Rect text;
  int32_t buttons_left = 0, buttons_top = 0;
};

Layout lay_out(const WindowSystem& system,
               const MessageBoxRequest& request,
               TextExtent text,
               size_t buttons,
               const Font& font) {
  const bool icon = request.icon != DialogIcon::None;
  const int32_t n = static_cast<int32_t>(buttons);
  const int32_t row = n * kButtonWidth + (n - 1) * kButtonGap;
  const int32_t text_left = kMargin + (icon ? kDialogIconSize + kIconGap : 0);
  // The caption holds the title and the close box.
  const int32_t title = measure_text(font, utf8_to_utf16(request.title)).width +
                        system.metric(Metric::CxSmIcon) + 2 + 2 * kMargin;
  Layout l;
  l.client.width = std::max({text_left + text.width + kMargin, row + 2 * kMargin, title});
  const int32_t body = std::max(icon ? kDialogIconSize : 0, text.height);
  l.icon = {kMargin, kMargin};
  const int32_t text_top = kMargin + (body - text.height) / 2;
  l.text = Rect{text_left, text_top, text_left + text.width, text_top + text.height};
  l.buttons_top = kMargin + body + kBodyGap;
  l.buttons_left = (l.client.width - row) / 2;
  l.client.height = l.buttons_top + kButtonHeight + kMargin;
  return l;
}

}  // namespace

DialogAnswer cancel_answer(DialogButtons buttons) {
  switch (buttons) {
    case DialogButtons::Ok:
      return DialogAnswer::Ok;
    case DialogButtons::YesNo:
      return DialogAnswer::No;
    case DialogButtons::OkCancel:
    case DialogButtons::YesNoCancel:
      return DialogAnswer::Cancel;
  }
  return DialogAnswer::Cancel;
}

DialogAnswer show_message_box(WindowSystem& system,
                              const MessageBoxRequest& request,
                              const std::function<void(Hwnd)>& shown) {
  const std::shared_ptr<const Font> dialog_font = DialogWindow::dialog_font();
  const Font& font = *dialog_font;
  const int32_t wrap = std::max(kMessageMinWrap, system.metric(Metric::CxScreen) / 2);
  TextExtent extent;
  const std::string text = shown_text(font, request.text, wrap, extent);
  const std::vector<ButtonSpec> buttons = buttons_of(request.buttons);
  const Layout l = lay_out(system, request, extent, buttons.size(), font);

  DialogWindow dialog(system,
                      DialogFrame{request.owner, request.title, l.client, std::nullopt, shown});
  dialog.add({kClassStatic, text, kSsLeft, l.text, kMessageTextId});
  for (size_t i = 0; i < buttons.size(); ++i) {
    const int32_t x = l.buttons_left + static_cast<int32_t>(i) * (kButtonWidth + kButtonGap);
    const uint32_t style = i == 0 ? kBsDefPushButton | kStyleGroup : kBsPushButton;
    dialog.add({kClassButton,
                buttons[i].caption,
                style | kStyleTabStop,
                Rect{x, l.buttons_top, x + kButtonWidth, l.buttons_top + kButtonHeight},
                static_cast<int32_t>(buttons[i].answer)});
  }
  dialog.on_paint([&](Page& surface, const Rect& update) {
    draw_dialog_icon(surface, request.icon, l.icon, update);
  });
  dialog.on_command([&](int32_t id, uint32_t code) {
    if (code == kBnClicked && id != kMessageTextId) dialog.end(id);
  });
  dialog.set_cancel_result(static_cast<int32_t>(cancel_answer(request.buttons)));
  return static_cast<DialogAnswer>(dialog.run(static_cast<int32_t>(buttons.front().answer)));
}

}  // namespace platform
