#include "platform/image/metafile.hpp"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace platform {
namespace {

constexpr int64_t kHimetricPerInch = 2540;

// Pixels at kDpi of a length in 0.01 mm, rounded, at least 1.
int pixels(int32_t himetric) {
  return static_cast<int>(std::max<int64_t>(
      1, (int64_t{himetric} * Metafile::kDpi + kHimetricPerInch / 2) / kHimetricPerInch));
}

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
  const int64_t per_inch = wmf.units_per_inch != 0 ? wmf.units_per_inch : Metafile::kDpi;
  return clamp32(units * kHimetricPerInch / per_inch);
}

}  // namespace

std::optional<Metafile::Layout> Metafile::layout_of(std::span<const uint8_t> bytes) {
  if (const auto emf = metafile::check_emf(bytes)) return *emf;
  if (const auto wmf = metafile::check_wmf(bytes)) return *wmf;
  return std::nullopt;
}

std::optional<Metafile> Metafile::decode(std::span<const uint8_t> bytes) {
  const std::optional<Layout> layout = layout_of(bytes);
  if (!layout) return std::nullopt;
  return Metafile(std::vector<uint8_t>(bytes.begin(), bytes.end()), *layout);
}

std::optional<Metafile> Metafile::decode(std::vector<uint8_t>&& bytes) {
  const std::optional<Layout> layout = layout_of(bytes);
  if (!layout) return std::nullopt;
  return Metafile(std::move(bytes), *layout);
}

int32_t Metafile::width_himetric() const { return himetric(layout_, true); }
int32_t Metafile::height_himetric() const { return himetric(layout_, false); }

int Metafile::width() const { return pixels(width_himetric()); }
int Metafile::height() const { return pixels(height_himetric()); }

void Metafile::render(DeviceContext& dc, const metafile::Destination& dest) const {
  constexpr int64_t kMaxSide = std::numeric_limits<int32_t>::max();
  if (dest.width <= 0 || dest.height <= 0 || dest.width > kMaxSide || dest.height > kMaxSide)
    return;
  if (const auto* emf = std::get_if<metafile::EmfLayout>(&layout_))
    metafile::play_emf(bytes_, *emf, dc, dest);
  else
    metafile::play_wmf(bytes_, std::get<metafile::WmfLayout>(layout_), dc, dest);
}

}  // namespace platform
