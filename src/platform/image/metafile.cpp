#include "platform/image/metafile.hpp"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace platform {
namespace {

constexpr int64_t kHimetricPerInch = 2540;
constexpr int64_t kScreenUnitsPerInch = 96;  // a Windows metafile without a placeable header

int32_t clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, 0, std::numeric_limits<int32_t>::max()));
}

// The size across (else down) of the picture laid out by `layout`.
template <class Layout>
int32_t himetric(const Layout& layout, bool across) {
  if (const auto* emf = std::get_if<metafile::EmfLayout>(&layout)) {
    const Rect& f = emf->frame;
    return clamp32(across ? int64_t{f.right} - f.left : int64_t{f.bottom} - f.top);
  }
  const auto& wmf = std::get<metafile::WmfLayout>(layout);
  const int64_t units = std::abs(across ? int64_t{wmf.frame.width()} : int64_t{wmf.frame.height()});
  const int64_t per_inch = wmf.units_per_inch != 0 ? wmf.units_per_inch : kScreenUnitsPerInch;
  return clamp32(units * kHimetricPerInch / per_inch);
}

}  // namespace

std::optional<Metafile> Metafile::decode(std::span<const uint8_t> bytes) {
  if (const auto emf = metafile::check_emf(bytes))
    return Metafile(std::vector<uint8_t>(bytes.begin(), bytes.end()), *emf);
  if (const auto wmf = metafile::check_wmf(bytes))
    return Metafile(std::vector<uint8_t>(bytes.begin(), bytes.end()), *wmf);
  return std::nullopt;
}

int32_t Metafile::width_himetric() const { return himetric(layout_, true); }
int32_t Metafile::height_himetric() const { return himetric(layout_, false); }

void Metafile::render(DeviceContext& dc, const Rect& dest) const {
  if (const auto* emf = std::get_if<metafile::EmfLayout>(&layout_))
    metafile::play_emf(bytes_, *emf, dc, dest);
  else
    metafile::play_wmf(bytes_, std::get<metafile::WmfLayout>(layout_), dc, dest);
}

}  // namespace platform
