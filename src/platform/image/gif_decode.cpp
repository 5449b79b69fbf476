#include "platform/image/gif_decode.hpp"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/image/bmp.hpp"

namespace platform {
namespace {

constexpr int kGraphicControl = 0xF9;  // extension giving the frame's transparent index

struct Source {
  std::span<const uint8_t> bytes;
  size_t at = 0;
};

int read_source(GifFileType* gif, GifByteType* out, int n) {
  auto* source = static_cast<Source*>(gif->UserData);
  const size_t count = std::min(source->bytes.size() - source->at, static_cast<size_t>(n));
  std::memcpy(out, source->bytes.data() + source->at, count);
  source->at += count;
  return static_cast<int>(count);
}

// The records before the first frame: reads its descriptor and, from a graphic control
// extension before it, its transparent index (-1 for none). False when there is no frame.
bool find_frame(GifFileType* gif, int& transparent) {
  for (GifRecordType type = UNDEFINED_RECORD_TYPE; type != TERMINATE_RECORD_TYPE;) {
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return false;
    if (type == IMAGE_DESC_RECORD_TYPE) return DGifGetImageDesc(gif) != GIF_ERROR;
    if (type != EXTENSION_RECORD_TYPE) continue;
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
    if (code == kGraphicControl && block && block[0] >= 4) {
      transparent = (block[1] & 1) ? block[4] : -1;
    }
    while (block) {
      if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
    }
  }
  return false;
}

// The row of the i-th line the file stores for a frame of `height` rows: interlaced frames
// store every eighth row from 0, every eighth from 4, every fourth from 2, every second from 1.
int stored_row(int i, int height, bool interlaced) {
  if (!interlaced) return i;
  constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    const int rows = (height - kStart[pass] + kStep[pass] - 1) / kStep[pass];
    if (i < rows) return kStart[pass] + i * kStep[pass];
    i -= rows;
  }
  return height;  // past the last line; not reached for i < height
}

Pixel colour_of(const ColorMapObject& map, int index) {
  if (index >= map.ColorCount) return 0;  // outside the table: black rather than a wild read
  const GifColorType& c = map.Colors[index];
  return (Pixel{c.Red} << 16) | (Pixel{c.Green} << 8) | c.Blue;
}

// Decodes the first frame onto the page of the screen's size.
bool read_gif(GifFileType* gif, Page& page, DecodeError& why) {
  const int64_t width = gif->SWidth, height = gif->SHeight;
  if (width <= 0 || height <= 0) return false;
  if (width * height > kMaxBmpPixels) {
    why = DecodeError::TooLarge;
    return false;
  }
  int transparent = -1;
  if (!find_frame(gif, transparent)) return false;
  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  if (!map || frame.Left < 0 || frame.Top < 0 || frame.Width <= 0 || frame.Height <= 0 ||
      frame.Left + int64_t{frame.Width} > width || frame.Top + int64_t{frame.Height} > height) {
    return false;
  }
  page = Page(static_cast<int>(width), static_cast<int>(height));
  // The background index names a colour of the screen's table, whichever table the frame uses.
  if (gif->SBackGroundColor > 0 && gif->SColorMap) {
    page.fill(colour_of(*gif->SColorMap, gif->SBackGroundColor));
  }
  std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
  for (int i = 0; i < frame.Height; ++i) {
    const int y = stored_row(i, frame.Height, frame.Interlace);
    if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) return false;
    Pixel* out = page.row(frame.Top + y) + frame.Left;
    for (int x = 0; x < frame.Width; ++x) {
      out[x] = line[x] == transparent ? 0 : colour_of(*map, line[x]);
    }
  }
  return true;
}

}  // namespace

bool is_gif(std::span<const uint8_t> bytes) {
  return bytes.size() >= 6 && std::memcmp(bytes.data(), "GIF8", 4) == 0 &&
         (bytes[4] == '7' || bytes[4] == '9') && bytes[5] == 'a';
}

std::optional<Page> decode_gif(std::span<const uint8_t> bytes, DecodeError* error) {
  if (!is_gif(bytes)) {
    fail(error, DecodeError::NotPicture);
    return std::nullopt;
  }
  Source source{bytes};
  GifFileType* gif = DGifOpen(&source, read_source, nullptr);
  Page page;
  DecodeError why = DecodeError::NotPicture;
  const bool read = gif && read_gif(gif, page, why);
  if (gif) DGifCloseFile(gif, nullptr);
  return decoded(read, page, why, error);
}

}  // namespace platform
