// One first pass of the optimiser cascade, every stage included, on NIST reference problems at
// each level, on a headless main window with a clock whose one-second waits cost nothing.
//
// BM_Cascade/<problem>/<level> loads the problem (not timed) and runs sharc_mod::sharc from NIST
// start 1 as the fit run calls it (weighting None, stage code 91). Counters:
//   lre_ssr     log relative error of the returned sum of squares (0..11)
//   lre_params  smallest log relative error of the returned parameters
//   evals       model evaluations over all rows (funct::fun calls)
#include <benchmark/benchmark.h>

#include <string>

#include "common/globals.hpp"
#include "model/funct.hpp"
#include "platform/headless/headless_backend.hpp"
#include "platform/headless/headless_dialogs.hpp"
#include "platform/window_system.hpp"
#include "support/cascade_pass.hpp"
#include "support/nist_problem.hpp"
#include "support/scoped_clock.hpp"
#include "toolkit/drawing_state.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/gk_wndproc.hpp"
#include "toolkit/text.hpp"

namespace {

void BM_Cascade(benchmark::State& state, const std::string& name, int32_t level) {
  platform::HeadlessBackend backend;
  platform::HeadlessDialogs dialogs;
  platform::WindowSystem system{backend, dialogs};
  gk::reset();
  gk::attach(&system);
  gk::install_drawing();
  gk::install_text();
  if (gk::initwindow(640, 200, "fit", 0, 0, 0, 0) < 0) {
    state.SkipWithError("no headless window");
    return;
  }
  testsupport::NistProblem pb;
  double lre_ssr = 0.0, lre_params = 0.0;
  int64_t evals = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!testsupport::load_nist(name, 1, pb)) {
      state.SkipWithError("reference file not found");
      break;
    }
    testsupport::ScopedClock clock;
    globals::iopt = level;
    testsupport::CascadePass pass(pb);
    state.ResumeTiming();
    pass.run();
    state.PauseTiming();
    lre_ssr = pb.ssr_lre(pass.ssq);
    lre_params = pb.params_lre(pass.p);
    evals = funct::fun_count;
    state.ResumeTiming();
  }
  state.counters["lre_ssr"] = lre_ssr;
  state.counters["lre_params"] = lre_params;
  state.counters["evals"] = static_cast<double>(evals);
  gk::reset();
}

void register_all() {
  for (const char* name : {"Misra1a", "Thurber", "MGH09"}) {
    for (int32_t level = 1; level <= 3; ++level) {
      benchmark::RegisterBenchmark(
          ("BM_Cascade/" + std::string(name) + "/" + std::to_string(level)).c_str(),
          [name, level](benchmark::State& s) { BM_Cascade(s, name, level); })
          ->Unit(benchmark::kMillisecond)
          ->Iterations(2);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  register_all();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
