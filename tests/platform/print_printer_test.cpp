#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/print/lp_spooler.hpp"
#include "platform/print/printer.hpp"
#include "support/temp_dir.hpp"

namespace platform {
namespace {

std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Page solid(int w, int h, Pixel p) {
  Page page(w, h);
  page.fill(p);
  return page;
}

TEST(Printer, VirtualPrinterKeepsALetterPageAt300Dpi) {
  VirtualPrinter printer;
  EXPECT_EQ(printer.dpi_x(), 300);
  EXPECT_EQ(printer.dpi_y(), 300);
  ASSERT_TRUE(printer.start_document("Doc"));
  EXPECT_FALSE(printer.start_document("Other"));  // one document at a time
  ASSERT_TRUE(printer.end_document());
  EXPECT_FALSE(printer.end_document());
  ASSERT_EQ(printer.printed().size(), 1u);
  const VirtualPrinter::Printed& p = printer.printed()[0];
  EXPECT_EQ(p.document, "Doc");
  EXPECT_EQ(p.page.width(), 2550);
  EXPECT_EQ(p.page.height(), 3300);
  EXPECT_EQ(p.page.at(0, 0), 0xFFFFFFu);
  EXPECT_EQ(p.page.at(2549, 3299), 0xFFFFFFu);
}

TEST(Printer, ImagesAreScaledIntoPlaceAndTextIsBlack) {
  VirtualPrinter printer;
  auto font = Font::create({50, 400, FontFamily::Swiss, "", false});
  ASSERT_NE(font, nullptr);
  ASSERT_TRUE(printer.start_document("Doc"));
  printer.draw_image(225, 300, 2250, 1125, solid(100, 50, 0x123456));
  printer.draw_image(2500, 3200, 200, 200, solid(2, 2, 0xFF0000));  // cut at the paper's edge
  printer.draw_text(225, 225, u"Title", *font);
  printer.draw_text(225, 225, u"ignored", *font);
  ASSERT_TRUE(printer.end_document());
  printer.draw_text(0, 0, u"after the end", *font);  // no document: nothing happens
  const Page& page = printer.printed()[0].page;
  EXPECT_EQ(page.at(225, 300), 0x123456u);
  EXPECT_EQ(page.at(225 + 2249, 300 + 1124), 0x123456u);
  EXPECT_EQ(page.at(224, 300), 0xFFFFFFu);
  EXPECT_EQ(page.at(225 + 2250, 300), 0xFFFFFFu);
  EXPECT_EQ(page.at(225, 300 + 1125), 0xFFFFFFu);
  EXPECT_EQ(page.at(2549, 3299), 0xFF0000u);
  int dark = 0;
  for (int y = 225; y < 275; ++y) {
    for (int x = 225; x < 600; ++x) dark += page.at(x, y) == 0;
  }
  EXPECT_GT(dark, 100);
}

TEST(Printer, HugeImagesAreScaledOnlyWhereThePaperIs) {
  VirtualPrinter printer;
  Page tall(1, 1000);
  tall.fill(0x00FF00);
  tall.at(0, 0) = 0xFF0000;
  ASSERT_TRUE(printer.start_document("Doc"));
  printer.draw_image(225, 300, 2250, 2250000, tall);  // 7.5 inches wide: 7500 inches high
  printer.draw_image(-3000000, 100, 3000010, 10, solid(1, 1, 0x0000FF));  // ends at x 10
  printer.draw_image(5, 5, -1, 10, tall);                                 // nothing
  ASSERT_TRUE(printer.end_document());
  const Page& page = printer.printed()[0].page;
  EXPECT_EQ(page.at(225, 300), 0xFF0000u);
  EXPECT_EQ(page.at(2474, 3299), 0x00FF00u);
  EXPECT_EQ(page.at(0, 105), 0x0000FFu);
  EXPECT_EQ(page.at(9, 105), 0x0000FFu);
  EXPECT_EQ(page.at(10, 105), 0xFFFFFFu);
}

TEST(Printer, PdfPrinterWritesALetterSizedDocument) {
  const testsupport::TempDir dir;
  const auto path = dir.file("varqen_printer_test.pdf");
  PdfPrinter printer(path);
  ASSERT_TRUE(printer.start_document("Doc"));
  printer.draw_image(225, 225, 100, 100, solid(4, 4, 0x00FF00));
  ASSERT_TRUE(printer.end_document());
  const std::string pdf = file_text(path);
  EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
  EXPECT_NE(pdf.find("/MediaBox [ 0 0 612 792 ]"), std::string::npos);
  std::filesystem::remove(path);

  PdfPrinter nowhere("/nonexistent-dir/out.pdf");
  ASSERT_TRUE(nowhere.start_document("Doc"));
  EXPECT_FALSE(nowhere.end_document());
  EXPECT_FALSE(std::filesystem::exists("/nonexistent-dir/out.pdf"));
}

class FakeSpooler : public Spooler {
 public:
  std::optional<std::string> destination;
  bool accept = true;
  std::string queued_destination, queued_title, queued_content, queued_path;

  std::optional<std::string> default_destination() override { return destination; }
  bool submit(const std::string& dest, const std::string& path, const std::string& title) override {
    queued_destination = dest, queued_title = title, queued_path = path;
    queued_content = file_text(path);
    return accept;
  }
};

TEST(Printer, SpoolerReceivesThePageAsAPdfFile) {
  FakeSpooler spooler;
  EXPECT_EQ(default_printer(spooler), nullptr);  // no printer configured
  spooler.destination = "office";
  auto printer = default_printer(spooler);
  ASSERT_NE(printer, nullptr);
  EXPECT_EQ(printer->name(), "office");
  ASSERT_TRUE(printer->start_document("My plot; rm -rf /"));
  ASSERT_TRUE(printer->end_document());
  EXPECT_EQ(spooler.queued_destination, "office");
  EXPECT_EQ(spooler.queued_title, "My plot; rm -rf /");
  EXPECT_EQ(spooler.queued_content.substr(0, 5), "%PDF-");
  EXPECT_FALSE(std::filesystem::exists(spooler.queued_path));  // the temporary file is gone

  spooler.accept = false;
  ASSERT_TRUE(printer->start_document("Doc"));
  EXPECT_FALSE(printer->end_document());
  EXPECT_FALSE(std::filesystem::exists(spooler.queued_path));
}

// A program of the temporary folder: a shell script with these lines.
std::string script(const testsupport::TempDir& dir,
                   const std::string& name,
                   const std::string& body) {
  const std::string path = dir.write(name, "#!/bin/sh\n" + body);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path;
}

TEST(LpSpooler, AsksInTheCLocaleAndPassesArgumentsAsGiven) {
  const testsupport::TempDir dir;
  // Like lpstat: the answer is in the language of the locale.
  const std::string lpstat = script(dir,
                                    "lpstat",
                                    "if [ \"$LC_ALL\" = C ]; then\n"
                                    "  echo 'system default destination: office'\n"
                                    "else\n"
                                    "  echo 'Standardziel des Systems: office'\n"
                                    "fi\n");
  const std::string lp = script(dir, "lp", "printf '%s\\n' \"$@\" > \"$0.args\"\n");
  const std::string refusing = script(dir, "lp-refusing", "exit 1\n");
  const char* saved = std::getenv("LC_ALL");
  const std::string old = saved ? saved : "";
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  LpSpooler spooler(lpstat, lp);
  const auto destination = spooler.default_destination();
  EXPECT_TRUE(spooler.submit("office", "/tmp/a b.pdf", "Plot; rm -rf /"));
  if (saved) {
    setenv("LC_ALL", old.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
  EXPECT_EQ(destination, "office");
  EXPECT_EQ(dir.read("lp.args"), "-d\noffice\n-t\nPlot; rm -rf /\n--\n/tmp/a b.pdf\n");
  EXPECT_FALSE(LpSpooler(lpstat, refusing).submit("office", "/tmp/a.pdf", "Doc"));
  EXPECT_EQ(LpSpooler(dir.file("missing")).default_destination(), std::nullopt);
}

TEST(LpSpooler, ListsTheDefaultDestinationFirstThenTheOthersOnce) {
  const testsupport::TempDir dir;
  const std::string lpstat = script(dir,
                                    "lpstat",
                                    "case \"$1\" in\n"
                                    "  -d) echo 'system default destination: office' ;;\n"
                                    "  -e) printf 'lab\\noffice\\nhall\\n' ;;\n"
                                    "esac\n");
  EXPECT_EQ(LpSpooler(lpstat).destinations(), (std::vector<std::string>{"office", "lab", "hall"}));
  EXPECT_EQ(LpSpooler(dir.file("missing")).destinations(), std::vector<std::string>{});
  // A spooler that names no list offers its default destination alone.
  FakeSpooler fake;
  EXPECT_EQ(fake.destinations(), std::vector<std::string>{});
  fake.destination = "office";
  EXPECT_EQ(fake.destinations(), std::vector<std::string>{"office"});
}

}  // namespace
}  // namespace platform
