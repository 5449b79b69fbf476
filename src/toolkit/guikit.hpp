// guikit: the binding through which the program's own modules call the toolkit.
//
// Each procedure wraps one toolkit function with the program's conventions:
// - Text in is blank-padded: it is passed on without its trailing blanks (a blank text is the
//   empty text). Where a procedure takes a `trim` flag, false passes the text whole.
// - Optional arguments are std::optional (or defaulted); absent ones get the defaults below.
// - Logical arguments are bool; the toolkit receives 0 or 1.
// - Callbacks are procedures: gk::Callback (no arguments), gk::ScrollCallbackRef (the
//   position by reference), gk::CloseQuery (a system-close callback answering an integer).
// - Text results come back blank-padded to the variable's length (its size()).
// All act on the current window; see the toolkit's modules for what each does. The module's
// only state is the two window-creation flags below.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/gk_record.hpp"

namespace guikit {

using Text = std::optional<std::string_view>;  // an optional text argument

// The flags last given to initwindow, used when a later call omits them.
inline std::atomic<bool> int_dbflag{false};    // double buffering
inline std::atomic<bool> int_closeflag{true};  // closing the window ends the program
void reset();                                  // both back to their initial values

// The default title of initwindow.
inline constexpr const char* kDefaultTitle = "GuiKit";

// Windows. initwindow: title absent: kDefaultTitle; a blank title gives a window without
// caption; left and top absent: the toolkit's default position; dbflag and closeflag, when
// given, replace int_dbflag and int_closeflag. The new window becomes current; its index,
// or -1.
int32_t initwindow(int32_t width,
                   int32_t height,
                   Text title = std::nullopt,
                   std::optional<int32_t> left = std::nullopt,
                   std::optional<int32_t> top = std::nullopt,
                   std::optional<bool> dbflag = std::nullopt,
                   std::optional<bool> closeflag = std::nullopt);
void closewindow(std::optional<int32_t> index = std::nullopt);  // absent: every window
void enablewindow(int32_t index, int32_t flag);                 // 1 enables, other disables
void setwindowsystemclosecallback(gk::CloseQuery callback);

// Dialogs. Kinds: 1 "Information", 2 "Warning", 3 "Error", other "Message".
void dlgmessage(int32_t kind, std::string_view text);
bool dlgyesno(int32_t kind, std::string_view text);  // true for Yes

// File dialogs on a blank-padded file-name variable (its size() is its length): it holds the
// initial name, or a folder ending in '\\' or '/'. True when a file was chosen: the variable
// then holds its path, blank-padded; false leaves the variable exactly as it was. The
// description goes on only together with an extension (a pattern such as "*.dat"); without
// an extension the dialog offers "All Files" alone. Description, extension and title are
// taken as 64 characters each. requestfiledialog: mode true open, false save; a missing title
// is " File" (open) or "Save File" (save).
bool requestfiledialog(
    bool mode, std::string& filename, Text description, Text extension, Text title);
bool dlgopenfile(std::string& filename,
                 Text description = std::nullopt,
                 Text extension = std::nullopt,
                 Text title = std::nullopt);
bool dlgsavefile(std::string& filename,
                 Text description = std::nullopt,
                 Text extension = std::nullopt,
                 Text title = std::nullopt);
// Text entry on a blank-padded variable: true on "Ok" with the edited text in it (cut to its
// length, blank-padded); false on "Cancel", the variable unchanged. Title and prompt are
// taken as 128 characters; title absent: "Input Requested"; prompt absent: empty.
bool dlgrequesttext(std::string& text,
                    Text title = std::nullopt,
                    Text prompt = std::nullopt,
                    std::optional<bool> password = std::nullopt);
bool dlgrequestpassword(std::string& text, Text title = std::nullopt, Text prompt = std::nullopt);
// The 1-based number of the option chosen (each trimmed), or -1 when none was.
int32_t dlgrequestselection(const std::vector<std::string>& options,
                            Text title = std::nullopt,
                            Text prompt = std::nullopt);

// Buttons, check boxes, radio buttons. createbutton returns the global control id (-1 when no
// control could be made); the callback runs on a new thread at each click. Once removebutton
// returns, no callback of the button runs any more (unless it is called from that very callback).
int32_t createbutton(int32_t left,
                     int32_t top,
                     int32_t width,
                     int32_t height,
                     std::string_view text,
                     gk::Callback callback);
void enablebutton(int32_t id, bool enabled);
void removebutton(int32_t id);
int32_t createcheckbox_handler(int32_t left,
                               int32_t top,
                               int32_t width,
                               int32_t height,
                               std::string_view text,
                               gk::Callback callback);
int32_t createcheckbox_nohandler(
    int32_t left, int32_t top, int32_t width, int32_t height, std::string_view text);
int32_t createradiobutton_handler(int32_t left,
                                  int32_t top,
                                  int32_t width,
                                  int32_t height,
                                  std::string_view text,
                                  gk::Callback callback);
int32_t createradiobutton_nohandler(
    int32_t left, int32_t top, int32_t width, int32_t height, std::string_view text);
void checkboxsetchecked(int32_t id, bool checked);
void radiobuttonsetchecked(int32_t id, bool checked);
// Captions: trim absent: false (the text goes with its trailing blanks).
void setbuttontext(int32_t id, std::string_view text, std::optional<bool> trim = std::nullopt);
void setcheckboxtext(int32_t id, std::string_view text, std::optional<bool> trim = std::nullopt);
void setradiobuttontext(int32_t id, std::string_view text, std::optional<bool> trim = std::nullopt);

// Controls of every kind. kind: "BUTTON", "EDIT", "LISTBOX", "COMBOBOX", "SCROLLBAR".
void setcontrolvisible(std::string_view kind, int32_t id, bool visible);
void setbuttonvisible(int32_t id, bool visible);
void setcheckboxvisible(int32_t id, bool visible);
void setradiobuttonvisible(int32_t id, bool visible);
void setscrollbarvisible(int32_t id, bool visible);
// Position getters: true with the control's place (each out-argument may be null).
bool getbuttonposition(int32_t id,
                       int32_t* left = nullptr,
                       int32_t* top = nullptr,
                       int32_t* width = nullptr,
                       int32_t* height = nullptr);
bool getcheckboxposition(int32_t id,
                         int32_t* left = nullptr,
                         int32_t* top = nullptr,
                         int32_t* width = nullptr,
                         int32_t* height = nullptr);
bool getradiobuttonposition(int32_t id,
                            int32_t* left = nullptr,
                            int32_t* top = nullptr,
                            int32_t* width = nullptr,
                            int32_t* height = nullptr);
bool getscrollbarposition(int32_t id,
                          int32_t* left = nullptr,
                          int32_t* top = nullptr,
                          int32_t* width = nullptr,
                          int32_t* height = nullptr);

// Scroll bars: orientation 0 horizontal, other vertical; the callback gets the new position.
int32_t createscrollbar(int32_t left,
                        int32_t top,
                        int32_t width,
                        int32_t height,
                        int32_t orientation,
                        gk::ScrollCallbackRef callback);

// Menus. addmenu: parent absent: the menu bar; the menu index or -2. addmenuitem: the item
// id or -2; the callback runs on a new thread each time the item is chosen.
int32_t addmenu(std::string_view text, std::optional<int32_t> parent = std::nullopt);
int32_t addmenuitem(std::string_view text, int32_t menu, gk::Callback callback);
void enablemenuitem(int32_t id, bool enabled);

// Text boxes, list boxes and drop-down lists. Text results come back blank-padded; a
// negative answer leaves the variable as it was.
void settextboxvisible(int32_t id, bool visible);
void setlistboxvisible(int32_t id, bool visible);
void setdropdownlistvisible(int32_t id, bool visible);
bool gettextboxposition(int32_t id,
                        int32_t* left = nullptr,
                        int32_t* top = nullptr,
                        int32_t* width = nullptr,
                        int32_t* height = nullptr);
bool getlistboxposition(int32_t id,
                        int32_t* left = nullptr,
                        int32_t* top = nullptr,
                        int32_t* width = nullptr,
                        int32_t* height = nullptr);
bool getdropdownlistposition(int32_t id,
                             int32_t* left = nullptr,
                             int32_t* top = nullptr,
                             int32_t* width = nullptr,
                             int32_t* height = nullptr);
void enabletextbox(int32_t id, bool enabled);
void settextboxcontents(int32_t id, std::string_view text);
int32_t gettextboxcontents(int32_t id, std::string& text);  // the toolkit's count
// wrap absent: true.
int32_t createmultilinetextbox(int32_t left,
                               int32_t top,
                               int32_t width,
                               int32_t height,
                               std::optional<bool> wrap = std::nullopt);
void settextboxeditable(int32_t id, bool editable);
void inserttextboxtext(int32_t id, std::string_view text, std::optional<bool> trim = std::nullopt);
int32_t gettextboxselection(int32_t id, std::string& text);
void settextboxcue(int32_t id, std::string_view text);
void settextboxentercallback(int32_t id, gk::Callback callback);
void cleartextboxentercallback(int32_t id);
// The number in list-directed form, left-adjusted and trimmed.
void settextboxreal8(int32_t id, double x);
void settextboxreal4(int32_t id, float x);
void settextboxinteger8(int32_t id, int64_t n);
void settextboxinteger4(int32_t id, int32_t n);
int32_t createlistbox_handler(
    int32_t left, int32_t top, int32_t width, int32_t height, gk::Callback callback);
int32_t createlistbox_nohandler(int32_t left, int32_t top, int32_t width, int32_t height);
int32_t insertlistboxentry(int32_t id, int32_t position, std::string_view text);
int32_t getlistboxtext(int32_t id, int32_t index, std::string& text);
int32_t createdropdownlist_handler(
    int32_t left, int32_t top, int32_t width, int32_t height, gk::Callback callback);
int32_t createdropdownlist_nohandler(int32_t left, int32_t top, int32_t width, int32_t height);
int32_t insertdropdownlistentry(int32_t id, int32_t position, std::string_view text);
int32_t getdropdownlisttext(int32_t id, int32_t index, std::string& text);

// Windows.
void setwindowclosecallback(gk::Callback callback);
void setwindowtitle(std::string_view title);
void enableresize_handler(gk::Callback callback);
void enableresize_nohandler();
void setrefreshing(bool on);
void setdialoghotkeys(bool on);
bool kbhit();
bool lockmutex(int32_t id, std::optional<int32_t> timeout = std::nullopt);  // absent: no limit

// Mouse: the handler gets x and y (the wheels: rotation and 0) by reference.
void registermousehandler(int32_t kind, gk::MouseHandlerRef handler);
void setmousequeuestatus(int32_t kind, bool keep_all);

// Clipboard: the text comes back blank-padded after the count of characters copied.
int32_t getfromclipboard(std::string& text);
void sendtoclipboard(std::string_view text);

// Drawing state and drawing. Colours are red + 256 green + 65536 blue.
void setviewport(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t clip);
void setfillstyle(int32_t pattern,
                  int32_t color,
                  std::optional<int32_t> transparency = std::nullopt);
void clearviewport();
void refreshall();
void settextstyle(int32_t font,
                  int32_t direction,
                  int32_t size,
                  std::optional<int32_t> transparency = std::nullopt);
// trim absent: true.
void outtextxy(int32_t x,
               int32_t y,
               std::string_view text,
               std::optional<bool> trim = std::nullopt);
// pattern: the user line pattern, of which the low 16 bits count.
void setlinestyle(int32_t style,
                  int32_t pattern,
                  int32_t thickness,
                  std::optional<int32_t> transparency = std::nullopt);
void setcolor(int32_t color);
void setbkcolor(int32_t color);
void moveto(int32_t x, int32_t y);
void lineto(int32_t x, int32_t y);
void line(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int32_t textwidth(std::string_view text, std::optional<bool> trim = std::nullopt);  // pixels
int32_t textheight(std::string_view text, std::optional<bool> trim = std::nullopt);
void outtext(std::string_view text, std::optional<bool> trim = std::nullopt);
void setfillpattern(const std::array<uint8_t, 8>& pattern,
                    int32_t color,
                    std::optional<int32_t> transparency = std::nullopt);
void getfillpattern(std::array<uint8_t, 8>& pattern);
// points: x and y of each point, one after the other.
void fillpoly(int32_t count, const std::vector<int32_t>& points);
void drawpoly(int32_t count, const std::vector<int32_t>& points);

// Images in memory: the pixel data the toolkit's image allocator made, and its size.
struct agimage {
  std::vector<uint8_t> data;
  int32_t width = 0;
  int32_t height = 0;
};
// file name absent: empty (a dialog asks); left, top 0; right and bottom absent: as far as the
// picture goes.
void readimagefile(Text filename = std::nullopt,
                   int32_t left = 0,
                   int32_t top = 0,
                   std::optional<int32_t> right = std::nullopt,
                   std::optional<int32_t> bottom = std::nullopt);
void allocateimage(agimage& image, int32_t width, int32_t height);
void freeimage(agimage& image);                             // no data, size 0 x 0
void copyimage(int32_t left, int32_t top, agimage& image);  // the page's pixels into the image
void pasteimage(int32_t left, int32_t top, const agimage& image, int32_t mode);
void scaleimage(const agimage& source, agimage& destination);  // to the destination's size
bool loadimage(std::string_view filename, agimage& image);     // false: not a picture

// Images of the window. printimage: title absent: empty (the window's title is printed);
// left, top 0; right getmaxx, bottom getmaxy; active page true. writeimagefile: file name
// absent: empty (a save dialog asks); left, top 0; right and bottom those of the viewport;
// active page false (the visual page).
void printimage(Text title = std::nullopt,
                std::optional<int32_t> left = std::nullopt,
                std::optional<int32_t> top = std::nullopt,
                std::optional<int32_t> right = std::nullopt,
                std::optional<int32_t> bottom = std::nullopt,
                std::optional<bool> active_page = std::nullopt);
void writeimagefile(Text filename = std::nullopt,
                    std::optional<int32_t> left = std::nullopt,
                    std::optional<int32_t> top = std::nullopt,
                    std::optional<int32_t> right = std::nullopt,
                    std::optional<int32_t> bottom = std::nullopt,
                    std::optional<bool> active_page = std::nullopt);

}  // namespace guikit
