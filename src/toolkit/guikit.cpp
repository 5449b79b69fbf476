#include "toolkit/guikit.hpp"

#include <string>

#include "numerics/editfmt.hpp"
#include "numerics/stringlib.hpp"
#include "toolkit/buttons.hpp"
#include "toolkit/clipboard.hpp"
#include "toolkit/controls.hpp"
#include "toolkit/dialogs.hpp"
#include "toolkit/drawing.hpp"
#include "toolkit/drawing_state.hpp"
#include "toolkit/driver_compat.hpp"
#include "toolkit/gk_callbacks.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/image_files.hpp"
#include "toolkit/images.hpp"
#include "toolkit/menus.hpp"
#include "toolkit/mouse.hpp"
#include "toolkit/scrollbars.hpp"
#include "toolkit/text.hpp"
#include "toolkit/textboxes.hpp"

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

// A toolkit text result into a blank-padded variable: the toolkit gets a buffer of the
// variable's length plus one byte; a negative answer leaves the variable as it was.
template <class F>
int32_t text_result(std::string& variable, F&& ask) {
  std::string buffer(variable.size() + 1, '\0');
  const int32_t n = ask(buffer.data(), static_cast<int32_t>(buffer.size()));
  if (n >= 0) text_out(variable, buffer);
  return n;
}

// A number written list-directed, left-adjusted and trimmed.
std::string left_trimmed(std::string text) {
  stringlib::s_adjustl(text);
  return stringlib::trim(text);
}
std::string list_directed(double x) { return left_trimmed(editfmt::format_real("G25.17E3", x)); }
std::string list_directed(int64_t n) { return left_trimmed(editfmt::format_int("I21", n)); }

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

void enablemenuitem(int32_t id, bool enabled) {
  gk::EnableControl(gk::kKindMenuItem, id, flag(enabled));
}

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

int32_t textheight(std::string_view text, std::optional<bool> trim) {
  return gk::textheight(text_in(text, trim.value_or(true)).c_str());
}

void outtext(std::string_view text, std::optional<bool> trim) {
  gk::outtext(text_in(text, trim.value_or(true)).c_str());
}

void setfillpattern(const std::array<uint8_t, 8>& pattern,
                    int32_t color,
                    std::optional<int32_t> transparency) {
  if (transparency) gk::setfilltransparency(*transparency);
  gk::setfillpattern(pattern.data(), color);
}

void getfillpattern(std::array<uint8_t, 8>& pattern) { gk::getfillpattern(pattern.data()); }

void fillpoly(int32_t count, const std::vector<int32_t>& points) {
  if (static_cast<size_t>(count) * 2 <= points.size()) gk::fillpoly(count, points.data());
}

void drawpoly(int32_t count, const std::vector<int32_t>& points) {
  if (static_cast<size_t>(count) * 2 <= points.size()) gk::drawpoly(count, points.data());
}

void settextboxvisible(int32_t id, bool visible) { gk::settextboxvisible(id, flag(visible)); }
void setlistboxvisible(int32_t id, bool visible) { gk::setlistboxvisible(id, flag(visible)); }
void setdropdownlistvisible(int32_t id, bool visible) {
  gk::setdropdownlistvisible(id, flag(visible));
}

bool gettextboxposition(int32_t id, int32_t* left, int32_t* top, int32_t* width, int32_t* height) {
  return gk::gettextboxposition(id, left, top, width, height) == 1;
}

bool getlistboxposition(int32_t id, int32_t* left, int32_t* top, int32_t* width, int32_t* height) {
  return gk::getlistboxposition(id, left, top, width, height) == 1;
}

bool getdropdownlistposition(
    int32_t id, int32_t* left, int32_t* top, int32_t* width, int32_t* height) {
  return gk::getdropdownlistposition(id, left, top, width, height) == 1;
}

void enabletextbox(int32_t id, bool enabled) { gk::enabletextbox(id, flag(enabled)); }

void settextboxcontents(int32_t id, std::string_view text) {
  gk::settextboxcontents(id, text_in(text).c_str());
}

int32_t gettextboxcontents(int32_t id, std::string& text) {
  return text_result(text, [&](char* b, int32_t n) { return gk::gettextboxcontents(id, b, n); });
}

int32_t createmultilinetextbox(
    int32_t left, int32_t top, int32_t width, int32_t height, std::optional<bool> wrap) {
  return gk::createmultilinetextbox(left, top, width, height, flag(wrap.value_or(true)));
}

void settextboxeditable(int32_t id, bool editable) { gk::settextboxeditable(id, flag(editable)); }

void inserttextboxtext(int32_t id, std::string_view text, std::optional<bool> trim) {
  gk::inserttextboxtext(id, text_in(text, trim.value_or(true)).c_str());
}

int32_t gettextboxselection(int32_t id, std::string& text) {
  return text_result(text, [&](char* b, int32_t n) { return gk::gettextboxselection(id, b, n); });
}

void settextboxcue(int32_t id, std::string_view text) {
  gk::settextboxcue(id, text_in(text).c_str());
}

void settextboxentercallback(int32_t id, gk::Callback callback) {
  gk::settextboxentercallback_ptr(id, &callback);
}

void cleartextboxentercallback(int32_t id) { gk::settextboxentercallback_ptr(id, nullptr); }

void settextboxreal8(int32_t id, double x) { settextboxcontents(id, list_directed(x)); }
void settextboxreal4(int32_t id, float x) { settextboxreal8(id, static_cast<double>(x)); }
void settextboxinteger8(int32_t id, int64_t n) { settextboxcontents(id, list_directed(n)); }
void settextboxinteger4(int32_t id, int32_t n) { settextboxinteger8(id, n); }

int32_t createlistbox_handler(
    int32_t left, int32_t top, int32_t width, int32_t height, gk::Callback callback) {
  return gk::createlistbox_ptr(left, top, width, height, &callback);
}

int32_t createlistbox_nohandler(int32_t left, int32_t top, int32_t width, int32_t height) {
  return gk::createlistbox_ptr(left, top, width, height, nullptr);
}

int32_t insertlistboxentry(int32_t id, int32_t position, std::string_view text) {
  return gk::insertlistboxentry(id, position, text_in(text).c_str());
}

int32_t getlistboxtext(int32_t id, int32_t index, std::string& text) {
  return text_result(text, [&](char* b, int32_t n) { return gk::getlistboxtext(id, index, b, n); });
}

int32_t createdropdownlist_handler(
    int32_t left, int32_t top, int32_t width, int32_t height, gk::Callback callback) {
  return gk::createdropdownlist_ptr(left, top, width, height, &callback);
}

int32_t createdropdownlist_nohandler(int32_t left, int32_t top, int32_t width, int32_t height) {
  return gk::createdropdownlist_ptr(left, top, width, height, nullptr);
}

int32_t insertdropdownlistentry(int32_t id, int32_t position, std::string_view text) {
  return gk::insertdropdownlistentry(id, position, text_in(text).c_str());
}

int32_t getdropdownlisttext(int32_t id, int32_t index, std::string& text) {
  return text_result(text,
                     [&](char* b, int32_t n) { return gk::getdropdownlisttext(id, index, b, n); });
}

void setwindowclosecallback(gk::Callback callback) { gk::setwindowclosecallback_ptr(&callback); }
void setwindowtitle(std::string_view title) { gk::setwindowtitle(text_in(title).c_str()); }
void enableresize_handler(gk::Callback callback) { gk::enableresize_ptr(&callback); }
void enableresize_nohandler() { gk::enableresize_ptr(nullptr); }
void setrefreshing(bool on) { gk::setrefreshing(flag(on)); }
void setdialoghotkeys(bool on) { gk::setdialoghotkeys(flag(on)); }
bool kbhit() { return gk::kbhit() != 0; }
bool lockmutex(int32_t id, std::optional<int32_t> timeout) {
  return gk::lockmutex(id, timeout.value_or(-1)) != 0;
}

void registermousehandler(int32_t kind, gk::MouseHandlerRef handler) {
  gk::registermousehandler_ptr(kind, &handler);
}

void setmousequeuestatus(int32_t kind, bool keep_all) {
  gk::setmousequeuestatus(kind, flag(keep_all));
}

int32_t getfromclipboard(std::string& text) {
  std::string buffer(text.size() + 1, '\0');
  const int32_t n = gk::getfromclipboard(buffer.data(), static_cast<int32_t>(buffer.size()));
  const size_t length = text.size();
  text.assign(buffer.data(), static_cast<size_t>(n));
  text.resize(length, ' ');
  return n;
}

void sendtoclipboard(std::string_view text) { gk::sendtoclipboard(text_in(text).c_str()); }

void readimagefile(Text filename,
                   int32_t left,
                   int32_t top,
                   std::optional<int32_t> right,
                   std::optional<int32_t> bottom) {
  gk::readimagefile(text_in(filename.value_or("")).c_str(),
                    left,
                    top,
                    right.value_or(2147483647),
                    bottom.value_or(2147483647));
}

void allocateimage(agimage& image, int32_t width, int32_t height) {
  image.width = width;
  image.height = height;
  image.data = gk::mallocimage(width, height);
}

void freeimage(agimage& image) { image = agimage{}; }

void copyimage(int32_t left, int32_t top, agimage& image) {
  gk::getimage(left, top, left + image.width, top + image.height, image.data);
}

void pasteimage(int32_t left, int32_t top, const agimage& image, int32_t mode) {
  gk::putimage(left, top, image.data, mode);
}

void scaleimage(const agimage& source, agimage& destination) {
  gk::scaleimage(source.data, destination.data, destination.width, destination.height);
}

bool loadimage(std::string_view filename, agimage& image) {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> data = gk::loadimage(text_in(filename).c_str(), &width, &height);
  if (data.empty()) return false;
  image = agimage{std::move(data), width, height};
  return true;
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
