// Whole fit runs of every NIST reference file, both starts, as fit_bench runs them (main_sub at
// the level Moderate, weighting None, headless main window), with every source of variation
// fixed: the tick count (advanced only by the program's own pauses), the calendar and processor
// clocks, and the processor-chosen seed (a counter). Each fit starts from the repeatable seed.
//
//   fit_reports [--weighting N] OUTDIR [NAME...]
//
// writes, for each fit, the files the run left beside its data file into OUTDIR/<name>-start<k>/
// and one line per fit into OUTDIR/summary.txt: the fitted parameters and the sum of squares in
// hexadecimal, the model evaluations and the log relative errors. Two builds whose OUTDIRs
// compare equal (diff -r) compute the same fits; a change meant to leave the arithmetic alone is
// checked that way against the build before it. --weighting N fits with weighting N instead of
// None (1 None to 5 StdDev / Residual, as varqen numbers them). Exit status 1 when a name is no
// reference problem (nothing is fitted then) or a reference file cannot be read, 2 without OUTDIR
// or with a weighting other than 1 to 5.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "common/globals.hpp"
#include "engine/main_subs.hpp"
#include "files/error_handler.hpp"
#include "files/units.hpp"
#include "fit_run.hpp"
#include "model/funct.hpp"
#include "numerics/randomize.hpp"
#include "numerics/runtime_rng.hpp"
#include "numerics/sysclock.hpp"
#include "numerics/timeit_mod.hpp"
#include "support/fixed_time.hpp"
#include "support/nist_problem.hpp"
#include "support/scoped_clock.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;

// Copies a file that a run wrote, with what differs from run to run whatever the arithmetic
// replaced: the temporary folder's name (as written and in capitals) by "<folder>", and the
// report's date (read from the calendar clock without a seam) by "<date>".
void copy_normalised(const fs::path& from, const fs::path& to, const std::string& folder) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  std::string upper = folder;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string line;
  while (std::getline(in, line)) {
    for (const std::string& name : {folder, upper}) {
      for (size_t at; (at = line.find(name)) != std::string::npos;) {
        line.replace(at, name.size(), "<folder>");
      }
    }
    if (line.rfind(" DATE:", 0) == 0) line = " DATE: <date>";
    out << line << '\n';
  }
}

// One fit with fixed sources; its files go to `out`, its summary line is returned. `fitted` is
// false when nothing was fitted (no headless window, or the reference file could not be read).
std::string fit(
    const std::string& name, int32_t start, int32_t weighting, const fs::path& out, bool& fitted) {
  fitrun::MainWindow window;
  if (!window.open()) return name + " no headless window";
  testsupport::ScopedClock clock;
  sysclock::set_local_time_source([] { return sysclock::LocalTime{testsupport::fixed_time(), 0}; });
  sysclock::set_cpu_time_source([] { return 1.0; });
  error_handler::set_clock(testsupport::fixed_time);

  testsupport::TempDir dir;
  testsupport::NistProblem pb;
  std::string line = name + "-start" + std::to_string(start);
  fitted = testsupport::load_nist(name, start, pb);
  if (fitted) {
    // After the loader, which resets the shared state and the runtime generator.
    runtime_rng::reset();
    uint64_t entropy = 0;
    runtime_rng::set_entropy_source([&entropy] { return entropy += 0x9E3779B97F4A7C15ull; });
    randomize::reset();
    timeit_mod::reset();
    funct::fun_count = 0;
    fitrun::prepare(pb, dir.path(), window.dialogs);
    globals::iwt = weighting;
    main_subs::main_sub();

    std::vector<double> p;
    char buf[64];
    for (int32_t i = 1; i <= pb.n; ++i) {
      p.push_back(common_data::pfinal(i));
      std::snprintf(buf, sizeof buf, " %a", common_data::pfinal(i));
      line += buf;
    }
    std::snprintf(buf, sizeof buf, " ssq %a", common_data::fssqr);
    line += buf;
    std::snprintf(buf,
                  sizeof buf,
                  " evals %lld lre %.2f %.2f",
                  static_cast<long long>(funct::fun_count),
                  pb.params_lre(p),
                  pb.ssr_lre(common_data::fssqr));
    line += buf;
    fs::create_directories(out);
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      if (entry.path().filename() != "problem.dat") {
        copy_normalised(entry.path(), out / entry.path().filename(), dir.path().string());
      }
    }
  } else {
    line += " reference file not found";
  }

  error_handler::set_clock(nullptr);
  runtime_rng::reset();
  sysclock::set_local_time_source(nullptr);
  sysclock::set_cpu_time_source(nullptr);
  units::reset();
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  int32_t weighting = 1;
  if (!args.empty() && args[0] == "--weighting") {
    const std::string w = args.size() >= 2 ? args[1] : "";
    if (w.size() != 1 || w[0] < '1' || w[0] > '5') {
      std::fprintf(stderr, "fit_reports: --weighting takes a number from 1 to 5\n");
      return 2;
    }
    weighting = w[0] - '0';
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) {
    std::fprintf(stderr, "usage: fit_reports [--weighting N] OUTDIR [NAME...]\n");
    return 2;
  }
  const fs::path outdir = args[0];
  const std::vector<std::string> known = testsupport::nist_problem_names();
  std::vector<std::string> names(args.begin() + 1, args.end());
  if (names.empty()) names = known;
  // A name that is no reference problem is a usage error, found before any fit runs.
  int status = 0;
  for (const std::string& name : names) {
    if (std::find(known.begin(), known.end(), name) == known.end()) {
      std::fprintf(stderr, "fit_reports: no reference problem named %s\n", name.c_str());
      status = 1;
    }
  }
  if (status != 0) return status;
  fs::create_directories(outdir);
  std::ofstream summary(outdir / "summary.txt");
  for (const std::string& name : names) {
    for (int32_t start = 1; start <= 2; ++start) {
      bool fitted = false;
      const std::string line =
          fit(name, start, weighting, outdir / (name + "-start" + std::to_string(start)), fitted);
      if (!fitted) status = 1;
      summary << line << '\n';
      std::printf("%s\n", line.c_str());
      std::fflush(stdout);
    }
  }
  return status;
}
