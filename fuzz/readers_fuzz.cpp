// Fuzzes the data-file readers: the input, after two bytes choosing the parameter and column
// counts, is written as a data file and every reader, counter, check and line explanation runs
// on it. Faults are crashes, sanitizer reports, out-of-range array writes (bounds-checked in
// this build), files left open, a model line cut to the field, an explanation naming another
// line or holding a character it does not show, and a mask read error that does not zero the
// mask.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "files/units.hpp"
#include "model/checkdata.hpp"
#include "model/readwrite.hpp"
#include "numerics/farray.hpp"
#include "numerics/stringlib.hpp"

namespace {

const std::string& data_path() {
  static const std::string path = [] {
    std::string tmpl = (std::filesystem::temp_directory_path() / "varqen-fuzz-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    static std::string dir = tmpl;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    });
    return tmpl + "/fuzz.dat";
  }();
  return path;
}

void require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "readers_fuzz: %s\n", what);
    std::abort();
  }
}

bool any_unit_open() {
  for (int32_t u = 1; u <= units::max_unit; ++u) {
    if (units::is_connected(u)) return true;
  }
  return false;
}

void run_readers(const std::string& path, int32_t n, int32_t m) {
  int32_t count = 0;
  readwrite::a_row_count(path, count);
  require(count >= 0, "negative row count");

  std::string name = path;
  std::string line;
  // A model line longer than the field comes back whole, never cut.
  const bool too_long = readwrite::a_model_line(name, line) == readwrite::Status::ModelTooLong;
  require(too_long ? line.size() > size_t{readwrite::len_line} : line.size() == readwrite::len_line,
          "model line of the wrong length");
  if (too_long) line.resize(readwrite::len_line);
  std::string copy = line;
  stringlib::str2real(copy);
  int32_t k = 0;
  stringlib::s_to_i(line, k);

  for (auto counter : {readwrite::rparcols,
                       readwrite::rlocols,
                       readwrite::rhicols,
                       readwrite::rmaskcols,
                       readwrite::rxycols}) {
    int32_t c = -1;
    counter(c, path);
    require(c >= 0, "negative field count");
  }

  FArray<double, 10> p;
  int32_t ierr = 0;
  int32_t errline = 0;
  readwrite::rpar(p.view(), n, path, ierr);
  readwrite::rlo(p.view(), n, path);
  readwrite::rhi(p.view(), n, path);
  FArray<int32_t, 10> mask;
  mask.fill(7);
  if (readwrite::rmask(mask.view(), n, path) == readwrite::Status::ReadError) {
    for (int32_t i = 1; i <= n; ++i) require(mask(i) == 0, "unreadable mask not zeroed");
  }

  static FMatrix<double, readwrite::max_data_rows, 4> data;
  const int32_t rows = count - readwrite::header_lines;
  readwrite::rxy(data.view(), rows > 0 ? rows : 1, m, path, errline, ierr);
  require(ierr == 0 || ierr == 1, "rxy flag");

  checkdata::checkparameterdata(path, n, errline, ierr);
  require(errline >= 0 && errline <= 4, "parameter check line");
  checkdata::checkparsestr2real(path, m, errline, ierr);
  require(errline >= 0 && errline <= checkdata::last_checked_line, "data check line");

  // The explanation of a line names it, whatever the line holds, and shows every character
  // of it: no control character but its CR LF line breaks, no byte that is not UTF-8 text.
  const auto shown = [](const std::string& fault) {
    std::string text = fault;
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;)
      text.replace(at, 2, " ");
    return stringlib::visible(text) == text;
  };
  const std::string formula = readwrite::model_character_fault(path);
  require(formula.empty() || formula.rfind("Line ", 0) == 0, "model character fault without line");
  require(shown(formula), "model character fault not shown as it stands");
  for (int32_t l = 1; l <= 7; ++l) {
    const std::string chars = readwrite::character_fault(path, l);
    require(chars.empty() || chars.rfind("Line " + std::to_string(l), 0) == 0,
            "character fault of another line");
    require(shown(chars), "character fault not shown as it stands");
    for (const int32_t want : {0, n, m}) {
      for (const auto kind : {readwrite::ValueKind::Real, readwrite::ValueKind::Integer}) {
        const std::string fault = readwrite::line_fault(path, l, want, kind);
        require(fault.empty() || fault.rfind("Line " + std::to_string(l), 0) == 0,
                "line fault of another line");
        require(shown(fault), "line fault not shown as it stands");
      }
    }
  }

  require(!any_unit_open(), "a reader left its file open");
}

// The older readers and writers on the same file, with arrays smaller than the counts the
// file may claim: nothing may be read past them.
void run_older_readers(const std::string& path, int32_t n, int32_t m) {
  int32_t count = 0, ierr = 0;
  readwrite::file_row_count(path, count);
  require(count >= -1, "file_row_count below -1");
  readwrite::file_column_count(path, count, ierr);
  require(count >= -1, "file_column_count below -1");
  int32_t rows = 0, cols = 0;
  readwrite::r4mat_header_read(path, cols, rows);

  readwrite::rcdata(rows, cols, path);
  static FMatrix<double, 50, 4> d;
  readwrite::rdata(d.view(), rows, cols, path);  // counts as the file gives them
  readwrite::wdata(d.view(), std::min(rows, 50), std::min(cols, 4), "fuzz", path + "-w");

  int32_t np = 0, nx = 0, nrows = 0, errline = 0;
  readwrite::check_xydata(path, np, nx, nrows);
  std::string model;
  FArray<float, 10> lo, p, hi;
  static FMatrix<float, 50, 3> x;
  FArray<float, 50> y;
  readwrite::read_xydata(
      path, model, np, nx, nrows, lo.view(), p.view(), hi.view(), x.view(), y.view(), errline);
  require(errline >= 0, "read_xydata line");

  count = -5;
  readwrite::data_row_count(12, path, count);
  require(count >= -5 && !units::is_connected(12), "data_row_count");
  FVector<std::string> lines(40);
  readwrite::read_data_ouput_file(lines.view(), count, path);
  require(count >= 0 && count <= 40, "read_data_ouput_file count");
  readwrite::comment_out_first_line(path);

  static FMatrix<float, 50, 4> t;
  readwrite::r4mat_data_read(t.view(), m, 1 + n * 4, path);

  rows = 1 + n * 100;
  checkdata::parsestr2real(path, rows, m, n % 6, d.view(), errline, ierr);
  require(rows >= 0 && rows <= 50 && errline >= 0, "parsestr2real rows");

  require(!any_unit_open(), "an older reader left its file open");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  static std::ostringstream sink;
  units::set_console(&sink);
  sink.str("");
  if (size < 2) return 0;
  const int32_t n = bytes[0] % 11;     // parameters 0..10
  const int32_t m = 1 + bytes[1] % 4;  // columns 1..4
  {
    std::ofstream out(data_path(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes + 2), static_cast<std::streamsize>(size - 2));
  }
  run_readers(data_path(), n, m);
  run_older_readers(data_path(), n, m);
  return 0;
}
