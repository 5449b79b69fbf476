#include "platform/image/picture.hpp"

#include <algorithm>
#include <limits>

#include "platform/image/bmp.hpp"
#include "platform/image/gif_decode.hpp"
#include "platform/image/icon.hpp"
#include "platform/image/jpeg_decode.hpp"
#include "platform/image/picture_file.hpp"
#include "platform/image/png_decode.hpp"
#include "platform/image/scale.hpp"

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
  // Drawn in bands of about kBandPixels pixels, straight onto the page: the scaled copies held
  // at once stay small however large the part drawn.
  constexpr int64_t kBandPixels = int64_t{1} << 20;
  const int band =
      static_cast<int>(std::clamp<int64_t>(kBandPixels / part.width(), 1, part.height()));
  Page& page = dc.page();
  for (int top = part.top; top < part.bottom; top += band) {
    const Rect rows{part.left, top, part.right, std::min(top + band, part.bottom)};
    const Page block = scale_page(pixels, width, height, rows);
    const Page cover = opacity ? scale_page(*opacity, width, height, rows) : Page();
    for (int j = 0; j < block.height(); ++j) {
      Pixel* out = page.row(static_cast<int>(y + rows.top + j)) + (x + rows.left);
      const Pixel* in = block.row(j);
      for (int i = 0; i < block.width(); ++i) {
        out[i] = opacity ? blend(in[i], out[i], cover.at(i, j) & 0xFF) : in[i];
      }
    }
  }
}

RasterPicture transparent_picture(Page colours, Page opacity) {
  for (int y = 0; y < colours.height(); ++y) {
    Pixel* row = colours.row(y);
    for (int x = 0; x < colours.width(); ++x) {
      const uint32_t a = opacity.at(x, y) & 0xFF;
      Pixel p = 0;
      for (int shift = 0; shift <= 16; shift += 8) {
        p |= ((((row[x] >> shift) & 0xFF) * a + 127) / 255) << shift;
      }
      row[x] = p;
    }
  }
  return RasterPicture{std::move(colours), std::move(opacity)};
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

namespace {

std::optional<Picture> opaque(std::optional<Page> page, DecodeError why, DecodeError* error) {
  fail(error, page ? DecodeError::None : why);
  if (!page) return std::nullopt;
  return Picture(RasterPicture{std::move(*page), std::nullopt});
}

// A metafile's picture, or nothing with the reason when its frame is above the pixel limit.
std::optional<Picture> metafile_picture(Metafile metafile, DecodeError* error) {
  if (int64_t{metafile.width()} * metafile.height() > kMaxBmpPixels) {
    fail(error, DecodeError::TooLarge);
    return std::nullopt;
  }
  fail(error, DecodeError::None);
  return Picture(MetafilePicture{std::move(metafile)});
}

// Bitmaps, icons, PNG, JPEG and GIF pictures.
std::optional<Picture> raster_picture(std::span<const uint8_t> bytes, DecodeError* error) {
  DecodeError why = DecodeError::NotPicture;
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
    BmpError bmp = BmpError::None;
    std::optional<Page> page = decode_bmp(bytes, &bmp);
    if (bmp == BmpError::TooLarge) why = DecodeError::TooLarge;
    return opaque(std::move(page), why, error);
  }
  if (is_icon(bytes)) {
    Page opacity;
    IconError icon = IconError::None;
    std::optional<Page> colours = decode_icon(bytes, opacity, &icon);
    if (!colours) {
      return opaque(std::nullopt,
                    icon == IconError::TooLarge ? DecodeError::TooLarge : DecodeError::NotPicture,
                    error);
    }
    fail(error, DecodeError::None);
    return Picture(transparent_picture(std::move(*colours), std::move(opacity)));
  }
  std::optional<Page> page;
  if (is_png(bytes)) {
    page = decode_png(bytes, nullptr, &why);
  } else if (is_jpeg(bytes)) {
    page = decode_jpeg(bytes, &why);
  } else if (is_gif(bytes)) {
    page = decode_gif(bytes, &why);
  }
  return opaque(std::move(page), why, error);
}

}  // namespace

std::optional<Picture> decode_picture(std::span<const uint8_t> bytes, DecodeError* error) {
  if (std::optional<Metafile> metafile = Metafile::decode(bytes)) {
    return metafile_picture(std::move(*metafile), error);
  }
  return raster_picture(bytes, error);
}

std::optional<Picture> load_picture(const std::string& path, std::string* why) {
  std::string reason;
  std::optional<std::vector<uint8_t>> bytes = read_picture_file(path, reason);
  if (!bytes) {
    if (why) *why = reason;
    return std::nullopt;
  }
  DecodeError error = DecodeError::None;
  // A metafile keeps the bytes read, not a copy of them.
  std::optional<Metafile> metafile = Metafile::decode(std::move(*bytes));
  std::optional<Picture> picture =
      metafile ? metafile_picture(std::move(*metafile), &error) : raster_picture(*bytes, &error);
  if (!picture && why) *why = to_string(error);
  return picture;
}

}  // namespace platform
