// One call of the SQP least-squares stage as the cascade makes it (maxit 100, ncon 2n, mode 0,
// entry sum 4.503599727262001e19) on synthetic data sets y = model(truth) + a small
// deterministic wiggle: 12 rows of one exponential (2 parameters) and 1000 rows of two
// exponentials and a line (5 parameters), each from a start 20 % off the truth. The method is
// deterministic; the counter gives the model evaluations per call.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "constrained/vmsqp_mod.hpp"
#include "model/funct.hpp"
#include "model/model_front.hpp"
#include "numerics/stringlib.hpp"

namespace {

struct Problem {
  std::string model;
  std::vector<double> truth;
  int32_t rows = 0;
};

const Problem kSmall = {"P1*EXP(-P2*X1)", {5.0, 0.3}, 12};
const Problem kLarge = {"P1*EXP(-P2*X1)+P3*EXP(-P4*X1)+P5*X1", {5.0, 0.8, 2.0, 0.05, 0.02}, 1000};

// Loads the problem into common_data (x = 0.01 * i, or 0.5 * i for short sets) with its y.
void load(const Problem& pb, std::vector<double>& xdat, std::vector<double>& y) {
  common_data::reset();
  common_udf::cudf = stringlib::fixed(pb.model, common_udf::len_text);
  fnparse2_reset();
  const int32_t n = static_cast<int32_t>(pb.truth.size());
  common_data::nd = pb.rows;
  common_data::nxd = 1;
  for (int32_t j = 1; j <= n; ++j) common_data::pmask(j) = 1;
  const double step = pb.rows > 100 ? 0.01 : 0.5;
  xdat.resize(pb.rows);
  y.assign(pb.rows, 0.0);
  std::vector<double> sig(pb.rows, 1.0), zeros(pb.rows, 0.0);
  for (int32_t i = 1; i <= pb.rows; ++i) xdat[i - 1] = common_data::xd(i) = step * i;
  double f = 0.0;
  funct::fun(MatView<const double>(xdat.data(), pb.rows, 1, pb.rows),
             VecView<const double>(zeros.data(), pb.rows),
             VecView<const double>(pb.truth.data(), n),
             n,
             1,
             pb.rows,
             0,
             VecView<double>(y.data(), pb.rows),
             VecView<const double>(sig.data(), pb.rows),
             f);
  for (int32_t i = 1; i <= pb.rows; ++i) {
    y[i - 1] += 0.01 * std::sin(3.0 * i);
    common_data::yd(i) = y[i - 1];
  }
}

void BM_Vmsqp(benchmark::State& state, const Problem* pb) {
  std::vector<double> xdat, y;
  load(*pb, xdat, y);
  const int32_t n = static_cast<int32_t>(pb->truth.size());
  const int32_t m = pb->rows;
  std::vector<double> sigma(m), yfit(m), resid(m), lo(n, 0.0), hi(n, 100.0);
  std::vector<int32_t> mask(n, 1);
  const int64_t before = funct::fun_count;
  int64_t calls = 0;
  for (auto _ : state) {
    std::vector<double> x;
    for (int32_t j = 0; j < n; ++j) x.push_back(pb->truth[j] * (j % 2 == 0 ? 1.2 : 0.8));
    double fobj = 4.503599727262001e19;
    const int32_t maxit = 100, ncon = 2 * n, nvar = 1, mode = 0;
    vmsqp_mod::vmsqp(maxit,
                     n,
                     m,
                     nvar,
                     ncon,
                     mode,
                     VecView<double>(sigma.data(), m),
                     VecView<const double>(xdat.data(), m),
                     VecView<const double>(y.data(), m),
                     VecView<double>(yfit.data(), m),
                     VecView<double>(resid.data(), m),
                     VecView<double>(x.data(), n),
                     VecView<const double>(lo.data(), n),
                     VecView<const double>(hi.data(), n),
                     VecView<const int32_t>(mask.data(), n),
                     fobj);
    benchmark::DoNotOptimize(fobj);
    ++calls;
  }
  state.counters["evaluations"] = static_cast<double>(funct::fun_count - before) / calls;
}

BENCHMARK_CAPTURE(BM_Vmsqp, rows12_params2, &kSmall)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Vmsqp, rows1000_params5, &kLarge)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
