// Metafile pictures: a Windows metafile (.WMF, with or without its placeable header) or an
// enhanced metafile (.EMF), checked once when decoded and played onto a device context
// whenever it is drawn (metafile_wmf.hpp, metafile_emf.hpp, metafile_player.hpp).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "platform/gfx/device_context.hpp"
#include "platform/image/metafile_emf.hpp"
#include "platform/image/metafile_player.hpp"
#include "platform/image/metafile_wmf.hpp"

namespace platform {

class Metafile {
 public:
  // Dots per inch of the picture's own size in pixels.
  static constexpr int kDpi = 96;

  // A copy of the file's bytes when they are a metafile the readers accept; nothing else.
  static std::optional<Metafile> decode(std::span<const uint8_t> bytes);
  // The same keeping the bytes themselves, which are moved from only when they are a metafile.
  static std::optional<Metafile> decode(std::vector<uint8_t>&& bytes);

  // The picture's size in 0.01 mm: the placeable box at its units per inch, the enhanced
  // frame, or a Windows metafile's window extent counted at kDpi units per inch.
  int32_t width_himetric() const;
  int32_t height_himetric() const;
  // The same in pixels at kDpi dots per inch, rounded, at least 1.
  int width() const;
  int height() const;

  // Draws the picture with its frame filling `dest`; nothing is drawn outside it (nor for a
  // size that is not positive or above 2^31 - 1), and the context's state is left as it was.
  void render(DeviceContext& dc, const metafile::Destination& dest) const;

 private:
  using Layout = std::variant<metafile::WmfLayout, metafile::EmfLayout>;
  static std::optional<Layout> layout_of(std::span<const uint8_t> bytes);
  Metafile(std::vector<uint8_t> bytes, Layout layout) : bytes_(std::move(bytes)), layout_(layout) {}

  std::vector<uint8_t> bytes_;
  Layout layout_;
};

}  // namespace platform
