// guikit: the binding through which the program's own modules call the toolkit.
//
// Each procedure wraps one toolkit function with the program's conventions:
// - Text in is blank-padded: it is passed on without its trailing blanks (a blank text is the
//   empty text). Where a procedure takes a `trim` flag, false passes the text whole.
// - Optional arguments are std::optional (or defaulted); absent ones get the defaults below.
// - Logical arguments are bool; the toolkit receives 0 or 1.
// - Callbacks are procedures: gk::Callback (no arguments).
// All act on the current window; see the toolkit's modules for what each does.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "toolkit/gk_record.hpp"

namespace guikit {

// Dialogs. Kinds: 1 "Information", 2 "Warning", 3 "Error", other "Message".
void dlgmessage(int32_t kind, std::string_view text);
bool dlgyesno(int32_t kind, std::string_view text);  // true for Yes

// Buttons. createbutton returns the global control id (-1 when no control could be made); the
// callback runs on a new thread at each click. Once removebutton returns, no callback of the
// button runs any more (unless it is called from that very callback).
int32_t createbutton(int32_t left, int32_t top, int32_t width, int32_t height,
                     std::string_view text, gk::Callback callback);
void enablebutton(int32_t id, bool enabled);
void removebutton(int32_t id);

// Drawing state and drawing. Colours are red + 256 green + 65536 blue.
void clearviewport();
void refreshall();
void settextstyle(int32_t font, int32_t direction, int32_t size,
                  std::optional<int32_t> transparency = std::nullopt);
// trim absent: true.
void outtextxy(int32_t x, int32_t y, std::string_view text, std::optional<bool> trim = std::nullopt);
// pattern: the user line pattern, of which the low 16 bits count.
void setlinestyle(int32_t style, int32_t pattern, int32_t thickness,
                  std::optional<int32_t> transparency = std::nullopt);
void setcolor(int32_t color);
void setbkcolor(int32_t color);
void moveto(int32_t x, int32_t y);
void lineto(int32_t x, int32_t y);
void line(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

}  // namespace guikit
