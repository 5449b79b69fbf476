// The classic PC graphics-driver calls, so that programs written for that interface run
// unchanged: driver and mode queries, error codes and messages, and the window size a driver
// and mode stand for.
//
// Driver numbers: 0 detect, 1 CGA, 2 MCGA, 3 EGA, 4 EGA64, 5 EGAMONO, 6 IBM8514, 7 HERCMONO,
// 8 ATT400, 9 VGA, 10 PC3270. Every driver is emulated by one window; the answers describe
// VGA high resolution (driver 9, mode 2).
#pragma once

#include <cstdint>

namespace gk {

inline constexpr int32_t kDetect = 0;
inline constexpr int32_t kVga = 9;
inline constexpr int32_t kVgaHi = 2;
inline constexpr int32_t kInvalidDriver = -4;  // graphics result of an unknown driver

// Message of an error code -15..0, null for any other code.
const char* grapherrormsg(int32_t code);
void detectgraph(int32_t* driver, int32_t* mode);
const char* getdrivername();
int32_t getgraphmode();
int32_t getmaxmode();
void restorecrtmode();

// The current window's graphics result, which is then reset to 0.
int32_t graphresult();
// Opens a 'Graphics' window sized after the driver and mode (exit on close, no double
// buffering); driver 0 first stores 9 and 2 in the caller's variables.
void initgraph(int32_t* driver, int32_t* mode);
// Mode range of a driver; an unknown one gives -1..-1 and the graphics result -4.
void getmoderange(int32_t driver, int32_t* low, int32_t* high);
// The current window's size as "<width>*<height> VGAHI"; the mode is not used.
const char* getmodename(int32_t mode);
// graphdefaults and cleardevice on the current window; the mode is not used.
void setgraphmode(int32_t mode);
void getaspectratio(int32_t* x, int32_t* y);
void setaspectratio(int32_t x, int32_t y);
// The oldest queued key as a signed byte (codes 128..255 give -128..-1), waiting for one when
// none is queued; must not be called on the window thread.
int32_t getch();
// 1 when a key is queued, else 0.
int32_t kbhit();

// Mode range of a driver; false for a driver the interface does not know (the range is then
// -1..-1).
bool mode_range(int32_t driver, int32_t* low, int32_t* high);

struct GraphSize {
  int32_t width = 0;
  int32_t height = 0;
  bool invalid_driver = false;  // the window's graphics result becomes kInvalidDriver
};
// Window size of a driver and mode; a mode the driver does not have gives 0 x 0.
GraphSize graph_size(int32_t driver, int32_t mode);

}  // namespace gk
