#include "platform/image/picture.hpp"

#include <algorithm>
#include <limits>

#include "platform/gfx/blit.hpp"
#include "platform/image/bmp.hpp"
#include "platform/image/icon.hpp"
#include "platform/image/scale.hpp"
#include "platform/image/stb_decode.hpp"

namespace platform {
namespace {

// The part of a width x height destination at device (x, y) that lies inside `drawable`, in
// destination pixels.
Rect visible_part(const Rect& drawable, int64_t x, int64_t y, int64_t width, int64_t height) {
  auto cut = [](int64_t v, int64_t size) {
    return static_cast<int>(std::clamp<int64_t>(v, 0, size));
  };
  return {cut(drawable.left - x, width),
          cut(drawable.top - y, height),
          cut(drawable.right - x, width),
          cut(drawable.bottom - y, height)};
}

// s + d * (255 - a) / 255 in each channel, for a colour s that already carries its opacity a.
// Rounding in the scaling may leave s a little above a: the sum is capped at 255.
Pixel blend(Pixel s, Pixel d, uint32_t a) {
  Pixel out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const uint32_t c = ((s >> shift) & 0xFF) + (((d >> shift) & 0xFF) * (255 - a) + 127) / 255;
    out |= std::min<uint32_t>(c, 255) << shift;
  }
  return out;
}

std::optional<Picture> opaque(std::optional<Page> page) {
  if (!page) return std::nullopt;
  return Picture(RasterPicture{std::move(*page), std::nullopt});
}

}  // namespace

void RasterPicture::render(DeviceContext& dc, const PictureRect& dest) const {
  constexpr int64_t kMaxSide = std::numeric_limits<int32_t>::max();
  if (dest.width <= 0 || dest.height <= 0 || dest.width > kMaxSide || dest.height > kMaxSide) {
    return;
  }
  const Point origin = dc.to_device({0, 0});
  const int64_t x = dest.left + origin.x, y = dest.top + origin.y;  // device position
  const Rect part = visible_part(dc.drawable(), x, y, dest.width, dest.height);
  if (part.empty()) return;
  const int width = static_cast<int>(dest.width), height = static_cast<int>(dest.height);
  Page block = scale_page(pixels, width, height, part);
  if (opacity) {
    const Page cover = scale_page(*opacity, width, height, part);
    const Page& page = dc.page();
    for (int j = 0; j < block.height(); ++j) {
      const Pixel* under = page.row(static_cast<int>(y + part.top + j)) + (x + part.left);
      for (int i = 0; i < block.width(); ++i) {
        block.at(i, j) = blend(block.at(i, j), under[i], cover.at(i, j) & 0xFF);
      }
    }
  }
  bit_blt(dc,
          static_cast<int>(dest.left + part.left),
          static_cast<int>(dest.top + part.top),
          block.width(),
          block.height(),
          block,
          0,
          0,
          RasterOp::Copy);
}

RasterPicture transparent_picture(const Page& colours, Page opacity) {
  Page pixels(colours.width(), colours.height());
  for (int y = 0; y < pixels.height(); ++y) {
    for (int x = 0; x < pixels.width(); ++x) {
      const Pixel c = colours.at(x, y);
      const uint32_t a = opacity.at(x, y) & 0xFF;
      Pixel p = 0;
      for (int shift = 0; shift <= 16; shift += 8) {
        p |= ((((c >> shift) & 0xFF) * a + 127) / 255) << shift;
      }
      pixels.at(x, y) = p;
    }
  }
  return RasterPicture{std::move(pixels), std::move(opacity)};
}

void MetafilePicture::render(DeviceContext& dc, const PictureRect& dest) const {
  metafile.render(dc, {dest.left, dest.top, dest.width, dest.height});
}

int Picture::width() const {
  return std::visit([](const auto& c) { return c.width(); }, content_);
}

int Picture::height() const {
  return std::visit([](const auto& c) { return c.height(); }, content_);
}

void Picture::render(DeviceContext& dc, const PictureRect& dest) const {
  std::visit([&](const auto& c) { c.render(dc, dest); }, content_);
}

std::optional<Picture> decode_picture(std::span<const uint8_t> bytes) {
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return opaque(decode_bmp(bytes));
  if (is_icon(bytes)) {
    Page opacity;
    const std::optional<Page> colours = decode_icon(bytes, opacity);
    if (!colours) return std::nullopt;
    return Picture(transparent_picture(*colours, std::move(opacity)));
  }
  if (std::optional<Metafile> metafile = Metafile::decode(bytes)) {
    if (int64_t{metafile->width()} * metafile->height() > kMaxBmpPixels) return std::nullopt;
    return Picture(MetafilePicture{std::move(*metafile)});
  }
  return opaque(decode_stb(bytes));
}

std::optional<Picture> load_picture(const std::string& path) {
  const auto bytes = read_file_bytes(path);
  if (!bytes) return std::nullopt;
  return decode_picture(*bytes);
}

}  // namespace platform
