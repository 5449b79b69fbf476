#include "toolkit/driver_compat.hpp"

#include <array>
#include <cstddef>
#include <cstdio>
#include <mutex>

#include "toolkit/drawing.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/gk_wndproc.hpp"

namespace gk {
namespace {

// Indexed by minus the code. "meory" is the interface's own spelling, kept so that programs
// comparing messages still match.
constexpr std::array<const char*, 16> msg = {
    "No error",
    "Graphics not installed",
    "Graphics hardware not detected",
    "Device driver not found",
    "Invalid device driver file",
    "Insufficient memory to load driver",
    "Out of memory in scan fill",
    "Out of memory in flood fill",
    "Font file not found",
    "Not enough meory to load font",
    "Invalid mode for selected driver",
    "Graphics error",
    "Graphics I/O error",
    "Invalid font file",
    "Invalid font number",
    "Invalid device number",
};

// The Hercules monochrome adapter's screen: 720 x 348 pixels in its one mode.
constexpr GraphSize kHercules = {720, 348, false};

GraphSize cga_like(int32_t mode) {
  if (mode >= 0 && mode <= 3) return {320, 200, false};
  if (mode == 4) return {640, 200, false};
  return {};
}

}  // namespace

const char* grapherrormsg(int32_t code) {
  if (code > 0 || code < -15) return nullptr;
  return msg[static_cast<size_t>(-code)];
}

void detectgraph(int32_t* driver, int32_t* mode) {
  if (driver) *driver = kVga;
  if (mode) *mode = kVgaHi;
}

const char* getdrivername() { return "EGAVGA"; }
int32_t getgraphmode() { return kVgaHi; }
int32_t getmaxmode() { return kVgaHi; }
void restorecrtmode() {}

bool mode_range(int32_t driver, int32_t* low, int32_t* high) {
  int32_t lo = -1, hi = -1;
  bool known = true;
  switch (driver) {
    case -1:
    case 9:
      lo = 0, hi = 2;
      break;
    case 1:
      lo = 0, hi = 4;
      break;
    case 2:
    case 8:
      lo = 0, hi = 5;
      break;
    case 3:
    case 4:
    case 6:
      lo = 0, hi = 1;
      break;
    case 5:
      lo = 3, hi = 3;
      break;
    case 7:
    case 10:
      lo = 0, hi = 0;
      break;
    default:
      known = false;
  }
  if (low) *low = lo;
  if (high) *high = hi;
  return known;
}

GraphSize graph_size(int32_t driver, int32_t mode) {
  switch (driver) {
    case 0:
      return {640, 480, false};
    case 1:
      return cga_like(mode);
    case 2:
      if (mode == 5) return {640, 480, false};
      return cga_like(mode);
    case 3:
    case 4:
      if (mode == 0) return {640, 200, false};
      if (mode == 1) return {640, 350, false};
      return {};
    case 5:
      return {640, 350, false};
    case 6:
      if (mode == 0) return {640, 480, false};
      if (mode == 1) return {1024, 768, false};
      return {};
    case 7:
      return kHercules;
    case 8:
      if (mode == 5) return {640, 400, false};
      return cga_like(mode);
    case 9:
      if (mode == 0) return {640, 200, false};
      if (mode == 1) return {640, 350, false};
      if (mode == 2) return {640, 480, false};
      return {};
    case 10:
      return {720, 350, false};
    default:
      break;
  }
  if (driver < 0) return {};  // below the table: no window size, no error
  GraphSize size = cga_like(mode);
  size.invalid_driver = true;
  return size;
}

int32_t graphresult() {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return 0;
  // The graphics result and aspect ratio are written under the DC lock, as by every
  // drawing call.
  std::lock_guard<platform::CriticalSection> g(rec->dc_lock);
  const int32_t result = rec->graphics_result;
  rec->graphics_result = 0;
  return result;
}

void initgraph(int32_t* driver, int32_t* mode) {
  if (!driver || !mode) return;
  if (*driver == kDetect) detectgraph(driver, mode);
  const GraphSize size = graph_size(*driver, *mode);
  const int32_t index =
      initwindow(size.width, size.height, "Graphics", kDefaultPos, kDefaultPos, 0, 1);
  if (index < 0 || !size.invalid_driver) return;
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  std::lock_guard<platform::CriticalSection> g(rec->dc_lock);
  rec->graphics_result = kInvalidDriver;
}

void getmoderange(int32_t driver, int32_t* low, int32_t* high) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec || mode_range(driver, low, high)) return;
  std::lock_guard<platform::CriticalSection> g(rec->dc_lock);
  rec->graphics_result = kInvalidDriver;
}

const char* getmodename(int32_t) {
  static thread_local char name[64];  // per thread, so concurrent callers do not share it
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return "";
  std::snprintf(name, sizeof name, "%d*%d VGAHI", rec->width.load(), rec->height.load());
  return name;
}

void setgraphmode(int32_t) {
  graphdefaults();
  cleardevice();
}

void getaspectratio(int32_t* x, int32_t* y) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  std::lock_guard<platform::CriticalSection> g(rec->dc_lock);
  if (x) *x = rec->aspect_x;
  if (y) *y = rec->aspect_y;
}

void setaspectratio(int32_t x, int32_t y) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  std::lock_guard<platform::CriticalSection> g(rec->dc_lock);
  rec->aspect_x = x;
  rec->aspect_y = y;
}

int32_t getch() {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return 0;
  return static_cast<int8_t>(take_key(*rec, true));
}

int32_t kbhit() {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return 0;
  std::lock_guard<std::mutex> g(rec->key_lock);
  return rec->keys.count() > 0 ? 1 : 0;
}

}  // namespace gk
