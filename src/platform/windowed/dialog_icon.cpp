#include "platform/windowed/dialog_icon.hpp"

#include <memory>

#include "platform/gfx/device_context.hpp"
#include "platform/text/font.hpp"
#include "platform/text/text_layout.hpp"

namespace platform {
namespace {

constexpr Pixel kBlack = 0x000000, kWhite = 0xFFFFFF, kBlue = 0x0000FF, kRed = 0xFF0000,
                kYellow = 0xFFFF00;

// The bold face of the marks on the icons (made once, shared by every dialog).
const Font* mark_font() {
  static const std::shared_ptr<const Font> font =
      Font::create(FontRequest{-24, 700, FontFamily::Swiss, "", false});
  return font.get();
}

// A character centred on the icon's box.
void mark(
    Page& surface, const Rect& box, const std::u16string& text, Pixel colour, const Rect& clip) {
  const Font* font = mark_font();
  if (!font) return;
  const TextExtent e = measure_text(*font, text);
  draw_text(surface,
            *font,
            box.left + (box.width() - e.width) / 2,
            box.top + (box.height() - e.height) / 2,
            text,
            TextColours{colour, 0, false},
            clip);
}

}  // namespace

Pixel dialog_icon_colour(DialogIcon icon) {
  switch (icon) {
    case DialogIcon::Information:
      return kBlue;
    case DialogIcon::Question:
      return kWhite;
    case DialogIcon::Warning:
      return kYellow;
    case DialogIcon::Error:
      return kRed;
    case DialogIcon::None:
      return 0;
  }
  return 0;
}

void draw_dialog_icon(Page& surface, DialogIcon icon, Point at, const Rect& clip) {
  if (icon == DialogIcon::None) return;
  const Rect box{at.x, at.y, at.x + kDialogIconSize, at.y + kDialogIconSize};
  DeviceContext dc(surface);
  dc.set_clip(clip);
  const Pixel fill = dialog_icon_colour(icon);
  dc.select_brush(Brush::solid(to_colorref(fill)));
  dc.select_pen(Pen::create(1, to_colorref(icon == DialogIcon::Information ? fill : kBlack)));
  if (icon == DialogIcon::Warning) {
    const Point triangle[] = {
        {box.left + 15, box.top + 1}, {box.right - 1, box.bottom - 2}, {box.left, box.bottom - 2}};
    dc.polygon(triangle);
    mark(surface, box.translated(0, 3), u"!", kBlack, clip);
    return;
  }
  dc.ellipse(box);
  switch (icon) {
    case DialogIcon::Information:
      mark(surface, box, u"i", kWhite, clip);
      return;
    case DialogIcon::Question:
      mark(surface, box, u"?", kBlue, clip);
      return;
    default: {  // Error: a white cross, four pixels thick
      dc.select_pen(Pen::create(4, to_colorref(kWhite)));
      dc.move_to({box.left + 10, box.top + 10});
      dc.line_to({box.right - 11, box.bottom - 11});
      dc.move_to({box.right - 11, box.top + 10});
      dc.line_to({box.left + 10, box.bottom - 11});
      return;
    }
  }
}

}  // namespace platform
