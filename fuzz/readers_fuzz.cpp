// Fuzzes the data-file readers: the input, after two bytes choosing the parameter and column
// counts, is written as a data file and every reader, counter, check and line explanation runs
// on it. Faults are crashes, sanitizer reports, out-of-range array writes (bounds-checked in
// this build), files left open, a model line cut to the field, an explanation naming another
// line, and a mask read error that does not zero the mask.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "model/checkdata.hpp"
#include "model/readwrite.hpp"
#include "model/units.hpp"
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

  // The explanation of a line names it, whatever the line holds.
  for (int32_t l = 1; l <= 7; ++l) {
    for (const int32_t want : {0, n, m}) {
      for (const auto kind : {readwrite::ValueKind::Real, readwrite::ValueKind::Integer}) {
        const std::string fault = readwrite::line_fault(path, l, want, kind);
        require(fault.empty() || fault.rfind("Line " + std::to_string(l), 0) == 0,
                "line fault of another line");
      }
    }
  }

  require(!any_unit_open(), "a reader left its file open");
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
  return 0;
}
