#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "gfx_pages.hpp"
#include "platform/gfx/device_context.hpp"
#include "platform/image/bmp.hpp"
#include "platform/image/metafile.hpp"
#include "support/metafile_writer.hpp"

namespace platform {
namespace {

using testsupport::EmfWriter;
using testsupport::put16;
using testsupport::put32;
using testsupport::set32;
using testsupport::WmfWriter;
using Bytes = std::vector<uint8_t>;

constexpr Pixel kGrey = 0x808080, kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kBlack = 0,
                kWhite = 0xFFFFFF, kYellow = 0xFFFF00;
// The same colours as the records give them: R + 256 G + 65536 B.
constexpr uint32_t kRefRed = 0x0000FF, kRefGreen = 0x00FF00, kRefBlue = 0xFF0000,
                   kRefYellow = 0x00FFFF;
constexpr uint32_t kSrcCopy = 0x00CC0020;

// Windows metafile functions and enhanced record types the tests write.
enum : uint16_t {
  kWSetBkMode = 0x0102,
  kWSetMapMode = 0x0103,
  kWSetTextAlign = 0x012E,
  kWSaveDc = 0x001E,
  kWRestoreDc = 0x0127,
  kWSetBkColor = 0x0201,
  kWSetTextColor = 0x0209,
  kWSetWindowOrg = 0x020B,
  kWSetWindowExt = 0x020C,
  kWLineTo = 0x0213,
  kWMoveTo = 0x0214,
  kWPolyline = 0x0325,
  kWPolyPolygon = 0x0538,
  kWRectangle = 0x041B,
  kWEllipse = 0x0418,
  kWSetPixel = 0x041F,
  kWTextOut = 0x0521,
  kWExtTextOut = 0x0A32,
  kWDibStretchBlt = 0x0B41,
  kWStretchDib = 0x0F43,
  kWSelectObject = 0x012D,
  kWDeleteObject = 0x01F0,
  kWCreatePen = 0x02FA,
  kWCreateFont = 0x02FB,
  kWCreateBrush = 0x02FC,
  kWPatBlt = 0x061D,
  kWDibBitBlt = 0x0940,
};
enum : uint32_t {
  kEPolyline = 4,
  kESetWindowExt = 9,
  kESetWindowOrg = 10,
  kESetViewportExt = 11,
  kESetViewportOrg = 12,
  kESetPixel = 15,
  kESetMapMode = 17,
  kESetBkMode = 18,
  kESetBkColor = 25,
  kESetTextAlign = 22,
  kESetTextColor = 24,
  kEMoveTo = 27,
  kESaveDc = 33,
  kERestoreDc = 34,
  kESelectObject = 37,
  kECreatePen = 38,
  kECreateBrush = 39,
  kEDeleteObject = 40,
  kEEllipse = 42,
  kERectangle = 43,
  kELineTo = 54,
  kEBitBlt = 76,
  kEStretchBlt = 77,
  kEStretchDibits = 81,
  kECreateFont = 82,
  kETextOutW = 84,
  kEPolyPolygon16 = 91,
};

// A 2 x 2 bitmap: red, green on the top row; blue, white below.
Bytes quad_dib() {
  Page page(2, 2);
  page.at(0, 0) = kRed, page.at(1, 0) = kGreen, page.at(0, 1) = kBlue, page.at(1, 1) = kWhite;
  return encode_dib24(page);
}

// LOGFONT fields after the height (the same in both formats but for the face's characters).
void put_font_tail(Bytes& out) {
  for (int i = 0; i < 3; ++i) put16(out, 0);                     // width, escapement, orientation
  put16(out, 400);                                               // weight
  for (int i = 0; i < 8; ++i) out.push_back(i == 7 ? 0x20 : 0);  // ... swiss family
}

// One picture in both formats, in logical units 0..100 on both axes:
//   a red line y = 20 from x = 10 to 60 (its end left out), drawn after a saved state that
//   selected a green pen was restored; a rectangle 10..39 x 40..69 with a red outline and a
//   blue inside; an ellipse in 50..89 x 50..89; an unknown record; black text "Hi" at
//   (10, 75) with a 12-unit font; the 2 x 2 bitmap stretched onto 70..89 x 10..29; a black
//   square ring 30..49 x 0..15 around a hole 36..43 x 4..11, with no pen; a black rectangle
//   92..98 x 0..6; a yellow pixel at (95, 95).
Bytes scene_wmf(bool placeable) {
  WmfWriter w;
  if (!placeable) {
    w.record(kWSetMapMode, {8}).record(kWSetWindowOrg, {0, 0}).record(kWSetWindowExt, {100, 100});
  }
  w.record(kWCreatePen, {0, 0, 0, kRefRed, 0})           // slot 0
      .record(kWCreateBrush, {0, 0, kRefBlue >> 16, 0})  // slot 1
      .record(kWCreatePen, {0, 0, 0, kRefGreen, 0})      // slot 2
      .record(kWCreateBrush, {0, 0, 0, 0})               // slot 3: black
      .record(kWCreatePen, {5, 0, 0, 0, 0})              // slot 4: null
      .record(kWSelectObject, {0})
      .record(kWSelectObject, {1})
      .record(kWSaveDc, {})
      .record(kWSelectObject, {2})
      .record(kWRestoreDc, {-1})
      .record(kWMoveTo, {20, 10})
      .record(kWLineTo, {20, 60})
      .record(kWRectangle, {70, 40, 40, 10})
      .record(kWEllipse, {90, 90, 50, 50})
      .record(0x0999, {1, 2, 3});
  Bytes font;
  put16(font, static_cast<uint32_t>(-12));
  put_font_tail(font);
  w.record_bytes(kWCreateFont, font)  // slot 5
      .record(kWSelectObject, {5})
      .record(kWSetTextColor, {0, 0})
      .record(kWSetBkMode, {1})
      .record(kWSetTextAlign, {0});
  Bytes text;
  put16(text, 2);
  WmfWriter::put_text(text, "Hi");
  put16(text, 75);
  put16(text, 10);
  w.record_bytes(kWTextOut, text);
  Bytes stretch;
  put32(stretch, kSrcCopy);
  for (const int v : {0, 2, 2, 0, 0, 20, 20, 10, 70}) put16(stretch, static_cast<uint32_t>(v));
  const Bytes dib = quad_dib();
  stretch.insert(stretch.end(), dib.begin(), dib.end());
  w.record_bytes(kWStretchDib, stretch).record(kWSelectObject, {3}).record(kWSelectObject, {4});
  Bytes rings;
  put16(rings, 2);
  put16(rings, 4);
  put16(rings, 4);
  for (const int v : {30, 0, 50, 0, 50, 16, 30, 16, 36, 4, 44, 4, 44, 12, 36, 12})
    put16(rings, static_cast<uint32_t>(v));
  w.record_bytes(kWPolyPolygon, rings)
      .record(kWRectangle, {8, 100, 0, 92})
      .record(kWSetPixel, {kRefYellow, 0, 95, 95});
  return placeable ? w.file(8, {0, 0, 100, 100}, 1000) : w.file(8);
}

// The frame 0..1000 (0.01 mm) on a device of 10 pixels per millimetre: 100 by 100 pixels.
constexpr Rect kFrame{0, 0, 1000, 1000};
constexpr Point kDevicePixels{1000, 1000}, kDeviceMm{100, 100};

// ExtTextOutW of `s` at (x, y); every character `advance` units after the one before, or at
// the font's advances.
Bytes emf_text(int x, int y, std::u16string_view s, std::optional<int> advance = std::nullopt) {
  Bytes t;
  for (int i = 0; i < 4; ++i) put32(t, 0);  // bounds
  put32(t, 1);                              // compatible graphics mode
  put32(t, 0), put32(t, 0);                 // scales
  put32(t, static_cast<uint32_t>(x)), put32(t, static_cast<uint32_t>(y));
  put32(t, static_cast<uint32_t>(s.size()));
  put32(t, 76);  // string offset: right after these fields
  put32(t, 0);   // options
  for (int i = 0; i < 4; ++i) put32(t, 0);
  const uint32_t string_bytes = static_cast<uint32_t>(2 * s.size() + 3) / 4 * 4;
  put32(t, advance ? 76 + string_bytes : 0);  // the advances follow the string
  for (const char16_t c : s) put16(t, c);
  t.resize(68 + string_bytes);
  for (size_t i = 0; advance && i < s.size(); ++i) put32(t, static_cast<uint32_t>(*advance));
  return t;
}

// StretchDIBits of the 2 x 2 bitmap: source (sx, sy, sw, sh) onto (x, y, w, h).
Bytes emf_stretch_dibits(int x, int y, int w, int h, int sx, int sy, int sw, int sh) {
  const Bytes dib = quad_dib();
  Bytes b;
  for (int i = 0; i < 4; ++i) put32(b, 0);
  for (const int v : {x, y, sx, sy, sw, sh}) put32(b, static_cast<uint32_t>(v));
  put32(b, 80), put32(b, 40), put32(b, 120), put32(b, static_cast<uint32_t>(dib.size() - 40));
  put32(b, 0), put32(b, kSrcCopy), put32(b, static_cast<uint32_t>(w)),
      put32(b, static_cast<uint32_t>(h));
  b.insert(b.end(), dib.begin(), dib.end());
  return b;
}

Bytes scene_emf() {
  EmfWriter e;
  e.record(kECreatePen, {1, 0, 0, 0, kRefRed})
      .record(kECreateBrush, {2, 0, kRefBlue, 0})
      .record(kECreatePen, {3, 0, 0, 0, kRefGreen})
      .record(kESelectObject, {1})
      .record(kESelectObject, {2})
      .record(kESaveDc, {})
      .record(kESelectObject, {3})
      .record(kERestoreDc, {-1})
      .record(kEMoveTo, {10, 20})
      .record(kELineTo, {60, 20})
      .record(kERectangle, {10, 40, 39, 69})  // inclusive
      .record(kEEllipse, {50, 50, 89, 89})
      .record(250, {1, 2});
  Bytes font;
  put32(font, 4);
  put32(font, static_cast<uint32_t>(-12));
  for (int i = 0; i < 3; ++i) put32(font, 0);  // width, escapement, orientation
  put32(font, 400);
  for (int i = 0; i < 8; ++i) font.push_back(i == 7 ? 0x20 : 0);
  font.resize(font.size() + 64);  // no face
  e.record_bytes(kECreateFont, font)
      .record(kESelectObject, {4})
      .record(kESetTextColor, {0})
      .record(kESetBkMode, {1})
      .record(kESetTextAlign, {0})
      .record_bytes(kETextOutW, emf_text(10, 75, u"Hi"))
      .record_bytes(kEStretchDibits, emf_stretch_dibits(70, 10, 20, 20, 0, 0, 2, 2))
      .record(kESelectObject, {0x80000004})   // stock black brush
      .record(kESelectObject, {0x80000008});  // stock null pen
  Bytes rings;
  for (int i = 0; i < 4; ++i) put32(rings, 0);
  put32(rings, 2), put32(rings, 8), put32(rings, 4), put32(rings, 4);
  for (const int v : {30, 0, 50, 0, 50, 16, 30, 16, 36, 4, 44, 4, 44, 12, 36, 12})
    put16(rings, static_cast<uint32_t>(v));
  e.record_bytes(kEPolyPolygon16, rings)
      .record(kERectangle, {92, 0, 99, 7})
      .record(kESetPixel, {95, 95, kRefYellow});
  return e.file(kFrame, kDevicePixels, kDeviceMm, 8);
}

struct Drawn {
  Page page;
  bool decoded = false;
};

// The picture decoded and rendered onto a grey page into `dest`.
Drawn render(const Bytes& file, int page_w, int page_h, const Rect& dest) {
  Drawn d{Page(page_w, page_h)};
  d.page.fill(kGrey);
  const auto m = Metafile::decode(file);
  d.decoded = m.has_value();
  if (!m) return d;
  DeviceContext dc(d.page);
  const PenRef pen = dc.pen();
  m->render(dc, {dest.left, dest.top, dest.width(), dest.height()});
  EXPECT_EQ(dc.pen(), pen);  // the context's state is left as it was
  return d;
}

TEST(Metafile, DrawsEachFormatScaledIntoItsRectangle) {
  struct Case {
    const char* name;
    Bytes file;
  };
  const Case files[] = {
      {"placeable wmf", scene_wmf(true)}, {"plain wmf", scene_wmf(false)}, {"emf", scene_emf()}};
  for (const Case& f : files)
    for (const int s : {1, 2}) {
      SCOPED_TRACE(testing::Message() << f.name << " at scale " << s);
      const Rect dest{20, 20, 20 + 100 * s, 20 + 100 * s};
      const Drawn d = render(f.file, 240, 240, dest);
      ASSERT_TRUE(d.decoded);
      // Logical (x, y) on the page; pixel (x, y) of a feature one logical unit wide.
      auto at = [&](int x, int y) { return d.page.at(20 + x * s, 20 + y * s); };
      for (const int x : {10, 35, 59}) EXPECT_EQ(at(x, 20), kRed) << "line at " << x;
      EXPECT_EQ(at(60, 20), kGrey) << "line end";
      EXPECT_EQ(at(10, 55), kRed) << "rectangle outline";
      EXPECT_EQ(at(25, 55), kBlue) << "rectangle inside";
      EXPECT_EQ(at(5, 55), kGrey) << "left of the rectangle";
      EXPECT_EQ(at(45, 55), kGrey) << "right of the rectangle";
      EXPECT_EQ(at(70, 70), kBlue) << "ellipse centre";
      EXPECT_EQ(at(50, 70), kRed) << "ellipse outline";
      EXPECT_EQ(at(52, 52), kGrey) << "ellipse box corner";
      EXPECT_EQ(at(75, 15), kRed) << "bitmap top left";
      EXPECT_EQ(at(85, 15), kGreen) << "bitmap top right";
      EXPECT_EQ(at(75, 25), kBlue) << "bitmap bottom left";
      EXPECT_EQ(at(85, 25), kWhite) << "bitmap bottom right";
      EXPECT_EQ(at(33, 8), kBlack) << "ring";
      EXPECT_EQ(at(40, 8), kGrey) << "hole";
      EXPECT_EQ(at(95, 3), kBlack) << "rectangle of the stock brush";
      EXPECT_EQ(at(95, 95), kYellow) << "pixel after the unknown record";
      EXPECT_EQ(d.page.at(20 + 95 * s + 1, 20 + 95 * s + 1), kGrey) << "one pixel";
      // Text: ink inside its box and none in the band around it.
      const Rect text_box{20 + 8 * s, 20 + 73 * s, 20 + 34 * s, 20 + 95 * s};
      const Rect band{20 + 8 * s, 20 + 71 * s, 20 + 46 * s, 20 + 99 * s};
      EXPECT_GT(text_box.width() * text_box.height() - gfx_test::count(d.page, text_box, kGrey), 5);
      EXPECT_EQ(gfx_test::count(d.page, band, kGrey) - gfx_test::count(d.page, text_box, kGrey),
                band.width() * band.height() - text_box.width() * text_box.height());
      // Nothing outside the destination.
      long outside = 0;
      for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 240; ++x) outside += !dest.contains(x, y) && d.page.at(x, y) != kGrey;
      EXPECT_EQ(outside, 0);
    }
}

TEST(Metafile, MappingModesPlaceLogicalPoints) {
  // One pixel at a logical point after the mapping records; the frame is 300 x 300 pixels
  // drawn at 1:1 from (0, 0), 10 pixels per millimetre.
  struct Case {
    const char* name;
    uint32_t mode;
    Point window_org, window_ext, viewport_org, viewport_ext, logical, expected;
  };
  const Case cases[] = {
      {"text", 1, {10, 0}, {1, 1}, {0, 5}, {1, 1}, {30, 20}, {20, 25}},
      {"anisotropic", 8, {0, 0}, {200, 100}, {0, 0}, {100, 100}, {60, 40}, {30, 40}},
      {"isotropic", 7, {0, 0}, {200, 100}, {0, 0}, {100, 100}, {60, 40}, {30, 20}},
      {"flipped anisotropic", 8, {0, 0}, {100, -100}, {0, 100}, {100, 100}, {30, 40}, {30, 60}},
      {"0.1 mm, y up", 2, {0, 0}, {1, 1}, {0, 100}, {1, 1}, {30, 40}, {30, 60}},
      {"0.01 mm", 3, {0, 0}, {1, 1}, {0, 0}, {1, 1}, {300, -400}, {30, 40}},
      {"0.01 inch", 4, {0, 0}, {1, 1}, {0, 0}, {1, 1}, {10, -10}, {25, 25}},
      {"0.001 inch", 5, {100, 0}, {1, 1}, {0, 0}, {1, 1}, {1100, -500}, {254, 127}},
      {"twips", 6, {0, 0}, {1, 1}, {0, 0}, {1, 1}, {567, -567}, {100, 100}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    EmfWriter e;
    e.record(kESetMapMode, {k.mode})
        .record(kESetWindowOrg, {k.window_org.x, k.window_org.y})
        .record(kESetWindowExt, {k.window_ext.x, k.window_ext.y})
        .record(kESetViewportOrg, {k.viewport_org.x, k.viewport_org.y})
        .record(kESetViewportExt, {k.viewport_ext.x, k.viewport_ext.y})
        .record(kESetPixel, {k.logical.x, k.logical.y, kRefRed});
    const Drawn d =
        render(e.file({0, 0, 3000, 3000}, kDevicePixels, kDeviceMm, 1), 300, 300, {0, 0, 300, 300});
    ASSERT_TRUE(d.decoded);
    EXPECT_EQ(d.page.at(k.expected.x, k.expected.y), kRed);
    EXPECT_EQ(gfx_test::count(d.page, kRed), 1);
  }
  // A Windows metafile's window records move the window over its fixed viewport, the
  // destination; its isotropic mode keeps the aspect on the destination.
  struct WmfCase {
    const char* name;
    int mode, window_ext;
    Rect dest;
    Point expected;
  };
  const WmfCase wmf_cases[] = {
      {"window moved", 8, 200, {0, 0, 100, 100}, {30, 20}},
      {"stretched", 8, 100, {0, 0, 200, 100}, {120, 40}},
      {"isotropic", 7, 100, {0, 0, 200, 100}, {60, 40}},
  };
  for (const WmfCase& k : wmf_cases) {
    SCOPED_TRACE(k.name);
    WmfWriter w;
    w.record(kWSetMapMode, {k.mode})
        .record(kWSetWindowExt, {k.window_ext, k.window_ext})
        .record(kWSetPixel, {kRefRed, 0, 40, 60});
    const Drawn d = render(w.file(1, {0, 0, 100, 100}, 1440), 200, 100, k.dest);
    ASSERT_TRUE(d.decoded);
    EXPECT_EQ(d.page.at(k.expected.x, k.expected.y), kRed);
  }
}

TEST(Metafile, BitmapSourcesCountFromTheirOrigin) {
  // DIB-to-device records count the source from a bottom-up bitmap's bottom row, block
  // transfers from its top; a negative size mirrors the block. Each case shows its pixel at
  // (2, 5) of the 10 x 10 frame drawn 1:1.
  auto wmf = [](uint16_t function, int dest_w, int sx, int sy, int sw, int sh) {
    Bytes b;
    put32(b, kSrcCopy);
    if (function == kWStretchDib) put16(b, 0);
    for (const int v : {sh, sw, sy, sx, 10, dest_w, 0, dest_w < 0 ? 10 : 0})
      put16(b, static_cast<uint32_t>(v));
    const Bytes dib = quad_dib();
    b.insert(b.end(), dib.begin(), dib.end());
    WmfWriter w;
    w.record_bytes(function, b);
    return w.file(1, {0, 0, 10, 10}, 1440);
  };
  // DIB bit-blt: the 1 x 1 block at (sx, sy) onto (2, 5); pat-blt: the whole frame.
  auto wmf_blt = [](uint16_t function, uint32_t rop, int sx, int sy) {
    Bytes b;
    put32(b, rop);
    const std::vector<int> fields = function == kWDibBitBlt ? std::vector<int>{sy, sx, 1, 1, 5, 2}
                                                            : std::vector<int>{10, 10, 0, 0};
    for (const int v : fields) put16(b, static_cast<uint32_t>(v));
    if (function == kWDibBitBlt) {
      const Bytes dib = quad_dib();
      b.insert(b.end(), dib.begin(), dib.end());
    }
    WmfWriter w;
    w.record_bytes(function, b);
    return w.file(1, {0, 0, 10, 10}, 1440);
  };
  // Stretch-blt of (sx, sy, sw, sh) onto the frame, or bit-blt of (sx, sy) onto (2, 5).
  auto emf_blt = [](bool stretch, int sx, int sy, int sw, int sh) {
    const Bytes dib = quad_dib();
    const uint32_t fields_end = stretch ? 108 : 100;
    Bytes b;
    for (int i = 0; i < 4; ++i) put32(b, 0);
    for (const int v : stretch ? std::vector<int>{0, 0, 10, 10} : std::vector<int>{2, 5, 1, 1})
      put32(b, static_cast<uint32_t>(v));
    put32(b, kSrcCopy), put32(b, static_cast<uint32_t>(sx)), put32(b, static_cast<uint32_t>(sy));
    const float identity[] = {1, 0, 0, 1, 0, 0};
    for (const float f : identity) {
      uint32_t u;
      std::memcpy(&u, &f, 4);
      put32(b, u);
    }
    put32(b, 0), put32(b, 0), put32(b, fields_end), put32(b, 40), put32(b, fields_end + 40);
    put32(b, static_cast<uint32_t>(dib.size() - 40));
    if (stretch) put32(b, static_cast<uint32_t>(sw)), put32(b, static_cast<uint32_t>(sh));
    b.insert(b.end(), dib.begin(), dib.end());
    EmfWriter e;
    e.record_bytes(stretch ? kEStretchBlt : kEBitBlt, b);
    return e.file({0, 0, 100, 100}, {1000, 1000}, {100, 100}, 1);
  };
  auto emf_dibits = [](int w, int sx, int sy) {
    EmfWriter e;
    e.record_bytes(kEStretchDibits, emf_stretch_dibits(w < 0 ? 10 : 0, 0, w, 10, sx, sy, 1, 1));
    return e.file({0, 0, 100, 100}, {1000, 1000}, {100, 100}, 1);
  };
  struct Case {
    const char* name;
    Bytes file;
    Pixel expected;
  };
  const Case cases[] = {
      {"wmf stretch-dib, bottom left", wmf(kWStretchDib, 10, 0, 0, 1, 1), kBlue},
      {"wmf stretch-dib, bottom right", wmf(kWStretchDib, 10, 1, 0, 1, 1), kWhite},
      {"wmf dib stretch-blt, top left", wmf(kWDibStretchBlt, 10, 0, 0, 1, 1), kRed},
      {"wmf stretch-dib mirrored", wmf(kWStretchDib, -10, 0, 1, 2, 1), kGreen},
      {"emf stretch-dibits, bottom left", emf_dibits(10, 0, 0), kBlue},
      {"emf stretch-dibits, top right", emf_dibits(10, 1, 1), kGreen},
      {"wmf dib bit-blt, from the top", wmf_blt(kWDibBitBlt, kSrcCopy, 0, 1), kBlue},
      {"wmf pat-blt, blackness", wmf_blt(kWPatBlt, 0x00000042, 0, 0), kBlack},
      {"emf stretch-blt, top left", emf_blt(true, 0, 0, 1, 1), kRed},
      {"emf stretch-blt, mirrored source", emf_blt(true, 2, 1, -2, 1), kWhite},
      {"emf bit-blt, from the top", emf_blt(false, 1, 0, 0, 0), kGreen},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const Drawn d = render(k.file, 10, 10, {0, 0, 10, 10});
    ASSERT_TRUE(d.decoded);
    EXPECT_EQ(d.page.at(2, 5), k.expected);
  }
}

TEST(Metafile, ExtendedTextFillsAndClipsToItsRectangle) {
  // "WW" at (2, 1) in the default font runs past x = 10; the options fill the rectangle
  // (0, 0, 10, 8) with the blue background and clip the text to it.
  Bytes t;
  for (const int v : {1, 2, 2, 6, 0, 0, 10, 8}) put16(t, static_cast<uint32_t>(v));
  WmfWriter::put_text(t, "WW");
  WmfWriter w;
  w.record(kWSetBkColor, {kRefBlue & 0xFFFF, kRefBlue >> 16}).record_bytes(kWExtTextOut, t);
  const Drawn d = render(w.file(1, {0, 0, 30, 20}, 1440), 30, 20, {0, 0, 30, 20});
  ASSERT_TRUE(d.decoded);
  EXPECT_EQ(gfx_test::count(d.page, {0, 0, 10, 8}, kGrey), 0);
  EXPECT_GT(gfx_test::count(d.page, {0, 0, 10, 8}, kBlue), 0);
  EXPECT_LT(gfx_test::count(d.page, {0, 0, 10, 8}, kBlue), 80);  // some text drawn
  EXPECT_EQ(gfx_test::count(d.page, kGrey), 30 * 20 - 80);
}

// Small valid files to break.
Bytes small_wmf(bool placeable) {
  WmfWriter w;
  w.record(kWSetWindowExt, {10, 10}).record(kWSetPixel, {kRefRed, 0, 5, 5});
  return placeable ? w.file(1, {0, 0, 10, 10}, 1440) : w.file(1);
}
Bytes small_emf() {
  EmfWriter e;
  e.record(kESetPixel, {5, 5, kRefRed});
  return e.file({0, 0, 100, 100}, {1000, 1000}, {100, 100}, 1);
}

TEST(Metafile, RefusesMalformedFiles) {
  auto with = [](Bytes b, size_t at, uint32_t v) {
    set32(b, at, v);
    return b;
  };
  auto with16 = [](Bytes b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v), b[at + 1] = static_cast<uint8_t>(v >> 8);
    return b;
  };
  auto cut = [](Bytes b, size_t n) {
    b.resize(b.size() - n);
    return b;
  };
  const Bytes wp = small_wmf(true), wn = small_wmf(false), e = small_emf();
  constexpr size_t kFirstRecord = 22 + 18;  // after the placeable and metafile headers
  WmfWriter no_extent;
  no_extent.record(kWSetWindowOrg, {0, 0});
  WmfWriter zero_extent;
  zero_extent.record(kWSetWindowExt, {0, 10});
  struct Case {
    const char* name;
    Bytes file;
  };
  const Case cases[] = {
      {"empty", {}},
      {"not a metafile", Bytes(200, 0x41)},
      {"wmf cut inside its header", Bytes(wp.begin(), wp.begin() + 30)},
      {"wmf cut inside a record", cut(wp, 4)},
      {"wmf record of size 0", with(wp, kFirstRecord, 0)},
      {"wmf record below its header", with(wp, kFirstRecord, 2)},
      {"wmf record past the end", with(wp, kFirstRecord, 0x7FFFFFFF)},
      {"wmf record size wrapping", with(wp, kFirstRecord, 0xFFFFFFFF)},
      {"wmf header of another size", with16(wp, 22 + 2, 10)},
      {"wmf zero-width box", with16(wp, 10, 0)},
      {"wmf zero units per inch", with16(wp, 14, 0)},
      {"wmf without a frame", no_extent.file(1)},
      {"wmf zero window extent", zero_extent.file(1)},
      {"plain wmf cut inside a record", cut(wn, 3)},
      {"emf shorter than its header", Bytes(e.begin(), e.begin() + 80)},
      {"emf without its signature", with(e, 40, 0x20202020)},
      {"emf header past the end", with(e, 4, 0x10000000)},
      {"emf record of size 0", with(e, 88 + 4, 0)},
      {"emf record not a multiple of 4", with(e, 88 + 4, 22)},
      {"emf record past the end", with(e, 88 + 4, 0xFFFFFFF0)},
      {"emf cut inside a record", cut(e, 8)},
      {"emf zero frame", with(e, 32, 0)},
      {"emf inverted frame", with(e, 36, static_cast<uint32_t>(-5))},
      {"emf zero device size", with(e, 72, 0)},
      {"emf zero millimetres", with(e, 84, 0)},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_FALSE(Metafile::decode(k.file).has_value());
  }
  for (const Bytes& good : {wp, wn, e}) EXPECT_TRUE(Metafile::decode(good).has_value());
}

TEST(Metafile, SkipsRecordsThatLieAboutTheirContents) {
  // Each bad record sits between a saved and a restored state, before a red pixel at (5, 5)
  // of a 10 x 10 picture drawn 1:1: playing goes on after it, in the same mapping.
  using WmfRecord = std::pair<uint16_t, Bytes>;
  auto words = [](std::initializer_list<int> ws) {
    Bytes b;
    for (const int w : ws) put16(b, static_cast<uint32_t>(w));
    return b;
  };
  Bytes huge_dib = quad_dib();
  set32(huge_dib, 4, 100000), set32(huge_dib, 8, 100000);
  Bytes stretch_huge;
  put32(stretch_huge, kSrcCopy);
  for (const int v : {0, 2, 2, 0, 0, 10, 10, 0, 0}) put16(stretch_huge, static_cast<uint32_t>(v));
  stretch_huge.insert(stretch_huge.end(), huge_dib.begin(), huge_dib.end());
  const std::vector<std::pair<const char*, std::vector<WmfRecord>>> wmf_cases = {
      {"polyline count past the record", {{kWPolyline, words({1000, 1, 1, 8, 8})}}},
      {"poly-polygon counts past the record", {{kWPolyPolygon, words({30000, 4, 4})}}},
      {"ring count past the points", {{kWPolyPolygon, words({1, 60000, 0, 0, 5, 5})}}},
      {"object slots out of range",
       {{kWSelectObject, words({5000})}, {kWDeleteObject, words({65535})}}},
      {"zero window extent", {{kWSetWindowExt, words({0, 0})}}},
      {"huge coordinates",
       {{kWSetWindowExt, words({1, 1})}, {kWRectangle, words({32767, 32767, -32768, -32768})}}},
      {"text count past the record", {{kWTextOut, words({30000, 0x4141})}}},
      {"extended text count past the record",
       {{kWExtTextOut, words({0, 0, 30000, 6, 0, 0, 5, 5})}}},
      {"bitmap larger than any page", {{kWStretchDib, stretch_huge}}},
      {"restore beyond the saved states",
       {{kWRestoreDc, words({-30000})}, {kWRestoreDc, words({5000})}}},
  };
  for (const auto& [name, records] : wmf_cases) {
    SCOPED_TRACE(name);
    WmfWriter w;
    w.record(kWSaveDc, {});
    for (const auto& [function, params] : records) w.record_bytes(function, params);
    w.record(kWRestoreDc, {-1}).record(kWSetPixel, {kRefRed, 0, 5, 5});
    const Drawn d = render(w.file(4, {0, 0, 10, 10}, 1440), 10, 10, {0, 0, 10, 10});
    ASSERT_TRUE(d.decoded);
    EXPECT_EQ(d.page.at(5, 5), kRed);
  }
  using EmfRecord = std::pair<uint32_t, std::vector<int64_t>>;
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  const std::vector<std::pair<const char*, std::vector<EmfRecord>>> emf_cases = {
      {"polyline count past the record", {{kEPolyline, {0, 0, 0, 0, 0x7FFFFFFF, 1, 1}}}},
      {"poly-polygon counts past the record", {{kEPolyPolygon16, {0, 0, 0, 0, 0x0FFFFFFF, 4, 4}}}},
      {"poly-polygon counts past its points", {{kEPolyPolygon16, {0, 0, 0, 0, 1, 2, 3, 0}}}},
      {"object slots out of range",
       {{kESelectObject, {5000}},
        {kESelectObject, {0x80000063}},
        {kECreatePen, {0, 0, 9, 0, 0}},
        {kECreatePen, {70000, 0, 9, 0, 0}}}},
      {"text offsets past the record",
       {{kETextOutW, {0, 0, 0, 0, 1, 0, 0, 5, 5, 2, 0x7FFFFFF0, 0, 0, 0, 0, 0, 0}},
        {kETextOutW, {0, 0, 0, 0, 1, 0, 0, 5, 5, 0x7FFFFFFF, 76, 0, 0, 0, 0, 0, 0}}}},
      {"bitmap offsets past the record",
       {{kEStretchDibits,
         {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 80, 0x7FFFFFFF, 120, 4, 0, kSrcCopy, 1, 1}}}},
      {"zero window extent",
       {{kESetMapMode, {8}}, {kESetWindowExt, {0, 0}}, {kESetViewportExt, {0, 5}}}},
      {"extreme mapping",
       {{kESetMapMode, {8}},
        {kESetViewportExt, {kMax, kMax}},
        {kERectangle, {-kMax, -kMax, kMax, kMax}},
        {kEEllipse, {-kMax, -kMax, kMax, kMax}}}},
      {"unknown mapping mode", {{kESetMapMode, {99}}}},
      {"restore beyond the saved states",
       {{kERestoreDc, {std::numeric_limits<int32_t>::min()}}, {kERestoreDc, {100}}}},
  };
  for (const auto& [name, records] : emf_cases) {
    SCOPED_TRACE(name);
    EmfWriter e;
    e.record(kESaveDc, {});
    for (const auto& [type, fields] : records) {
      std::vector<uint8_t> bytes;
      for (const int64_t v : fields) put32(bytes, static_cast<uint32_t>(v));
      e.record_bytes(type, bytes);
    }
    e.record(kERestoreDc, {-1}).record(kESetPixel, {5, 5, kRefRed});
    const Drawn d =
        render(e.file({0, 0, 100, 100}, {1000, 1000}, {100, 100}, 4), 10, 10, {0, 0, 10, 10});
    ASSERT_TRUE(d.decoded);
    EXPECT_EQ(d.page.at(5, 5), kRed);
  }
}

TEST(Metafile, DeepSavesAreBounded) {
  // Far more saves than kept: the restores past the kept ones change nothing.
  WmfWriter w;
  w.record(kWCreatePen, {0, 0, 0, kRefRed, 0}).record(kWSelectObject, {0});
  for (int i = 0; i < 5000; ++i) w.record(kWSaveDc, {});
  for (int i = 0; i < 5000; ++i) w.record(kWRestoreDc, {-1});
  w.record(kWMoveTo, {5, 0}).record(kWLineTo, {5, 10});
  const Drawn d = render(w.file(1, {0, 0, 10, 10}, 1440), 10, 10, {0, 0, 10, 10});
  ASSERT_TRUE(d.decoded);
  EXPECT_EQ(d.page.at(3, 5), kRed);
}

TEST(Metafile, CurvesPastTheirBoundAreSkipped) {
  // An ellipse wider and higher than 2^16 pixels is charged 2 (2^16 + 2^16) = 2^18 of the
  // 2^24 pixels a playing may trace: 64 fit. The last of them is blue: drawn or skipped.
  for (const int count : {64, 65}) {
    SCOPED_TRACE(testing::Message() << count << " huge ellipses");
    EmfWriter e;
    e.record(kESelectObject, {0x80000008})
        .record(kESelectObject, {0x80000000})
        .record(kECreateBrush, {1, 0, kRefBlue, 0});
    for (int i = 0; i < count; ++i) {
      if (i == count - 1) e.record(kESelectObject, {1});
      e.record(kEEllipse, {-100000, -100000, 100000, 100000});
    }
    e.record(kESetPixel, {1, 1, kRefRed});
    const Drawn d =
        render(e.file({0, 0, 100, 100}, {1000, 1000}, {100, 100}, 2), 10, 10, {0, 0, 10, 10});
    ASSERT_TRUE(d.decoded);
    EXPECT_EQ(d.page.at(5, 5), count <= 64 ? kBlue : kWhite);
    EXPECT_EQ(d.page.at(1, 1), kRed);
  }
}

// A 10 x 10 picture (one logical unit a pixel) of `records`, drawn onto a grey page.
Drawn render_small(const EmfWriter& e) {
  return render(e.file({0, 0, 100, 100}, {1000, 1000}, {100, 100}, 4), 10, 10, {0, 0, 10, 10});
}

TEST(Metafile, StrokesPastTheirBoundAreSkipped) {
  // A path of segments 10,000 pixels long across the page is charged 10 + 2 w steps a segment
  // (the page and the pen's reach on both sides) times w + kStepPixels: with a 1024-pixel pen
  // 15 segments fit in the kMaxStrokePixels a playing may stroke, 16 do not; with a 1-pixel
  // pen they do. A black line drawn after it shows that the playing goes on.
  struct Case {
    int segments, pen;
    bool drawn;
  };
  for (const Case& c : {Case{15, 1024, true}, Case{16, 1024, false}, Case{16, 1, true}}) {
    SCOPED_TRACE(testing::Message() << c.segments << " segments, pen " << c.pen);
    Bytes path;
    for (int i = 0; i < 4; ++i) put32(path, 0);
    put32(path, static_cast<uint32_t>(c.segments + 1));
    for (int i = 0; i <= c.segments; ++i) {
      put32(path, static_cast<uint32_t>(i % 2 ? 5000 : -5000));
      put32(path, 5);
    }
    EmfWriter e;
    e.record(kECreatePen, {1, 0, c.pen, 0, kRefBlue})
        .record(kESelectObject, {1})
        .record_bytes(kEPolyline, path)
        .record(kESelectObject, {0x80000007})  // stock black pen
        .record(kEMoveTo, {0, 8})
        .record(kELineTo, {10, 8});
    const Drawn d = render_small(e);
    ASSERT_TRUE(d.decoded);
    EXPECT_EQ(d.page.at(5, 5), c.drawn ? kBlue : kGrey);
    EXPECT_EQ(d.page.at(5, 8), kBlack);
  }
}

TEST(Metafile, FillsPastTheirBoundAreSkipped) {
  // Rectangles covering a 1024 x 1024 page are charged 2^20 pixels each of the 2^28 a
  // playing may fill: 256 fit. The last of them is blue: drawn or skipped.
  for (const int count : {256, 257}) {
    SCOPED_TRACE(testing::Message() << count << " rectangles");
    EmfWriter e;
    e.record(kESelectObject, {0x80000008}).record(kECreateBrush, {1, 0, kRefBlue, 0});
    for (int i = 0; i < count; ++i) {
      if (i == count - 1) e.record(kESelectObject, {1});
      e.record(kERectangle, {-10, -10, 2000, 2000});
    }
    const Drawn d = render(
        e.file({0, 0, 10240, 10240}, {1000, 1000}, {100, 100}, 2), 1024, 1024, {0, 0, 1024, 1024});
    ASSERT_TRUE(d.decoded);
    EXPECT_EQ(d.page.at(512, 512), count <= 256 ? kBlue : kWhite);
  }
}

// The font of slot 1 at `height` logical units, selected, and transparent black text.
EmfWriter& select_font(EmfWriter& e, int height) {
  Bytes font;
  put32(font, 1);
  put32(font, static_cast<uint32_t>(height));
  for (int i = 0; i < 3; ++i) put32(font, 0);
  put32(font, 400);
  for (int i = 0; i < 8; ++i) font.push_back(i == 7 ? 0x20 : 0);
  font.resize(font.size() + 64);
  return e.record(kEDeleteObject, {1})
      .record_bytes(kECreateFont, font)
      .record(kESelectObject, {1})
      .record(kESetTextColor, {0})
      .record(kESetBkMode, {1});
}

TEST(Metafile, TextPastTheGlyphBoundDrawsNothing) {
  // 200 distinct characters at the largest font size, one on top of the other in the page's
  // grey, spend the FontCache::kMaxGlyphPixels a playing may render; a black "H" drawn after
  // them is laid out but not drawn.
  std::u16string spend;
  for (char16_t c = 0x100; c < 0x100 + 200; ++c) spend.push_back(c);
  for (const bool spent : {false, true}) {
    SCOPED_TRACE(spent ? "after the bound is spent" : "alone");
    EmfWriter e;
    if (spent) {
      select_font(e, -2048)
          .record(kESetTextColor, {0x808080})
          .record_bytes(kETextOutW, emf_text(0, -500, spend, 0));
    }
    select_font(e, -10).record_bytes(kETextOutW, emf_text(0, 0, u"H"));
    const Drawn d = render_small(e);
    ASSERT_TRUE(d.decoded);
    EXPECT_EQ(gfx_test::count(d.page, {0, 0, 10, 10}, kGrey) < 100, !spent);
  }
}

TEST(Metafile, TextWiderThanTheIntRangeFillsToThePageEdge) {
  // 1.2 million W at the largest font size are wider than 2^31 pixels: the opaque box from the
  // reference point runs to the right edge of the page, and nothing is drawn left of it.
  EmfWriter e;
  select_font(e, -2048)
      .record(kESetBkMode, {2})
      .record(kESetBkColor, {kRefRed})
      .record(kESetTextColor, {kRefRed})
      .record_bytes(kETextOutW, emf_text(3, 0, std::u16string(1'200'000, u'W')));
  const Drawn d = render_small(e);
  ASSERT_TRUE(d.decoded);
  EXPECT_EQ(gfx_test::count(d.page, {0, 0, 3, 10}, kGrey), 30);
  EXPECT_EQ(gfx_test::count(d.page, {3, 0, 10, 10}, kRed), 70);
}

TEST(Metafile, SizeComesFromTheFrame) {
  // Sizes in 0.01 mm, and in pixels at 96 per inch (rounded, at least 1).
  struct Case {
    const char* name;
    Bytes file;
    int32_t width, height;
    int width_px, height_px;
  };
  WmfWriter w;
  w.record(kWSetWindowExt, {48, 96});
  EmfWriter e;
  const Case cases[] = {
      {"placeable: 1440 units per inch",
       WmfWriter().file(1, {0, 0, 1440, 720}, 1440),
       2540,
       1270,
       96,
       48},
      {"plain: 96 units per inch", w.file(1), 2540, 1270, 96, 48},
      {"enhanced: the frame",
       e.file({100, 200, 2100, 1200}, {1000, 1000}, {100, 100}, 1),
       2000,
       1000,
       76,
       38},
      {"enhanced: a tiny frame", e.file({0, 0, 1, 1}, {1000, 1000}, {100, 100}, 1), 1, 1, 1, 1},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const auto m = Metafile::decode(k.file);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->width_himetric(), k.width);
    EXPECT_EQ(m->height_himetric(), k.height);
    EXPECT_EQ(m->width(), k.width_px);
    EXPECT_EQ(m->height(), k.height_px);
  }
}

}  // namespace
}  // namespace platform
