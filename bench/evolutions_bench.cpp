// One call of the differential-evolution stage as the cascade makes it (250 generations), on the
// NIST Thurber problem (37 rows, 7 parameters, from its first start) and on a synthetic problem
// of 1000 rows and 8 parameters (two exponentials, a sine and a line). The random numbers come
// from the real processor-chosen seed, as in a fit, so the search path differs between runs;
// the counters give the generations run (a search may stop early on its convergence test), the
// time per generation and the model evaluations per call.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "common/globals.hpp"
#include "model/funct.hpp"
#include "model/model_front.hpp"
#include "model/vmfun.hpp"
#include "numerics/stringlib.hpp"
#include "optimizers/evolutions.hpp"
#include "support/nist_problem.hpp"

namespace {

struct Problem {
  std::string model;
  std::vector<double> start, lo, hi;
  std::vector<double> x, y;
};

std::vector<double> numbers(const std::string& line) {
  std::istringstream in(line);
  std::vector<double> v;
  for (double d; in >> d;) v.push_back(d);
  return v;
}

// A data file of one x column: model, start, lower and upper bounds, mask, rows "x y", END.
Problem read_problem(const std::string& name) {
  std::ifstream in(testsupport::nist_dir() + "/dat/" + name);
  Problem pb;
  std::string line;
  if (!std::getline(in, line) || line.rfind("Y=", 0) != 0) return pb;
  pb.model = line.substr(2);
  std::getline(in, line);
  pb.start = numbers(line);
  std::getline(in, line);
  pb.lo = numbers(line);
  std::getline(in, line);
  pb.hi = numbers(line);
  std::getline(in, line);  // mask: all free
  while (std::getline(in, line) && line.find("END") == std::string::npos) {
    const std::vector<double> row = numbers(line);
    if (row.size() == 2) {
      pb.x.push_back(row[0]);
      pb.y.push_back(row[1]);
    }
  }
  return pb;
}

Problem synthetic_problem() {
  Problem pb;
  pb.model = "P1*EXP(-P2*X1)+P3*EXP(-P4*X1)+P5*SIN(P6*X1)+P7+P8*X1";
  const std::vector<double> truth = {5, 0.8, 2, 0.05, 0.5, 1.3, 1, 0.02};
  for (size_t k = 0; k < truth.size(); ++k) {
    pb.start.push_back(truth[k] * (k % 2 == 0 ? 1.05 : 0.95));
    pb.lo.push_back(1e-3);
    pb.hi.push_back(100.0);
  }
  for (int i = 1; i <= 1000; ++i) {
    const double x = 0.01 * i;
    pb.x.push_back(x);
    pb.y.push_back(truth[0] * std::exp(-truth[1] * x) + truth[2] * std::exp(-truth[3] * x) +
                   truth[4] * std::sin(truth[5] * x) + truth[6] + truth[7] * x +
                   0.01 * std::sin(13.0 * i));
  }
  return pb;
}

// Loads the problem into the shared data set; returns false when it could not be read.
bool load(const Problem& pb) {
  if (pb.x.empty()) return false;
  common_data::reset();
  globals::reset();
  common_udf::cudf = stringlib::fixed(pb.model, common_udf::len_text);
  fnparse2_reset();
  common_data::nd = static_cast<int32_t>(pb.x.size());
  common_data::nxd = 1;
  common_data::npr = static_cast<int32_t>(pb.start.size());
  for (int32_t i = 1; i <= common_data::nd; ++i) {
    common_data::xd(i) = pb.x[i - 1];
    common_data::yd(i) = pb.y[i - 1];
    common_data::ysig(i) = 1.0;
  }
  for (int32_t k = 1; k <= common_data::npr; ++k) {
    common_data::pmask(k) = 1;
    common_data::pboundlo(k) = pb.lo[k - 1];
    common_data::pboundhi(k) = pb.hi[k - 1];
  }
  globals::timemax = 600000.0;
  globals::starttimer = 1;
  return true;
}

void run_evol(benchmark::State& state, const Problem& pb) {
  if (!load(pb)) {
    state.SkipWithError("problem file not found");
    return;
  }
  const int32_t n = static_cast<int32_t>(pb.start.size());
  double generations = 0.0;
  const int64_t evals_before = funct::fun_count;
  for (auto _ : state) {
    std::vector<double> x = pb.start;
    double fsum = 0.0;
    vmfun(n, VecView<const double>(x.data(), n), fsum);
    int32_t count = 0;
    evolutions::evol(common_data::nd, n, VecView<double>(x.data(), n), fsum, count, 250);
    benchmark::DoNotOptimize(fsum);
    generations += count;
  }
  state.counters["generations"] =
      benchmark::Counter(generations, benchmark::Counter::kAvgIterations);
  // Seconds per generation: the stable figure, as the number of generations varies.
  state.counters["s_per_generation"] =
      benchmark::Counter(generations, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["evaluations"] = benchmark::Counter(
      static_cast<double>(funct::fun_count - evals_before), benchmark::Counter::kAvgIterations);
}

void BM_EvolThurber(benchmark::State& state) {
  static const Problem pb = read_problem("Thurber-start1.dat");
  run_evol(state, pb);
}
BENCHMARK(BM_EvolThurber)->Unit(benchmark::kMillisecond);

void BM_Evol1000Rows8Params(benchmark::State& state) {
  static const Problem pb = synthetic_problem();
  run_evol(state, pb);
}
BENCHMARK(BM_Evol1000Rows8Params)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
