#include "toolkit/guikit.hpp"

#include <string>

#include "numerics/stringlib.hpp"
#include "toolkit/buttons.hpp"
#include "toolkit/controls.hpp"
#include "toolkit/dialogs.hpp"
#include "toolkit/drawing.hpp"
#include "toolkit/drawing_state.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/image_files.hpp"
#include "toolkit/menus.hpp"
#include "toolkit/scrollbars.hpp"
#include "toolkit/text.hpp"

namespace guikit {
namespace {

// The NUL-terminated text the toolkit receives: without trailing blanks, or whole.
std::string text_in(std::string_view text, bool trim = true) {
  return trim ? stringlib::trim(text) : std::string(text);
}

// An optional text taken as `width` characters (cut or padded), then trimmed; `absent` when
// it is not given.
std::string fixed_in(Text text, int32_t width, std::string_view absent) {
  return text ? stringlib::trim(stringlib::fixed(*text, width)) : std::string(absent);
}

// The variable filled from a NUL-terminated buffer: the text up to the NUL, then blanks to the
// variable's length.
void text_out(std::string& variable, const std::string& buffer) {
  const size_t n = variable.size();
  variable.assign(buffer.c_str());
  variable.resize(n, ' ');
}

int32_t flag(bool b) { return b ? 1 : 0; }

}  // namespace

void reset() {
  int_dbflag = false;
  int_closeflag = true;
}

int32_t initwindow(int32_t width,
                   int32_t height,
                   Text title,
                   std::optional<int32_t> left,
                   std::optional<int32_t> top,
                   std::optional<bool> dbflag,
                   std::optional<bool> closeflag) {
  if (dbflag) int_dbflag = *dbflag;
  if (closeflag) int_closeflag = *closeflag;
  const std::string t = title ? text_in(title->substr(0, 255)) : std::string(kDefaultTitle);
  const int32_t index = gk::initwindow(width,
                                       height,
                                       t.c_str(),
                                       left.value_or(gk::kDefaultPos),
                                       top.value_or(gk::kDefaultPos),
                                       flag(int_dbflag),
                                       flag(int_closeflag));
  gk::setcurrentwindow(index);
  return index;
}

void closewindow(std::optional<int32_t> index) { gk::closewindow(index.value_or(-2)); }

void enablewindow(int32_t index, int32_t on) { gk::enablewindow(index, on == 1 ? 1 : 0); }

void setwindowsystemclosecallback(gk::CloseQuery callback) {
  gk::setwindowsystemclosecallback_ptr(&callback);
}

int32_t addmenu(std::string_view text, std::optional<int32_t> parent) {
  return gk::addmenu(text_in(text).c_str(), parent.value_or(-1));
}

int32_t addmenuitem(std::string_view text, int32_t menu, gk::Callback callback) {
  return gk::addmenuitem_ptr(text_in(text).c_str(), menu, &callback);
}

void enablemenuitem(int32_t id, bool enabled) { gk::EnableControl(gk::kKindMenuItem, id, flag(enabled)); }

void dlgmessage(int32_t kind, std::string_view text) {
  gk::dlgmessage(kind, text_in(text).c_str());
}

bool dlgyesno(int32_t kind, std::string_view text) {
  return gk::dlgyesno(kind, text_in(text).c_str()) == 1;
}

int32_t createbutton(int32_t left,
                     int32_t top,
                     int32_t width,
                     int32_t height,
                     std::string_view text,
                     gk::Callback callback) {
  return gk::createbutton_ptr(left, top, width, height, text_in(text).c_str(), &callback);
}

void enablebutton(int32_t id, bool enabled) {
  gk::EnableControl(gk::kKindButton, id, flag(enabled));
}

void removebutton(int32_t id) { gk::removebutton(id); }

int32_t createcheckbox_handler(int32_t left,
                               int32_t top,
                               int32_t width,
                               int32_t height,
                               std::string_view text,
                               gk::Callback callback) {
  return gk::createcheckbox_ptr(left, top, width, height, text_in(text).c_str(), &callback);
}

int32_t createcheckbox_nohandler(
    int32_t left, int32_t top, int32_t width, int32_t height, std::string_view text) {
  return gk::createcheckbox_ptr(left, top, width, height, text_in(text).c_str(), nullptr);
}

int32_t createradiobutton_handler(int32_t left,
                                  int32_t top,
                                  int32_t width,
                                  int32_t height,
                                  std::string_view text,
                                  gk::Callback callback) {
  return gk::createradiobutton_ptr(left, top, width, height, text_in(text).c_str(), &callback);
}

int32_t createradiobutton_nohandler(
    int32_t left, int32_t top, int32_t width, int32_t height, std::string_view text) {
  return gk::createradiobutton_ptr(left, top, width, height, text_in(text).c_str(), nullptr);
}

void checkboxsetchecked(int32_t id, bool checked) { gk::checkboxsetchecked(id, flag(checked)); }

void radiobuttonsetchecked(int32_t id, bool checked) {
  gk::radiobuttonsetchecked(id, flag(checked));
}

void setbuttontext(int32_t id, std::string_view text, std::optional<bool> trim) {
  gk::SetControlText(id, text_in(text, trim.value_or(false)).c_str());
}
void setcheckboxtext(int32_t id, std::string_view text, std::optional<bool> trim) {
  setbuttontext(id, text, trim);
}
void setradiobuttontext(int32_t id, std::string_view text, std::optional<bool> trim) {
  setbuttontext(id, text, trim);
}

void setcontrolvisible(std::string_view kind, int32_t id, bool visible) {
  gk::SetControlVisible_(text_in(kind).c_str(), id, flag(visible));
}
void setbuttonvisible(int32_t id, bool visible) { setcontrolvisible(gk::kKindButton, id, visible); }
void setcheckboxvisible(int32_t id, bool visible) { setbuttonvisible(id, visible); }
void setradiobuttonvisible(int32_t id, bool visible) { setbuttonvisible(id, visible); }
void setscrollbarvisible(int32_t id, bool visible) {
  setcontrolvisible(gk::kKindScrollBar, id, visible);
}

bool getbuttonposition(int32_t id, int32_t* left, int32_t* top, int32_t* width, int32_t* height) {
  return gk::GetPosition(gk::kKindButton, id, left, top, width, height) == 1;
}
bool getcheckboxposition(int32_t id, int32_t* left, int32_t* top, int32_t* width, int32_t* height) {
  return getbuttonposition(id, left, top, width, height);
}
bool getradiobuttonposition(
    int32_t id, int32_t* left, int32_t* top, int32_t* width, int32_t* height) {
  return getbuttonposition(id, left, top, width, height);
}
bool getscrollbarposition(
    int32_t id, int32_t* left, int32_t* top, int32_t* width, int32_t* height) {
  return gk::GetPosition(gk::kKindScrollBar, id, left, top, width, height) == 1;
}

int32_t createscrollbar(int32_t left,
                        int32_t top,
                        int32_t width,
                        int32_t height,
                        int32_t orientation,
                        gk::ScrollCallbackRef callback) {
  return gk::createscrollbar_ptr(left, top, width, height, orientation, &callback);
}

bool requestfiledialog(
    bool mode, std::string& filename, Text description, Text extension, Text title) {
  const size_t n = filename.size();
  if (n == 0) return false;  // no room for a name
  // Step 1: a NUL after the trimmed name, over its last character when the name fills it.
  std::string buffer = filename;
  buffer[std::min(static_cast<size_t>(stringlib::s_len_trim(filename)), n - 1)] = '\0';
  // Step 2.
  const std::string ext = fixed_in(extension, 64, "");
  const std::string desc = extension ? fixed_in(description, 64, "") : std::string();
  const std::string t = fixed_in(title, 64, mode ? " File" : "Save File");
  // Step 3.
  const int32_t chosen = gk::RequestFileDialog(
      flag(mode), t.c_str(), buffer.data(), static_cast<int32_t>(n), desc.c_str(), ext.c_str());
  // Step 4: the variable is touched only when a file was chosen.
  if (chosen != 1) return false;
  text_out(filename, buffer);
  return true;
}

bool dlgopenfile(std::string& filename, Text description, Text extension, Text title) {
  return requestfiledialog(true, filename, description, extension, title);
}

bool dlgsavefile(std::string& filename, Text description, Text extension, Text title) {
  return requestfiledialog(false, filename, description, extension, title);
}

bool dlgrequesttext(std::string& text, Text title, Text prompt, std::optional<bool> password) {
  // Step 1.
  std::string buffer = stringlib::trim(text);
  buffer.resize(text.size() + 1, '\0');
  // Step 2.
  const std::string t = fixed_in(title, 128, "Input Requested");
  const std::string p = fixed_in(prompt, 128, "");
  // Step 3.
  const int32_t length = static_cast<int32_t>(buffer.size());
  const bool ok = gk::dlgrequesttext_generic(
      buffer.data(), length, t.c_str(), p.c_str(), password.value_or(false));
  // Step 4.
  if (ok) text_out(text, buffer);
  return ok;
}

bool dlgrequestpassword(std::string& text, Text title, Text prompt) {
  return dlgrequesttext(text, title, prompt, true);
}

int32_t dlgrequestselection(const std::vector<std::string>& options, Text title, Text prompt) {
  std::string packed;
  for (const std::string& o : options) {
    packed += stringlib::trim(o);
    packed += '\0';
  }
  packed += '\0';
  const std::string t = fixed_in(title, 128, "Input Requested");
  const std::string p = fixed_in(prompt, 128, "");
  const int32_t chosen = gk::dlgrequestselection(packed.c_str(), t.c_str(), p.c_str());
  return chosen < 0 ? -1 : chosen + 1;
}

void setviewport(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t clip) {
  gk::setviewport(left, top, right, bottom, clip);
}

void setfillstyle(int32_t pattern, int32_t color, std::optional<int32_t> transparency) {
  if (transparency) gk::setfilltransparency(*transparency);
  gk::setfillstyle(pattern, color);
}

void clearviewport() { gk::clearviewport(); }

void refreshall() { gk::refreshall(); }

void settextstyle(int32_t font,
                  int32_t direction,
                  int32_t size,
                  std::optional<int32_t> transparency) {
  gk::settextstyle(font, direction, size);
  if (transparency) gk::settexttransparency(*transparency);
}

void outtextxy(int32_t x, int32_t y, std::string_view text, std::optional<bool> trim) {
  gk::outtextxy(x, y, text_in(text, trim.value_or(true)).c_str());
}

void setlinestyle(int32_t style,
                  int32_t pattern,
                  int32_t thickness,
                  std::optional<int32_t> transparency) {
  gk::setlinestyle(style, static_cast<uint16_t>(pattern), thickness);
  if (transparency) gk::setlinetransparency(*transparency);
}

void setcolor(int32_t color) { gk::setcolor(color); }
void setbkcolor(int32_t color) { gk::setbkcolor(color); }
void moveto(int32_t x, int32_t y) { gk::moveto(x, y); }
void lineto(int32_t x, int32_t y) { gk::lineto(x, y); }
void line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) { gk::line(x1, y1, x2, y2); }

int32_t textwidth(std::string_view text, std::optional<bool> trim) {
  return gk::textwidth(text_in(text, trim.value_or(true)).c_str());
}

void printimage(Text title,
                std::optional<int32_t> left,
                std::optional<int32_t> top,
                std::optional<int32_t> right,
                std::optional<int32_t> bottom,
                std::optional<bool> active_page) {
  const std::string t = title ? text_in(*title) : std::string();
  gk::printimage(t.c_str(),
                 left.value_or(0),
                 top.value_or(0),
                 right.value_or(gk::getmaxx()),
                 bottom.value_or(gk::getmaxy()),
                 flag(active_page.value_or(true)));
}

void writeimagefile(Text filename,
                    std::optional<int32_t> left,
                    std::optional<int32_t> top,
                    std::optional<int32_t> right,
                    std::optional<int32_t> bottom,
                    std::optional<bool> active_page) {
  gk::viewporttype view{};
  gk::getviewsettings(&view);
  const std::string name = filename ? text_in(*filename) : std::string();
  gk::writeimagefile(name.c_str(),
                     left.value_or(0),
                     top.value_or(0),
                     right.value_or(view.right),
                     bottom.value_or(view.bottom),
                     flag(active_page.value_or(false)));
}

}  // namespace guikit
