// The memory of a numbered series: main_sub on run#1.dat ... run#N.dat, each block ending at
// NEXT but the last, on a headless main window whose pauses cost nothing. A series must take
// the memory of one file, whatever its length: what one block makes (its Cancel button, the
// fonts of the progress line, the report's files) goes with the block.
//
// BM_Series/<N>: one series of N files. Counters:
//   growth_kb    address space of the process after the series less before it, in KiB
//   kb_per_file  growth_kb / N
// BM_Series/100 against BM_Series/10 shows what a file of a series keeps: within 2 MiB.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "common/globals.hpp"
#include "engine/main_subs.hpp"
#include "files/units.hpp"
#include "fit_run.hpp"
#include "numerics/sysclock.hpp"
#include "support/temp_dir.hpp"

namespace {

// The process's address space in KiB (the first field of /proc/self/statm is in pages).
double address_space_kb() {
  std::ifstream statm("/proc/self/statm");
  double pages = 0.0;
  statm >> pages;
  return pages * double(sysconf(_SC_PAGESIZE)) / 1024.0;
}

// The series run#1.dat ... run#<files>.dat in dir: y = 120 x / (4 + x), slightly disturbed.
void write_series(const std::filesystem::path& dir, int files) {
  const std::string block =
      "Y=P1*X1/(P2+X1)\n100 2\n0 0\n1000 1000\n1 1\n"
      "0.5 13.4\n1 24.1\n2 39.9\n3 51.6\n5 66.5\n8 80.3\n12 89.7\n20 100.2\n";
  for (int k = 1; k <= files; ++k) {
    std::ofstream(dir / ("run#" + std::to_string(k) + ".dat"))
        << block << (k < files ? "NEXT\n" : "END\n");
  }
}

void BM_Series(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  fitrun::MainWindow window;
  if (!window.open()) {
    state.SkipWithError("no headless window");
    return;
  }
  sysclock::set_sleeper([](int32_t) {});
  testsupport::TempDir dir;
  write_series(dir.path(), files);
  fitrun::use_folder(dir.path());
  globals::iopt = 1;
  globals::iwt = 1;
  double growth = 0.0;
  for (auto _ : state) {
    window.dialogs.script_answer(platform::DialogAnswer::Yes);
    main_subs::set_input_file((dir.path() / "run#1.dat").string());
    const double before = address_space_kb();
    main_subs::main_sub();
    growth = address_space_kb() - before;
  }
  state.counters["growth_kb"] = growth;
  state.counters["kb_per_file"] = growth / files;
  sysclock::set_sleeper(nullptr);
  units::reset();
}

// The first series of a process also loads the font configuration and the glyphs: a series
// of one file comes first, so that the measured ones start from a warm process.
BENCHMARK(BM_Series)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
