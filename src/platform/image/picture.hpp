// Pictures read from files and drawn into a rectangle of a device context.
//
// Files: Windows bitmaps (bmp.hpp), icons and cursors (icon.hpp), PNG (png_decode.hpp), JPEG
// (jpeg_decode.hpp), GIF (its first frame, gif_decode.hpp), and Windows and enhanced metafiles
// (metafile.hpp), told apart by their first bytes. Icons keep their transparency; the other
// raster files are opaque (the alpha of PNG and GIF files is dropped); a metafile draws only
// what its records draw. Pictures above kMaxBmpPixels are refused before any pixel is decoded;
// a metafile's size is its frame at Metafile::kDpi. Files are read by picture_file.hpp.
//
// A picture is drawn scaled into its destination: a raster picture stretched by area averaging
// (scale.hpp), its transparent parts leaving the page's pixels as they were and partly
// transparent ones blended with them; a metafile by playing its records with its frame mapped
// onto the destination. Only the part that lands inside the page and the clip region is
// computed, so a destination far larger than the page costs no more than the page; a raster
// picture is scaled a band of rows at a time, so drawing holds no second copy of it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "platform/gfx/device_context.hpp"
#include "platform/gfx/page.hpp"
#include "platform/image/decode_error.hpp"
#include "platform/image/metafile.hpp"

namespace platform {

// Where a picture is drawn: the logical position of its top-left corner and its size in
// pixels, in 64 bits so that a rectangle spanning the whole 32-bit range does not overflow.
// A size that is not positive or above 2^31 - 1 draws nothing.
struct PictureRect {
  int64_t left = 0;
  int64_t top = 0;
  int64_t width = 0;
  int64_t height = 0;
};

// Pixels and, for a picture with transparent parts, the opacity of each.
struct RasterPicture {
  Page pixels;  // colours multiplied by their opacity: fully transparent pixels are black
  std::optional<Page> opacity;  // grey, 0 transparent to 0xFFFFFF opaque; none: all opaque

  int width() const { return pixels.width(); }
  int height() const { return pixels.height(); }
  void render(DeviceContext& dc, const PictureRect& dest) const;
};

// A raster picture of colours with their opacity (a grey page of the same size); the colours
// are multiplied by their opacity in place.
RasterPicture transparent_picture(Page colours, Page opacity);

// A metafile, played into its destination.
struct MetafilePicture {
  Metafile metafile;

  int width() const { return metafile.width(); }
  int height() const { return metafile.height(); }
  void render(DeviceContext& dc, const PictureRect& dest) const;
};

class Picture {
 public:
  using Content = std::variant<RasterPicture, MetafilePicture>;
  explicit Picture(Content content) : content_(std::move(content)) {}

  // Size in pixels.
  int width() const;
  int height() const;
  // Draws the whole picture scaled into `dest`.
  void render(DeviceContext& dc, const PictureRect& dest) const;

 private:
  Content content_;
};

// The picture of a file's bytes; nothing when they are none (`error` says why).
std::optional<Picture> decode_picture(std::span<const uint8_t> bytes, DecodeError* error = nullptr);
// The picture of a file; nothing when the file cannot be read or is no picture, and `why`
// receives the reason (read_picture_file's, or to_string of the DecodeError).
std::optional<Picture> load_picture(const std::string& path, std::string* why = nullptr);

}  // namespace platform
