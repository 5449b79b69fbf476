// Model evaluation per data row: the compiled formula run by fparser::evalf row by row and by
// fparser::evalf_rows over all rows at once, the same model as native C++ row by row with the
// platform's libm (Native), as native C++ over blocks of rows with vector arithmetic and the
// evaluator's own vector library at the same instruction-set level (NativeVec: the honest limit
// of evalf_rows), and the same text compiled by muparser. Models and data come from the NIST
// reference files (Misra1a, MGH09, Thurber, Gauss1: three exponentials, Bennett5: a power) at
// their first start point, the file's rows repeated to 250. After the runs a table gives
// nanoseconds per row (the least of the repetitions) and the ratios. The vector level is the
// processor's best unless VARQEN_SIMD names another (sse2, avx2, avx512).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "console_options.hpp"
#include "formula_native.hpp"
#include "model/fparser.hpp"
#include "model/simd.hpp"
#include "support/nist_problem.hpp"

#ifdef VARQEN_HAVE_MUPARSER
#include <muParser.h>
#endif

namespace {

constexpr size_t kRows = 250;  // rows of every problem (the file's rows repeated)

struct Problem {
  std::string name;
  std::string model;      // the formula after "Y="
  std::vector<double> p;  // start 1
  std::vector<double> x;  // X1 of each row
  std::function<double(const double* p, double x)> native;
  formula_native::Block formula_native::Models::*vec = nullptr;  // the block version
};

// Reads line 1 (the model), line 2 (start values) and the rows "x y" up to END.
bool read_problem(Problem& pr) {
  std::ifstream in(testsupport::nist_dir() + "/dat/" + pr.name + "-start1.dat");
  std::string line;
  if (!std::getline(in, line) || line.rfind("Y=", 0) != 0) return false;
  pr.model = line.substr(2);
  std::getline(in, line);
  std::istringstream starts(line);
  for (double v; starts >> v;) pr.p.push_back(v);
  for (int k = 0; k < 3; ++k) std::getline(in, line);  // bounds and mask
  while (std::getline(in, line) && line.find("END") == std::string::npos) {
    std::istringstream row(line);
    double x = 0.0, y = 0.0;
    if (row >> x >> y) pr.x.push_back(x);
  }
  if (pr.x.empty()) return false;
  const size_t file_rows = pr.x.size();
  for (size_t k = file_rows; k < kRows; ++k) pr.x.push_back(pr.x[k % file_rows]);
  return true;
}

std::vector<Problem>& problems() {
  static std::vector<Problem> list = [] {
    std::vector<Problem> v(5);
    v[0].name = "Misra1a";
    v[0].native = [](const double* p, double x) { return p[0] * (1 - std::exp(-p[1] * x)); };
    v[0].vec = &formula_native::Models::misra1a;
    v[1].name = "MGH09";
    v[1].native = [](const double* p, double x) {
      return p[0] * (x * x + x * p[1]) / (x * x + x * p[2] + p[3]);
    };
    v[1].vec = &formula_native::Models::mgh09;
    v[2].name = "Thurber";
    v[2].native = [](const double* p, double x) {
      return (p[0] + p[1] * x + p[2] * x * x + p[3] * x * x * x) /
             (1 + p[4] * x + p[5] * x * x + p[6] * x * x * x);
    };
    v[2].vec = &formula_native::Models::thurber;
    v[3].name = "Gauss1";
    v[3].native = [](const double* p, double x) {
      return p[0] * std::exp(-p[1] * x) +
             p[2] * std::exp(-(x - p[3]) * (x - p[3]) / (p[4] * p[4])) +
             p[5] * std::exp(-(x - p[6]) * (x - p[6]) / (p[7] * p[7]));
    };
    v[3].vec = &formula_native::Models::gauss1;
    v[4].name = "Bennett5";
    v[4].native = [](const double* p, double x) { return p[0] * std::pow(p[1] + x, -1 / p[2]); };
    v[4].vec = &formula_native::Models::bennett5;
    for (Problem& pr : v) {
      if (!read_problem(pr)) std::fprintf(stderr, "cannot read the %s file\n", pr.name.c_str());
    }
    return v;
  }();
  return list;
}

std::vector<std::string> names_for(const Problem& pr) {
  std::vector<std::string> names;
  for (size_t k = 1; k <= pr.p.size(); ++k) names.push_back("P" + std::to_string(k));
  names.push_back("X1");
  return names;
}

void BM_Evalf(benchmark::State& state) {
  const Problem& pr = problems()[state.range(0)];
  fparser::initf(1);
  int32_t ierr = 1;
  fparser::parsef(1, pr.model, names_for(pr), &ierr, 0);
  if (ierr != 0) return state.SkipWithError("formula refused");
  std::vector<double> values(pr.p);
  values.push_back(0.0);
  const size_t ix = pr.p.size();
  for (auto _ : state) {
    double sum = 0.0;
    for (double x : pr.x) {
      values[ix] = x;
      sum += fparser::evalf(1, values);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetLabel(pr.name);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(pr.x.size()));
}

void BM_EvalfRows(benchmark::State& state) {
  const Problem& pr = problems()[state.range(0)];
  fparser::initf(1);
  int32_t ierr = 1;
  fparser::parsef(1, pr.model, names_for(pr), &ierr, 0);
  if (ierr != 0) return state.SkipWithError("formula refused");
  std::vector<double> out(pr.x.size());
  const double* cols[1] = {pr.x.data()};
  for (auto _ : state) {
    fparser::evalf_rows(1, pr.p, cols, static_cast<int32_t>(pr.x.size()), out.data());
    double sum = 0.0;
    for (double v : out) sum += v;
    benchmark::DoNotOptimize(sum);
  }
  state.SetLabel(pr.name);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(pr.x.size()));
}

void BM_Native(benchmark::State& state) {
  const Problem& pr = problems()[state.range(0)];
  std::vector<double> p(pr.p);
  for (auto _ : state) {
    benchmark::DoNotOptimize(p.data());
    double sum = 0.0;
    for (double x : pr.x) sum += pr.native(p.data(), x);
    benchmark::DoNotOptimize(sum);
  }
  state.SetLabel(pr.name);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(pr.x.size()));
}

// The x values padded to whole vectors, for the block versions.
std::vector<double> padded_x(const Problem& pr) {
  std::vector<double> x(pr.x);
  x.resize((x.size() + 7) / 8 * 8, x.empty() ? 0.0 : x.back());
  return x;
}

void BM_NativeVec(benchmark::State& state) {
  const Problem& pr = problems()[state.range(0)];
  const formula_native::Block f = formula_native::at(simd::active->level).*pr.vec;
  const std::vector<double> x = padded_x(pr);
  std::vector<double> out(x.size());
  std::vector<double> p(pr.p);
  const int32_t n = static_cast<int32_t>(pr.x.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(p.data());
    f(p.data(), x.data(), n, out.data());
    double sum = 0.0;
    for (int32_t r = 0; r < n; ++r) sum += out[static_cast<size_t>(r)];
    benchmark::DoNotOptimize(sum);
  }
  state.SetLabel(pr.name);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(pr.x.size()));
}

#ifdef VARQEN_HAVE_MUPARSER
// muparser names its functions in lower case.
std::string muparser_text(std::string s) {
  for (const char* f : {"EXP", "LOG", "SQRT", "SIN", "COS", "TAN", "ATAN", "ABS"}) {
    const std::string up = std::string(f) + "(";
    std::string low = up;
    for (char& c : low) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (size_t k = s.find(up); k != std::string::npos; k = s.find(up, k + 1)) {
      s.replace(k, up.size(), low);
    }
  }
  return s;
}

void BM_Muparser(benchmark::State& state) {
  const Problem& pr = problems()[state.range(0)];
  std::vector<double> p(pr.p);
  double x = 0.0;
  mu::Parser parser;
  try {
    const std::vector<std::string> names = names_for(pr);
    for (size_t k = 0; k < p.size(); ++k) parser.DefineVar(names[k], &p[k]);
    parser.DefineVar("X1", &x);
    parser.SetExpr(muparser_text(pr.model));
    parser.Eval();
  } catch (const mu::Parser::exception_type& e) {
    return state.SkipWithError(e.GetMsg().c_str());
  }
  for (auto _ : state) {
    double sum = 0.0;
    for (double xi : pr.x) {
      x = xi;
      sum += parser.Eval();
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetLabel(pr.name);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(pr.x.size()));
}
BENCHMARK(BM_Muparser)->DenseRange(0, 4);
#endif

BENCHMARK(BM_Evalf)->DenseRange(0, 4);
BENCHMARK(BM_EvalfRows)->DenseRange(0, 4);
BENCHMARK(BM_Native)->DenseRange(0, 4);
BENCHMARK(BM_NativeVec)->DenseRange(0, 4);

// Prints the usual table and keeps nanoseconds per row of each run for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(benchsupport::console_options()) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
      const auto items = r.counters.find("items_per_second");
      if (items == r.counters.end() || items->second.value <= 0.0) continue;
      const std::string method = r.run_name.function_name.substr(3);  // drop "BM_"
      // The least of the repetitions: on a busy machine the least disturbed run.
      double& ns = ns_per_row_[r.report_label][method];
      const double now = 1e9 / items->second.value;
      if (ns == 0.0 || now < ns) ns = now;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nvector level %s\n", simd::to_string(simd::active->level));
    std::printf("%-9s %8s %8s %8s %8s %8s %9s %9s %9s %9s\n",
                "model",
                "evalf",
                "rows",
                "native",
                "vec",
                "muparser",
                "evalf/nat",
                "rows/nat",
                "rows/vec",
                "evalf/mu");
    for (auto& [model, t] : ns_per_row_) {
      const double e = t["Evalf"], b = t["EvalfRows"], n = t["Native"], v = t["NativeVec"];
      const double m = t.count("Muparser") ? t["Muparser"] : 0.0;
      std::printf("%-9s %8.2f %8.2f %8.2f %8.2f %8.2f %9.2f %9.2f %9.2f %9.2f\n",
                  model.c_str(),
                  e,
                  b,
                  n,
                  v,
                  m,
                  n > 0 ? e / n : 0.0,
                  n > 0 ? b / n : 0.0,
                  v > 0 ? b / v : 0.0,
                  m > 0 ? e / m : 0.0);
    }
  }

 private:
  std::map<std::string, std::map<std::string, double>> ns_per_row_;
};

// The three ways must agree before their speed means anything.
bool methods_agree() {
  bool ok = true;
  for (const Problem& pr : problems()) {
    if (pr.x.empty()) return false;
    fparser::initf(1);
    int32_t ierr = 1;
    fparser::parsef(1, pr.model, names_for(pr), &ierr, 0);
    std::vector<double> values(pr.p);
    values.push_back(0.0);
    const std::vector<double> x = padded_x(pr);
    std::vector<double> vec(x.size());
    (formula_native::at(simd::active->level).*pr.vec)(
        pr.p.data(), x.data(), static_cast<int32_t>(pr.x.size()), vec.data());
    for (size_t r = 0; r < pr.x.size(); ++r) {
      values.back() = pr.x[r];
      const double e = fparser::evalf(1, values), n = pr.native(pr.p.data(), pr.x[r]);
      if (ierr != 0 || std::fabs(e - n) > 1e-12 * std::fabs(n) ||
          std::fabs(vec[r] - n) > 1e-12 * std::fabs(n)) {
        std::fprintf(stderr,
                     "%s: evalf %.17g, native %.17g, vector %.17g at x = %g\n",
                     pr.name.c_str(),
                     e,
                     n,
                     vec[r],
                     pr.x[r]);
        ok = false;
        break;
      }
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (const char* want = std::getenv("VARQEN_SIMD"); want != nullptr) {
    const std::string w = want;
    const simd::Level l = w == "sse2"   ? simd::Level::Sse2
                          : w == "avx2" ? simd::Level::Avx2
                                        : simd::Level::Avx512;
    if (!simd::set_level(l)) std::fprintf(stderr, "VARQEN_SIMD=%s: not supported here\n", want);
  }
  if (!methods_agree()) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
