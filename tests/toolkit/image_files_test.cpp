#include "toolkit/image_files.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <climits>
#include <filesystem>
#include <new>
#include <string>
#include <thread>

#include "platform/image/bmp.hpp"
#include "platform/image/jpeg_decode.hpp"
#include "platform/image/picture_file.hpp"
#include "support/icon_file.hpp"
#include "support/metafile_writer.hpp"
#include "support/picture_files.hpp"
#include "support/temp_dir.hpp"
#include "toolkit/dib.hpp"
#include "toolkit/drawing_state.hpp"
#include "toolkit/images.hpp"
#include "toolkit/text.hpp"
#include "toolkit_fixture.hpp"

namespace gk {
namespace {

using platform::Page;
using platform::Pixel;

class NoPrinters : public platform::Spooler {
 public:
  std::optional<std::string> default_destination() override { return std::nullopt; }
  bool submit(const std::string&, const std::string&, const std::string&) override { return false; }
};

class ImageFiles : public toolkit_test::HeadlessToolkit {
 protected:
  void SetUp() override {
    HeadlessToolkit::SetUp();
    install_drawing();
    install_text();
    system.set_spooler(&no_printers);
    system.set_printer_opener([this](const platform::PrintDialogAnswer&) { return printer; });
    index = initwindow(200, 100, title_, kDefaultPos, kDefaultPos, 0, 0);
    ASSERT_GE(index, 0);
    rec = record(index);
    ASSERT_NE(rec, nullptr);
    std::lock_guard<platform::CriticalSection> g(rec->dc_lock);
    for (Page& page : rec->pages) {
      for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) page.at(x, y) = Pixel(x * 0x10101 + y * 0x100);
      }
    }
  }
  std::string path(const char* name) const { return dir.file(name); }
  Page& page() { return rec->pages[static_cast<size_t>(rec->active_page.load())]; }

  const char* title_ = "Plot window";
  NoPrinters no_printers;
  std::shared_ptr<platform::VirtualPrinter> printer = std::make_shared<platform::VirtualPrinter>();
  int32_t index = -1;
  WindowRef rec;
  testsupport::TempDir dir;
};

TEST_F(ImageFiles, WrittenFileHoldsTheBlockPixelForPixel) {
  ASSERT_NE(writeimagefile(path("a.bmp").c_str(), 0, 0, 99, 49, 0), 0);
  EXPECT_EQ(std::filesystem::file_size(path("a.bmp")), 54u + 15000u);
  const auto back = platform::read_bmp(path("a.bmp"));
  ASSERT_TRUE(back.has_value());
  ASSERT_EQ(back->width(), 100);
  ASSERT_EQ(back->height(), 50);
  for (int y = 0; y < 50; ++y) {
    for (int x = 0; x < 100; ++x) ASSERT_EQ(back->at(x, y), page().at(x, y));
  }
  ASSERT_NE(writeimagefile(path("b.bmp").c_str(), -20, -20, 5000, 5000, 0), 0);
  const auto whole = platform::read_bmp(path("b.bmp"));
  ASSERT_TRUE(whole.has_value());
  EXPECT_EQ(whole->width(), 200);  // cut to the window
  EXPECT_EQ(whole->height(), 100);
}

TEST_F(ImageFiles, SaveDialogNamesGetTheirExtension) {
  struct Case {
    const char* chosen;
    const char* written;
  };
  for (const Case c : {Case{"plot", "plot.BMP"}, Case{"plot.bmp", "plot.bmp"}}) {
    SCOPED_TRACE(c.chosen);
    dialogs.script_file(path(c.chosen));
    EXPECT_NE(writeimagefile("", 0, 0, 9, 9, 0), 0);
    EXPECT_TRUE(std::filesystem::exists(path(c.written)));
  }
  const auto shown = dialogs.shown_files();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_TRUE(shown[0].save);
  ASSERT_EQ(shown[0].filters.size(), 1u);
  EXPECT_EQ(shown[0].filters[0].name, "Bitmap files (*.bmp)");
  EXPECT_EQ(shown[0].filters[0].pattern, "*.BMP");
  EXPECT_TRUE(shown[0].overwrite_prompt);
}

TEST_F(ImageFiles, AddedExtensionAsksBeforeReplacingAnotherFile) {
  ASSERT_NE(writeimagefile(path("plot.BMP").c_str(), 0, 0, 9, 9, 0), 0);
  const auto before = std::filesystem::file_size(path("plot.BMP"));
  dialogs.script_file(path("plot"));  // the dialog asked about "plot", which does not exist
  dialogs.script_answer(platform::DialogAnswer::No);
  EXPECT_EQ(writeimagefile("", 0, 0, 99, 49, 0), 0);
  EXPECT_EQ(std::filesystem::file_size(path("plot.BMP")), before);
  ASSERT_EQ(dialogs.shown().size(), 1u);
  EXPECT_EQ(dialogs.shown()[0].text, "plot.BMP already exists.\nDo you want to replace it?");
  EXPECT_EQ(dialogs.shown()[0].buttons, platform::DialogButtons::YesNo);

  dialogs.script_file(path("plot"));
  dialogs.script_answer(platform::DialogAnswer::Yes);
  EXPECT_NE(writeimagefile("", 0, 0, 99, 49, 0), 0);
  EXPECT_GT(std::filesystem::file_size(path("plot.BMP")), before);
  dialogs.script_file(path("fresh"));  // nothing to replace: no question
  EXPECT_NE(writeimagefile("", 0, 0, 9, 9, 0), 0);
  EXPECT_EQ(dialogs.shown().size(), 2u);
}

TEST_F(ImageFiles, CancelledOrFailedSaveWritesNothing) {
  dialogs.script_file(std::nullopt);
  EXPECT_EQ(writeimagefile(nullptr, 0, 0, 9, 9, 0), 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  EXPECT_EQ(writeimagefile("/nonexistent-dir/x.bmp", 0, 0, 9, 9, 0), 0);
}

TEST_F(ImageFiles, PrintedPagePlacesTitleAndPicture) {
  dialogs.script_print(platform::PrintDialogAnswer{"Virtual printer", ""});
  ASSERT_NE(printimage("Fit of model 1", 0, 0, 99, 49, 0), 0);
  ASSERT_EQ(printer->printed().size(), 1u);
  EXPECT_EQ(printer->printed()[0].document, "GuiKit Window");
  const Page& paper = printer->printed()[0].page;
  // The title's ink starts at (225, 225).
  int title_left = INT_MAX, title_top = INT_MAX;
  for (int y = 200; y < 300; ++y) {
    for (int x = 200; x < 1500; ++x) {
      if (paper.at(x, y) != 0xFFFFFFu) title_left = std::min(title_left, x);
      if (paper.at(x, y) != 0xFFFFFFu) title_top = std::min(title_top, y);
    }
  }
  EXPECT_GE(title_left, 225);
  EXPECT_LE(title_left, 235);
  EXPECT_GE(title_top, 225);
  EXPECT_LE(title_top, 260);
  // The picture: 2250 x 1125 at (225, 300), 22.5 paper pixels per window pixel.
  EXPECT_EQ(paper.at(225, 300), page().at(0, 0));
  EXPECT_EQ(paper.at(225 + 2249, 300 + 1124), page().at(99, 49));
  EXPECT_EQ(paper.at(225 + 2250, 300), 0xFFFFFFu);
  EXPECT_EQ(paper.at(224, 300), 0xFFFFFFu);
  EXPECT_EQ(paper.at(225, 299), 0xFFFFFFu);
}

TEST_F(ImageFiles, PrintWithoutTitleUsesTheWindowTitle) {
  dialogs.script_print(platform::PrintDialogAnswer{"Virtual printer", ""});
  ASSERT_NE(printimage(nullptr, 0, 0, 99, 49, 0), 0);
  const Page& paper = printer->printed()[0].page;
  int ink = 0;
  for (int y = 225; y < 290; ++y) {
    for (int x = 225; x < 800; ++x) ink += paper.at(x, y) != 0xFFFFFFu;
  }
  EXPECT_GT(ink, 100);  // "Plot window"
  EXPECT_EQ(paper.at(225, 300), page().at(0, 0));
}

TEST_F(ImageFiles, PrintWithoutTitlesMovesThePictureUp) {
  setwindowtitle("");
  dialogs.script_print(platform::PrintDialogAnswer{"Virtual printer", ""});
  ASSERT_NE(printimage(nullptr, 0, 0, 99, 49, 0), 0);
  const Page& paper = printer->printed()[0].page;
  EXPECT_EQ(paper.at(225, 225), page().at(0, 0));
  EXPECT_EQ(paper.at(225, 224), 0xFFFFFFu);
  dialogs.script_print(std::nullopt);
  EXPECT_EQ(printimage("Cancelled", 0, 0, 99, 49, 0), 0);
  EXPECT_EQ(printer->printed().size(), 1u);
  const auto shown = dialogs.shown_prints();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].printer, "");  // no printer configured: the dialog offers a file only
}

TEST_F(ImageFiles, PrintReadsTheWindowTitleWhileAnotherThreadRenamesIt) {
  std::atomic<bool> stop{false};
  std::thread renamer([&] {
    while (!stop) setwindowtitle("Renamed window");
  });
  for (int i = 0; i < 3; ++i) {
    dialogs.script_print(platform::PrintDialogAnswer{"Virtual printer", ""});
    EXPECT_NE(printimage(nullptr, 0, 0, 9, 9, 0), 0);
  }
  stop = true;
  renamer.join();
  EXPECT_EQ(printer->printed().size(), 3u);
}

TEST_F(ImageFiles, PictureFilesAreDrawnScaledIntoTheRectangle) {
  Page picture(4, 2);
  picture.fill(0x00FF00);
  picture.at(3, 1) = 0xFF0000;
  ASSERT_TRUE(platform::write_bmp24(path("p.bmp"), picture));
  readimagefile(path("p.bmp").c_str(), 10, 20, INT_MAX, INT_MAX);  // its own size
  EXPECT_EQ(page().at(10, 20), 0x00FF00u);
  EXPECT_EQ(page().at(13, 21), 0xFF0000u);
  EXPECT_NE(page().at(14, 21), 0xFF0000u);
  readimagefile(path("p.bmp").c_str(), 50, 50, 57, 53);  // 8 x 4: doubled
  EXPECT_EQ(page().at(56, 52), 0xFF0000u);
  EXPECT_EQ(page().at(57, 53), 0xFF0000u);
  EXPECT_EQ(page().at(55, 53), 0x00FF00u);
  const Pixel before = page().at(0, 0);
  dialogs.script_file(std::nullopt);
  readimagefile(nullptr, 0, 0, 9, 9);
  EXPECT_EQ(dialogs.shown_files().at(0).filters.at(0).pattern,
            "*.BMP;*.GIF;*.JPG;*.ICO;*.EMF;*.WMF");
  EXPECT_TRUE(dialogs.shown().empty());
  EXPECT_EQ(page().at(0, 0), before);
}

// Every entry that reads a picture file names it in an error box with the true reason when it
// gives no picture, and draws nothing: missing, special and oversize files are looked at before
// anything is read (a FIFO would block, /dev/zero never end), read errors are caught, and
// headers above the pixel limit are refused before any pixel is decoded.
TEST_F(ImageFiles, FilesThatGiveNoPictureAreNamedWithTheirReason) {
  const std::string too_many_bytes =
      "larger than " + std::to_string(platform::kMaxPictureFileBytes) + " bytes";
  std::filesystem::resize_file(dir.write("huge.bmp", "BM"), platform::kMaxPictureFileBytes + 1);
  std::vector<uint8_t> oversize = platform::encode_bmp24(Page(1, 1));
  testsupport::set32(oversize, 18, 8193);  // width x height: 8193 x 8192
  testsupport::set32(oversize, 22, 8192);
  dir.write("oversize.bmp", testsupport::as_string(oversize));
  dir.write("empty.bmp", "");
  dir.write("text.bmp", "not a picture");
  std::filesystem::create_directory(path("folder.bmp"));
  ASSERT_EQ(mkfifo(path("fifo.bmp").c_str(), 0600), 0);
  const struct {
    std::string file;
    std::string reason;
  } cases[] = {
      {path("missing.bmp"), "No such file or directory"},
      {path("folder.bmp"), "Is a directory"},
      {path("fifo.bmp"), "not a regular file"},
      {"/dev/zero", "not a regular file"},
      {"/proc/self/mem", "Input/output error"},
      {path("huge.bmp"), too_many_bytes},
      {path("empty.bmp"), "not a picture"},
      {path("text.bmp"), "not a picture"},
      {path("oversize.bmp"), "larger than 16777216 pixels"},
  };
  const Page before = page();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string box = "Cannot read image " + c.file + ": " + c.reason;
    readimagefile(c.file.c_str(), 0, 0, 9, 9);
    int32_t width = -1, height = -1;
    EXPECT_TRUE(loadimage(c.file.c_str(), &width, &height).empty());
    EXPECT_EQ(width, -1);
    EXPECT_EQ(LoadDIB(c.file.c_str()), nullptr);
    const auto boxes = dialogs.shown();
    ASSERT_EQ(boxes.size(), 3u);
    for (const auto& shown : boxes) {
      EXPECT_EQ(shown.title, "Error");
      EXPECT_EQ(shown.text, box);
    }
    dialogs.clear();
  }
  EXPECT_EQ(page().at(0, 0), before.at(0, 0));
}

// A decoder that runs out of memory for a picture (here the JPEG reader's page) is told
// apart from a file that is no picture: the box says that memory ran out.
TEST_F(ImageFiles, ADecoderOutOfMemorySaysSo) {
  dir.write("grey.jpg", testsupport::as_string(testsupport::jpeg_file(8, 8, {0x808080})));
  platform::jpeg_allocation_seam = [] { throw std::bad_alloc(); };
  readimagefile(path("grey.jpg").c_str(), 0, 0, 9, 9);
  platform::jpeg_allocation_seam = nullptr;
  ASSERT_EQ(dialogs.shown().size(), 1u);
  EXPECT_EQ(dialogs.shown()[0].text, "Insufficient memory to read image");
}

// 4 x 2 icons of every depth, drawn at their own size and doubled: (3, 0) is transparent and,
// in the pictures with alpha, (3, 1) is white at half opacity; loadimage makes them black.
TEST_F(ImageFiles, IconsOfEveryDepthDrawWithTheirTransparency) {
  using testsupport::icon_dib;
  constexpr Pixel R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, Y = 0xFFFF00, W = 0xFFFFFF;
  constexpr Pixel kKept = 0xFF000000, kHalf = 0xFE000000;  // markers: the page's, half white
  constexpr uint32_t O = 0xFF000000, H = 0x80000000;       // alpha bytes: opaque, half
  std::vector<uint32_t> table(256, 0);
  table[0] = R, table[1] = G, table[2] = B, table[3] = Y;
  const auto first = [&](size_t n) {
    return std::vector<uint32_t>(table.begin(), table.begin() + n);
  };
  const std::vector<uint32_t> indices = {0, 1, 2, 3, 3, 2, 1, 0};
  const std::vector<uint32_t> colours = {R, G, B, Y, Y, B, G, R};
  // clang-format off
  const std::vector<uint32_t> with_alpha = {R | O, G | O, B | O, Y, Y | O, B | O, G | O, W | H};
  const std::vector<bool> mask = {false, false, false, true, false, false, false, false};
  const std::vector<bool> all_set(8, true);  // ignored where the alpha bytes say more
  const std::vector<Pixel> masked = {R, G, B, kKept, Y, B, G, R};
  const std::vector<Pixel> blended = {R, G, B, kKept, Y, B, G, kHalf};
  struct Case {
    const char* name;
    std::vector<uint8_t> image;
    std::vector<Pixel> expected;  // row by row from the top
  };
  const Case cases[] = {
      {"1 bit", icon_dib(4, 2, 1, first(2), {0, 1, 0, 1, 1, 0, 1, 0}, mask),
       {R, G, R, kKept, G, R, G, R}},
      {"4 bits", icon_dib(4, 2, 4, first(16), indices, mask), masked},
      {"8 bits", icon_dib(4, 2, 8, table, indices, mask), masked},
      {"24 bits", icon_dib(4, 2, 24, {}, colours, mask), masked},
      {"32 bits, no alpha", icon_dib(4, 2, 32, {}, colours, mask), masked},
      {"32 bits with alpha", icon_dib(4, 2, 32, {}, with_alpha, all_set), blended},
      {"PNG", testsupport::png_rgba(4, 2, with_alpha), blended},
  };
  // clang-format on
  const Page before = page();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::lock_guard<platform::CriticalSection> g(rec->dc_lock);
      page() = before;
    }
    const std::string file = dir.write(
        "icon.ico", testsupport::as_string(testsupport::icon_file({{4, 2, 32, c.image}})));
    readimagefile(file.c_str(), 10, 20, INT_MAX, INT_MAX);
    readimagefile(file.c_str(), 10, 40, 17, 43);  // doubled
    int32_t width = 0, height = 0;
    const auto loaded = image_page(loadimage(file.c_str(), &width, &height));
    ASSERT_TRUE(loaded.has_value());
    ASSERT_EQ(width, 4);
    ASSERT_EQ(height, 2);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 4; ++x) {
        SCOPED_TRACE(testing::Message() << "at " << x << ", " << y);
        const Pixel want = c.expected[size_t(y) * 4 + x];
        if (want == kHalf) {
          // Half of white over the page's (13, 34, 13): 128 + round(d * 127 / 255) each.
          EXPECT_EQ(page().at(13, 21), 0x869186u);
          EXPECT_EQ(loaded->at(x, y), 0x808080u);
          continue;
        }
        EXPECT_EQ(page().at(10 + x, 20 + y), want == kKept ? before.at(10 + x, 20 + y) : want);
        EXPECT_EQ(loaded->at(x, y), want == kKept ? 0u : want);
        for (int dy = 0; dy < 2; ++dy) {
          for (int dx = 0; dx < 2; ++dx) {
            const int px = 10 + 2 * x + dx, py = 40 + 2 * y + dy;
            EXPECT_EQ(page().at(px, py), want == kKept ? before.at(px, py) : want);
          }
        }
      }
    }
  }
}

// A metafile of each kind whose frame is red on its left half and blue on its right, drawn
// into a rectangle and at its own size (the frame at 96 dots per inch).
TEST_F(ImageFiles, MetafilesArePlayedIntoTheRectangle) {
  using testsupport::put16;
  using testsupport::put32;
  constexpr uint32_t kRefRed = 0x0000FF, kRefBlue = 0xFF0000;
  const int left[] = {0, 0, 50, 0, 50, 100, 0, 100}, right[] = {50, 0, 100, 0, 100, 100, 50, 100};
  testsupport::WmfWriter w;
  w.record(0x02FA, {5, 0, 0, 0, 0})  // null pen in slot 0, red and blue brushes in 1 and 2
      .record(0x02FC, {0, kRefRed, 0, 0})
      .record(0x02FC, {0, 0, kRefBlue >> 16, 0})
      .record(0x012D, {0});
  testsupport::EmfWriter e;
  e.record(37, {0x80000008}).record(39, {1, 0, kRefRed, 0}).record(39, {2, 0, kRefBlue, 0});
  for (int half = 0; half < 2; ++half) {
    std::vector<uint8_t> wmf_points, emf_points;
    put16(wmf_points, 4);
    for (int i = 0; i < 4; ++i) put32(emf_points, 0);  // bounds
    put32(emf_points, 4);
    for (const int v : half == 0 ? left : right) {
      put16(wmf_points, static_cast<uint32_t>(v));
      put16(emf_points, static_cast<uint32_t>(v));
    }
    w.record(0x012D, {1 + half}).record_bytes(0x0324, wmf_points);
    e.record(37, {1 + half}).record_bytes(86, emf_points);
  }
  testsupport::WmfWriter plain = w;
  plain.record(0x020C, {100, 100});  // the frame: 100 units, counted at 96 per inch
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    int own_size;  // pixels
  };
  const Case cases[] = {
      {"placeable wmf", w.file(3, {0, 0, 100, 100}, 100), 96},
      {"plain wmf", plain.file(3), 100},
      {"emf", e.file({0, 0, 2540, 2540}, {1000, 1000}, {254, 254}, 3), 96},  // 100 pixels
  };
  const Page before = page();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::lock_guard<platform::CriticalSection> g(rec->dc_lock);
      page() = before;
    }
    const std::string file = dir.write("picture.wmf", testsupport::as_string(c.file));
    readimagefile(file.c_str(), 120, 10, 179, 49);  // 60 x 40
    EXPECT_EQ(page().at(120, 10), 0xFF0000u);
    EXPECT_EQ(page().at(149, 49), 0xFF0000u);
    EXPECT_EQ(page().at(150, 10), 0x0000FFu);
    EXPECT_EQ(page().at(179, 49), 0x0000FFu);
    for (const auto& [x, y] : {std::pair{119, 30}, {180, 30}, {150, 9}, {150, 50}})
      EXPECT_EQ(page().at(x, y), before.at(x, y)) << x << "," << y;
    readimagefile(file.c_str(), 0, 0, INT_MAX, INT_MAX);
    const int half = c.own_size / 2;
    EXPECT_EQ(page().at(half - 1, 60), 0xFF0000u);
    EXPECT_EQ(page().at(half, 60), 0x0000FFu);
    EXPECT_EQ(page().at(c.own_size, 60), before.at(c.own_size, 60));
  }
}

TEST_F(ImageFiles, RectanglesFarLargerThanThePageStillDraw) {
  Page picture(2, 2);
  picture.at(0, 0) = 0xFF0000, picture.at(1, 0) = 0x00FF00;
  picture.at(0, 1) = 0x0000FF, picture.at(1, 1) = 0xFFFF00;
  ASSERT_TRUE(platform::write_bmp24(path("q.bmp"), picture));
  readimagefile(path("q.bmp").c_str(), 0, 0, 9999, 9999);  // 10^8 pixels, top-left quarter shown
  EXPECT_EQ(page().at(0, 0), 0xFF0000u);
  EXPECT_EQ(page().at(199, 99), 0xFF0000u);
  readimagefile(path("q.bmp").c_str(), -9900, -9950, 99, 49);  // bottom-right quarter shown
  EXPECT_EQ(page().at(0, 0), 0xFFFF00u);
  EXPECT_EQ(page().at(99, 49), 0xFFFF00u);
  EXPECT_EQ(page().at(100, 50), 0xFF0000u);
  const Page before = page();
  readimagefile(path("q.bmp").c_str(), INT_MIN, INT_MIN, INT_MAX - 1, INT_MAX - 1);
  std::vector<uint8_t> image = mallocimage(9, 9);
  const std::vector<uint8_t> untouched = image;
  getimage(INT_MIN, INT_MIN, INT_MAX, INT_MAX, image);
  EXPECT_EQ(image, untouched);
  EXPECT_TRUE(
      std::equal(before.data(), before.data() + before.width() * before.height(), page().data()));
}

TEST_F(ImageFiles, PutimageXorTwiceRestoresThePage) {
  const Page original = page();
  std::vector<uint8_t> image = mallocimage(29, 19);
  getimage(5, 5, 34, 24, image);
  putimage(60, 40, image, 1);
  EXPECT_NE(page().at(60, 40), original.at(60, 40));
  putimage(60, 40, image, 1);
  EXPECT_TRUE(std::equal(
      original.data(), original.data() + original.width() * original.height(), page().data()));
  putimage(0, 0, image, 0);
  EXPECT_EQ(page().at(29, 19), original.at(34, 24));
  std::vector<uint8_t> small = mallocimage(9, 9);
  const std::vector<uint8_t> untouched = small;
  getimage(0, 0, 29, 19, small);  // does not fit
  EXPECT_EQ(small, untouched);
  putimage(0, 0, image, 5);  // unknown op
  EXPECT_EQ(page().at(29, 19), original.at(34, 24));
}

}  // namespace
}  // namespace gk
