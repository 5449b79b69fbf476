#include "platform/print/printer.hpp"

#include <cairo-pdf.h>
#include <cairo.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/image/scale.hpp"
#include "platform/text/text_layout.hpp"

namespace platform {
namespace {

constexpr double kPaperWidthInches = 8.5;  // US Letter
constexpr double kPaperHeightInches = 11.0;
constexpr Pixel kWhite = 0xFFFFFF;

}  // namespace

Printer::Printer(std::string name, int dpi) : name_(std::move(name)), dpi_(dpi > 0 ? dpi : 300) {}

bool Printer::start_document(std::string_view document) {
  if (open_) return false;
  page_ =
      Page(static_cast<int>(kPaperWidthInches * dpi_), static_cast<int>(kPaperHeightInches * dpi_));
  page_.fill(kWhite);
  document_ = std::string(document);
  open_ = true;
  return true;
}

void Printer::draw_text(int x, int y, std::u16string_view text, const Font& font) {
  if (!open_) return;
  platform::draw_text(
      page_, font, x, y, text, {0, kWhite, false}, {0, 0, page_.width(), page_.height()});
}

void Printer::draw_image(int x, int y, int width, int height, const Page& image) {
  if (!open_ || width <= 0 || height <= 0) return;
  // Only the part on the paper is scaled: a tall narrow picture stretched 7.5 inches wide
  // would otherwise take gigabytes. 64 bits: the image may start far off the paper.
  const Rect on_paper =
      intersect({static_cast<int>(std::clamp<int64_t>(-int64_t{x}, 0, width)),
                 static_cast<int>(std::clamp<int64_t>(-int64_t{y}, 0, height)),
                 static_cast<int>(std::clamp<int64_t>(int64_t{page_.width()} - x, 0, width)),
                 static_cast<int>(std::clamp<int64_t>(int64_t{page_.height()} - y, 0, height))},
                {0, 0, width, height});
  const Page part = scale_page(image, width, height, on_paper);
  for (int j = 0; j < part.height(); ++j) {
    for (int i = 0; i < part.width(); ++i) {
      page_.at(x + on_paper.left + i, y + on_paper.top + j) = part.at(i, j);
    }
  }
}

bool Printer::end_document() {
  if (!open_) return false;
  open_ = false;
  const bool delivered = deliver(page_, document_);
  page_ = Page();
  return delivered;
}

bool VirtualPrinter::deliver(const Page& page, const std::string& document) {
  printed_.push_back({document, page});
  return true;
}

bool write_pdf(const std::string& path, const Page& page, int dpi) {
  if (page.width() == 0 || page.height() == 0 || dpi <= 0) return false;
  const double points_per_pixel = 72.0 / dpi;
  cairo_surface_t* pdf = cairo_pdf_surface_create(
      path.c_str(), page.width() * points_per_pixel, page.height() * points_per_pixel);
  // Cairo's RGB24 is our pixel layout: 32 bits per pixel, 0x00RRGGBB in native order.
  cairo_surface_t* image = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<Pixel*>(page.data())),
      CAIRO_FORMAT_RGB24,
      page.width(),
      page.height(),
      page.width() * 4);
  cairo_t* cr = cairo_create(pdf);
  cairo_scale(cr, points_per_pixel, points_per_pixel);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_paint(cr);
  cairo_show_page(cr);
  const bool drawn = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  cairo_surface_destroy(image);
  cairo_surface_finish(pdf);
  const bool written = drawn && cairo_surface_status(pdf) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(pdf);
  if (!written) std::remove(path.c_str());  // never leave a broken document behind
  return written;
}

PdfPrinter::PdfPrinter(std::string path, int dpi)
    : Printer("PDF file", dpi), path_(std::move(path)) {}

bool PdfPrinter::deliver(const Page& page, const std::string&) {
  return write_pdf(path_, page, dpi_x());
}

std::vector<std::string> Spooler::destinations() {
  const auto destination = default_destination();
  return destination ? std::vector<std::string>{*destination} : std::vector<std::string>{};
}

SpoolerPrinter::SpoolerPrinter(Spooler& spooler, std::string destination, int dpi)
    : Printer(std::move(destination), dpi), spooler_(spooler) {}

bool SpoolerPrinter::deliver(const Page& page, const std::string& document) {
  std::string path = (std::filesystem::temp_directory_path() / "varqen-print-XXXXXX").string();
  const int fd = mkstemp(path.data());
  if (fd < 0) return false;
  close(fd);
  const bool queued = write_pdf(path, page, dpi_x()) && spooler_.submit(name(), path, document);
  std::remove(path.c_str());  // lp copies the file into the spool before it returns
  return queued;
}

std::unique_ptr<Printer> default_printer(Spooler& spooler) {
  const auto destination = spooler.default_destination();
  if (!destination) return nullptr;
  return std::make_unique<SpoolerPrinter>(spooler, *destination);
}

}  // namespace platform
