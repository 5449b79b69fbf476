#include "platform/metrics.hpp"

#include <array>

#include "platform/gfx/page.hpp"

namespace platform {

int32_t system_metric(Metric metric, const Backend& backend) {
  switch (metric) {
    case Metric::CxScreen:
    case Metric::CxVirtualScreen:
      return backend.screen_size().width;
    case Metric::CyScreen:
    case Metric::CyVirtualScreen:
      return backend.screen_size().height;
    case Metric::CxFixedFrame:
    case Metric::CyFixedFrame:
      return 3;
    case Metric::CxSizeFrame:
    case Metric::CySizeFrame:
      return 4;
    case Metric::CyCaption:
      return 23;
    case Metric::CyMenu:
      return 19;
    case Metric::CxIcon:
    case Metric::CyIcon:
      return 32;
    case Metric::CxSmIcon:
    case Metric::CySmIcon:
      return 16;
    case Metric::CxDoubleClk:
    case Metric::CyDoubleClk:
      return 4;
    case Metric::DoubleClickTime:
      return 500;
    case Metric::CxMinTrack:
      return 112;
    case Metric::CyMinTrack:
      return 27;
  }
  return 0;
}

uint32_t system_color(int32_t index) {
  // clang-format off
  static constexpr std::array<Pixel, 31> kColors = {
      0xC8C8C8, 0x008080, 0x000080, 0x808080, 0xC0C0C0, 0xFFFFFF, 0x000000, 0x000000,
      0x000000, 0xFFFFFF, 0xC0C0C0, 0xC0C0C0, 0x808080, 0x000080, 0xFFFFFF, 0xC0C0C0,
      0x808080, 0x808080, 0x000000, 0xC0C0C0, 0xFFFFFF, 0x000000, 0xDFDFDF, 0x000000,
      0xFFFFE1, 0x000000, 0x0000FF, 0x1084D0, 0xB5B5B5, 0x000080, 0xC0C0C0};
  // clang-format on
  if (index < 0 || index >= static_cast<int32_t>(kColors.size())) return 0;
  return to_colorref(kColors[index]);  // the table is written as pixels (RRGGBB)
}

}  // namespace platform
