// The SVD Levenberg-Marquardt method alone (no cascade) on every NIST reference problem, and on
// a large synthetic problem.
//
// BM_Marq/<problem>/<start> loads the problem (not timed) and runs marq_mod::marq from NIST
// start 1 or 2 with weighting None, as the engine's final stage calls it (maxit 10, s0 = 1.1
// times the entry sum, statistics on). Counters:
//   lre_params  smallest log relative error of the returned parameters (0..11)
//   lre_ssr     log relative error of the returned sum of squares (Lanczos1: 0, see the README)
//   evals       evaluations of the objective, each over all rows
// The time per iteration is the time of one fit, statistics included. After the runs a table
// lists every fit and counts the fits at LRE >= 4 and >= 6.
//
// BM_MarqFinal/<problem> runs it as the last stage of a cascade that converged: from the
// certified parameters. Counters lre_params as above and lre_se, the smallest LRE of the
// standard errors against the certified ones; its table follows the first.
//
// BM_MarqLarge: 1000 rows, 8 free parameters (P1 + P2 x + P3 x^2 + P4 exp(-P5 x) +
// P6 sin(P7 x + P8)) from 1 % off the generating parameters.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "optimizers/marq_mod.hpp"
#include "support/marq_fit.hpp"
#include "support/nist_problem.hpp"

namespace {

struct Row {
  double lre_params = 0.0, lre_ssr = 0.0, lre_se = 0.0, evals = 0.0;
};
// Rows of the NIST tables by fit: "<problem>/<start>" from the starts, "<problem>" from the
// certified optimum.
std::map<std::string, Row>& table() {
  static std::map<std::string, Row> rows;
  return rows;
}

void BM_Marq(benchmark::State& state, const std::string& name, int32_t start) {
  testsupport::NistProblem pb;
  testsupport::MarqResult r;
  int64_t evals = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!testsupport::load_nist(name, start, pb)) {
      state.SkipWithError("reference file not found");
      return;
    }
    marq_mod::reset();
    state.ResumeTiming();
    r = testsupport::run_marq(pb.m, pb.n, pb.x0, pb.start_ssq);
    evals = marq_mod::funy_count;
  }
  Row row;
  row.lre_params = pb.params_lre(r.p);
  row.lre_ssr = name == "Lanczos1" ? 0.0 : pb.ssr_lre(r.ssq);
  row.evals = static_cast<double>(evals);
  state.counters["lre_params"] = row.lre_params;
  state.counters["lre_ssr"] = row.lre_ssr;
  state.counters["evals"] = row.evals;
  table()[name + "/" + std::to_string(start)] = row;
}

void BM_MarqFinal(benchmark::State& state, const std::string& name) {
  testsupport::NistProblem pb;
  testsupport::MarqResult r;
  int64_t evals = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!testsupport::load_nist(name, 1, pb)) {
      state.SkipWithError("reference file not found");
      return;
    }
    marq_mod::reset();
    const double s = pb.ssq(pb.certified);
    state.ResumeTiming();
    r = testsupport::run_marq(pb.m, pb.n, pb.certified, s);
    evals = marq_mod::funy_count;
  }
  Row row;
  row.lre_params = pb.params_lre(r.p);
  row.lre_ssr = name == "Lanczos1" ? 0.0 : pb.ssr_lre(r.ssq);
  row.lre_se = 11.0;
  for (int32_t j = 0; j < pb.n; ++j) {
    row.lre_se = std::min(row.lre_se, testsupport::lre(r.se[j], pb.certified_se[j]));
  }
  row.evals = static_cast<double>(evals);
  state.counters["lre_params"] = row.lre_params;
  state.counters["lre_se"] = row.lre_se;
  table()[name] = row;
}

void BM_MarqLarge(benchmark::State& state) {
  const std::vector<double> truth = {1.0, 0.5, -0.2, 3.0, 0.8, 1.5, 2.0, 0.3};
  std::vector<double> p0 = truth;
  for (double& v : p0) v *= 1.01;
  testsupport::MarqResult r;
  double s = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    testsupport::load_synthetic(
        "P1+P2*X1+P3*X1^2+P4*EXP(-P5*X1)+P6*SIN(P7*X1+P8)", 1000, truth, 0.005);
    s = testsupport::shared_ssq(1000, 8, p0);
    marq_mod::reset();
    state.ResumeTiming();
    r = testsupport::run_marq(1000, 8, p0, s);
  }
  state.counters["ssq_in"] = s;
  state.counters["ssq_out"] = r.ssq;
  state.counters["evals"] = static_cast<double>(marq_mod::funy_count);
}

// One table: the fits from the NIST starts (names with "/") or those from the optimum.
void print_table(bool from_starts) {
  std::printf("\n%s\n%-14s %10s %10s %8s %8s\n",
              from_starts ? "From the NIST starts:" : "From the certified optimum:",
              "fit",
              "lre_params",
              "lre_ssr",
              "lre_se",
              "evals");
  int fits = 0, at4 = 0, at6 = 0;
  for (const auto& [fit, row] : table()) {
    if ((fit.find('/') != std::string::npos) != from_starts) continue;
    char se[16] = "-";  // the standard errors are measured from the optimum only
    if (!from_starts) std::snprintf(se, sizeof se, "%.2f", row.lre_se);
    std::printf(
        "%-14s %10.2f %10.2f %8s %8.0f\n", fit.c_str(), row.lre_params, row.lre_ssr, se, row.evals);
    ++fits;
    at4 += row.lre_params >= 4.0 ? 1 : 0;
    at6 += row.lre_params >= 6.0 ? 1 : 0;
  }
  std::printf("fits: %d, parameters at LRE >= 4: %d, at LRE >= 6: %d\n", fits, at4, at6);
}

}  // namespace

int main(int argc, char** argv) {
  for (const std::string& name : testsupport::nist_problem_names()) {
    for (int32_t start : {1, 2}) {
      benchmark::RegisterBenchmark(
          ("BM_Marq/" + name + "/" + std::to_string(start)).c_str(),
          [name, start](benchmark::State& st) { BM_Marq(st, name, start); })
          ->Unit(benchmark::kMicrosecond);
    }
  }
  for (const std::string& name : testsupport::nist_problem_names()) {
    benchmark::RegisterBenchmark(("BM_MarqFinal/" + name).c_str(), [name](benchmark::State& st) {
      BM_MarqFinal(st, name);
    })->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("BM_MarqLarge", BM_MarqLarge)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!table().empty()) {
    print_table(true);
    print_table(false);
  }
  return 0;
}
