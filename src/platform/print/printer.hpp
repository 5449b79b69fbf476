// Printers: a one-page document rendered at the printer's resolution, then handed over.
//
// A document is a white page of the paper's size in device pixels (US Letter, 8.5 x 11 inch,
// at the printer's dots per inch). Text and scaled images are drawn onto it; ending the
// document delivers the page: a VirtualPrinter keeps it in memory (for tests), a PdfPrinter
// writes it to a PDF file, a SpoolerPrinter hands it to the system's print spooler.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/page.hpp"
#include "platform/text/font.hpp"

namespace platform {

class Printer {
 public:
  Printer(std::string name, int dpi);
  virtual ~Printer() = default;
  Printer(const Printer&) = delete;
  Printer& operator=(const Printer&) = delete;

  const std::string& name() const { return name_; }
  int dpi_x() const { return dpi_; }
  int dpi_y() const { return dpi_; }

  // Starts a document of one blank page; false while another document is open.
  bool start_document(std::string_view document);
  // Draws black text with its top-left corner at (x, y) device pixels (nothing when no
  // document is open).
  void draw_text(int x, int y, std::u16string_view text, const Font& font);
  // Draws the image stretched to width x height device pixels at (x, y).
  void draw_image(int x, int y, int width, int height, const Page& image);
  // Ends the document and delivers its page; false when none was open or delivery failed.
  bool end_document();

  bool document_open() const { return open_; }

 protected:
  virtual bool deliver(const Page& page, const std::string& document) = 0;

 private:
  std::string name_;
  int dpi_;
  bool open_ = false;
  std::string document_;
  Page page_;
};

// A 300-dpi printer that keeps every delivered page.
class VirtualPrinter : public Printer {
 public:
  struct Printed {
    std::string document;
    Page page;
  };
  VirtualPrinter() : Printer("Virtual printer", 300) {}
  const std::vector<Printed>& printed() const { return printed_; }

 protected:
  bool deliver(const Page& page, const std::string& document) override;

 private:
  std::vector<Printed> printed_;
};

// Writes a page as a one-page PDF file of the page's physical size; a file that cannot be
// completed is removed. Returns false on failure.
bool write_pdf(const std::string& path, const Page& page, int dpi);

// Prints to a PDF file.
class PdfPrinter : public Printer {
 public:
  explicit PdfPrinter(std::string path, int dpi = 300);
  const std::string& path() const { return path_; }

 protected:
  bool deliver(const Page& page, const std::string& document) override;

 private:
  std::string path_;
};

// The system's print spooler.
class Spooler {
 public:
  virtual ~Spooler() = default;
  // The default destination, or nothing when no printer is configured.
  virtual std::optional<std::string> default_destination() = 0;
  // Every destination a document can be queued on (the print dialog offers them). By default
  // the default destination alone.
  virtual std::vector<std::string> destinations();
  // Queues a PDF file on the destination under the title; false when refused.
  virtual bool submit(const std::string& destination,
                      const std::string& pdf_path,
                      const std::string& title) = 0;
};

// Prints through a spooler: the page goes to it as a temporary PDF file.
class SpoolerPrinter : public Printer {
 public:
  SpoolerPrinter(Spooler& spooler, std::string destination, int dpi = 300);

 protected:
  bool deliver(const Page& page, const std::string& document) override;

 private:
  Spooler& spooler_;
};

// The spooler's default printer, or null when none is configured.
std::unique_ptr<Printer> default_printer(Spooler& spooler);

}  // namespace platform
