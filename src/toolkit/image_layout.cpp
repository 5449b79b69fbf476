#include "toolkit/image_layout.hpp"

#include <algorithm>
#include <cstdlib>

namespace gk {
namespace {

int32_t cut(int32_t v, int32_t size) { return v < 0 ? 0 : std::min(v, std::max(size - 1, 0)); }

}  // namespace

PageBlock page_block(int32_t left,
                     int32_t top,
                     int32_t right,
                     int32_t bottom,
                     int32_t client_width,
                     int32_t client_height) {
  const int32_t x0 = cut(left, client_width), x1 = cut(right, client_width);
  const int32_t y0 = cut(top, client_height), y1 = cut(bottom, client_height);
  return {std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0) + 1, std::abs(y1 - y0) + 1};
}

std::string complete_bmp_name(const std::string& name) {
  const size_t n = name.size();
  if (n < 4 || (name[n - 4] != '.' && n < 256)) return name + ".BMP";
  return name;
}

PrintLayout print_layout(
    int32_t dpi_x, int32_t dpi_y, int32_t width, int32_t height, bool with_title) {
  PrintLayout l;
  l.title_x = static_cast<int32_t>(0.75 * dpi_x);
  l.title_y = static_cast<int32_t>(0.75 * dpi_y);
  l.image_x = static_cast<int32_t>(0.75 * dpi_x);
  l.image_y = static_cast<int32_t>((with_title ? 1.0 : 0.75) * dpi_y);
  l.image_width = static_cast<int32_t>(7.5 * dpi_x);
  l.image_height = width > 0 ? static_cast<int32_t>(7.5 * height / width * dpi_y) : 0;
  return l;
}

}  // namespace gk
