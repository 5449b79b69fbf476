#include "toolkit/guikit.hpp"

#include <string>

#include "numerics/stringlib.hpp"
#include "toolkit/buttons.hpp"
#include "toolkit/dialogs.hpp"
#include "toolkit/drawing.hpp"
#include "toolkit/drawing_state.hpp"
#include "toolkit/text.hpp"

namespace guikit {
namespace {

// The NUL-terminated text the toolkit receives: without trailing blanks, or whole.
std::string text_in(std::string_view text, bool trim = true) {
  return trim ? stringlib::trim(text) : std::string(text);
}

}  // namespace

void dlgmessage(int32_t kind, std::string_view text) {
  gk::dlgmessage(kind, text_in(text).c_str());
}

bool dlgyesno(int32_t kind, std::string_view text) {
  return gk::dlgyesno(kind, text_in(text).c_str()) == 1;
}

int32_t createbutton(int32_t left, int32_t top, int32_t width, int32_t height,
                     std::string_view text, gk::Callback callback) {
  return gk::createbutton_ptr(left, top, width, height, text_in(text).c_str(), &callback);
}

void enablebutton(int32_t id, bool enabled) { gk::enablebutton(id, enabled ? 1 : 0); }

void removebutton(int32_t id) { gk::removebutton(id); }

void clearviewport() { gk::clearviewport(); }

void refreshall() { gk::refreshall(); }

void settextstyle(int32_t font, int32_t direction, int32_t size,
                  std::optional<int32_t> transparency) {
  gk::settextstyle(font, direction, size);
  if (transparency) gk::settexttransparency(*transparency);
}

void outtextxy(int32_t x, int32_t y, std::string_view text, std::optional<bool> trim) {
  gk::outtextxy(x, y, text_in(text, trim.value_or(true)).c_str());
}

void setlinestyle(int32_t style, int32_t pattern, int32_t thickness,
                  std::optional<int32_t> transparency) {
  gk::setlinestyle(style, static_cast<uint16_t>(pattern), thickness);
  if (transparency) gk::setlinetransparency(*transparency);
}

void setcolor(int32_t color) { gk::setcolor(color); }
void setbkcolor(int32_t color) { gk::setbkcolor(color); }
void moveto(int32_t x, int32_t y) { gk::moveto(x, y); }
void lineto(int32_t x, int32_t y) { gk::lineto(x, y); }
void line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) { gk::line(x1, y1, x2, y2); }

}  // namespace guikit
