#include "support/nist_problem.hpp"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/common_data.hpp"
#include "common/common_udf.hpp"
#include "common/globals.hpp"
#include "common/nrtype.hpp"
#include "model/checkdata.hpp"
#include "model/funct.hpp"
#include "model/limits.hpp"
#include "model/model_front.hpp"
#include "model/readwrite.hpp"
#include "numerics/farray.hpp"
#include "numerics/prec_mod.hpp"
#include "numerics/runtime_rng.hpp"
#include "numerics/stringlib.hpp"
#include "numerics/sysclock.hpp"
#include "numerics/timeit_mod.hpp"

namespace testsupport {
namespace {

using ::testing::AssertionFailure;
using ::testing::AssertionResult;
using ::testing::AssertionSuccess;

constexpr double kTimemaxOfAFit = 600000.0;  // the cascade's limit for every fit, seconds

std::vector<std::string> split_csv(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  std::string f;
  while (std::getline(in, f, ',')) fields.push_back(f);
  return fields;
}

// Rows of a certified CSV file whose first field is `name` (the header is skipped).
std::vector<std::vector<std::string>> csv_rows(const std::string& file, const std::string& name) {
  std::ifstream in(nist_dir() + "/" + file);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> f = split_csv(line);
    if (!f.empty() && (name.empty() || f[0] == name)) rows.push_back(std::move(f));
  }
  return rows;
}

AssertionResult read_certified(NistProblem& pb) {
  for (const auto& f : csv_rows("certified.csv", pb.name)) {
    if (f.size() < 6) return AssertionFailure() << "short line in certified.csv for " << pb.name;
    pb.certified.push_back(std::strtod(f[4].c_str(), nullptr));
    pb.certified_se.push_back(std::strtod(f[5].c_str(), nullptr));
  }
  const auto ssr = csv_rows("certified_ssr.csv", pb.name);
  if (pb.certified.empty() || ssr.size() != 1 || ssr[0].size() < 5) {
    return AssertionFailure() << "no certified values for " << pb.name << " in " << nist_dir();
  }
  pb.certified_ssr = std::strtod(ssr[0][1].c_str(), nullptr);
  pb.difficulty = ssr[0][4];
  return AssertionSuccess();
}

// Model line: read, upper-cased, control characters and blanks removed, "Y=" dropped, then
// normalised and checked by parse_func, which also counts the parameters and variables.
AssertionResult read_model(std::string& file, NistProblem& pb) {
  std::string line;
  if (readwrite::a_function_line(file, line) != readwrite::Status::Ok) {
    return AssertionFailure() << "cannot read the model line of " << pb.file;
  }
  std::string text;
  stringlib::s_cap_string(line, text);
  stringlib::s_control_blank(text);
  stringlib::s_del_blank(text);
  stringlib::s_adjustl(text);
  stringlib::delsubstr(text, "Y=");
  stringlib::s_adjustl(text);
  common_udf::cudf = stringlib::fixed(stringlib::trim(text), common_udf::len_text);
  int32_t length = 0;
  int32_t ierr = 0;
  std::string message;
  parse_func(pb.n, pb.nx, common_udf::cudf, length, ierr, message);
  if (ierr != 0) {
    return AssertionFailure() << "model of " << pb.file << " does not compile: error " << ierr
                              << " " << stringlib::trim(message);
  }
  return AssertionSuccess();
}

// The fit run's shape checks, in its order, then the values.
AssertionResult read_values(const std::string& file, NistProblem& pb, FMatrixD<double>& xy) {
  using readwrite::Status;
  int32_t cols = 0, npar = 0, nlo = 0, nhi = 0, nmask = 0, errline = 0, ierr = 0;
  readwrite::rxycols(cols, file);
  if (cols != pb.nx + 1) return AssertionFailure() << pb.file << ": " << cols << " data columns";
  if (checkdata::checkparameterdata(file, pb.n, errline, ierr) != Status::Ok || ierr != 0) {
    return AssertionFailure() << pb.file << ": bad number in line " << errline;
  }
  readwrite::rparcols(npar, file);
  readwrite::rlocols(nlo, file);
  readwrite::rhicols(nhi, file);
  readwrite::rmaskcols(nmask, file);
  if (npar != pb.n || nlo != pb.n || nhi != pb.n || nmask != pb.n) {
    return AssertionFailure() << pb.file << ": parameter lines do not hold " << pb.n << " values";
  }
  if (checkdata::checkparsestr2real(file, pb.nx + 1, errline, ierr) != Status::Ok || ierr != 0) {
    return AssertionFailure() << pb.file << ": bad number in data line " << errline;
  }
  xy = FMatrixD<double>(pb.m, pb.nx + 1);
  pb.x0.assign(pb.n, 0.0);
  if (readwrite::rxy(xy.view(), pb.m, pb.nx + 1, file, errline, ierr) != Status::Ok || ierr != 0 ||
      readwrite::rpar(VecView<double>(pb.x0.data(), pb.n), pb.n, file, ierr) != Status::Ok ||
      ierr != 0 || readwrite::rlo(common_data::pboundlo.view(pb.n), pb.n, file) != Status::Ok ||
      readwrite::rhi(common_data::pboundhi.view(pb.n), pb.n, file) != Status::Ok ||
      readwrite::rmask(common_data::pmask.view(pb.n), pb.n, file) != Status::Ok) {
    return AssertionFailure() << pb.file << ": values cannot be read (line " << errline << ")";
  }
  return AssertionSuccess();
}

// What the fit run and the cascade set up before the first stage.
void set_up_data_set(NistProblem& pb, const FMatrixD<double>& xy) {
  for (int32_t j = 1; j <= pb.n; ++j) {
    if (common_data::pmask(j) != 0 && pb.x0[j - 1] == 0.0) pb.x0[j - 1] = 1e-16;
    common_data::pfinal(j) = pb.x0[j - 1];
  }
  common_data::npr = pb.n;
  common_data::nxd = pb.nx;
  common_data::nd = pb.m;
  common_data::ndwt = 0;
  for (int32_t i = 1; i <= pb.m; ++i) {
    for (int32_t k = 1; k <= pb.nx; ++k) common_data::xnx(i, k) = xy(i, k);
    common_data::xd(i) = xy(i, 1);
    common_data::xd2(i) = pb.nx >= 2 ? xy(i, 2) : 0.0;
    common_data::xd3(i) = pb.nx >= 3 ? xy(i, 3) : 0.0;
    common_data::yd(i) = xy(i, pb.nx + 1);
    common_data::ysig(i) = 1.0;
  }
  nrtype::epsmachine = prec_mod::prec(-1);
  globals::iwt = 1;  // weighting None: the certified values are for an unweighted fit
  globals::timemax = kTimemaxOfAFit;
  globals::starttimer = 1;
}

}  // namespace

void reset_shared_state() {
  common_data::reset();
  common_udf::reset();
  globals::reset();
  nrtype::reset();
  limits::reset();
  funct::reset();
  fnparse2_reset();
  runtime_rng::reset();
  timeit_mod::reset();
}

std::string nist_dir() {
  const char* env = std::getenv("VARQEN_NIST_DIR");
  return env != nullptr && *env != '\0' ? env : VARQEN_NIST_DIR;
}

std::vector<std::string> nist_problem_names() {
  std::vector<std::string> names;
  for (const auto& f : csv_rows("certified_ssr.csv", "")) names.push_back(f[0]);
  return names;
}

double lre(double value, double certified) {
  if (value == certified) return 11.0;
  const double e = -std::log10(std::fabs(value - certified) / std::fabs(certified));
  if (!(e > 0.0)) return 0.0;  // also a NaN value or certified value
  return e > 11.0 ? 11.0 : e;
}

double NistProblem::ssq(const std::vector<double>& p) const {
  FMatrixD<double> x(m, 3);
  const int32_t nxm = funct::load_x_columns(x.view());
  double f = 0.0;
  funct::fun(MatView<const double>(x.data(), m, nxm, m),
             VecView<const double>(common_data::yd.data(), m),
             VecView<const double>(p.data(), n),
             n,
             nxm,
             m,
             0,
             common_data::ydf.view(m),
             VecView<const double>(common_data::ysig.data(), m),
             f);
  return f;
}

double NistProblem::params_lre(const std::vector<double>& p) const {
  double worst = 11.0;
  for (int32_t j = 0; j < n; ++j) worst = std::fmin(worst, lre(p[j], certified[j]));
  return worst;
}

double NistProblem::ssr_lre(double ssr) const { return lre(ssr, certified_ssr); }

AssertionResult load_nist(const std::string& name, int32_t start, NistProblem& pb) {
  reset_shared_state();
  pb = NistProblem{};
  pb.name = name;
  pb.start = start;
  pb.file = nist_dir() + "/dat/" + name + "-start" + std::to_string(start) + ".dat";
  if (AssertionResult r = read_certified(pb); !r) return r;

  std::string file = pb.file;
  int32_t lines = 0;
  if (readwrite::a_row_count(file, lines) != readwrite::Status::Ok) {
    return AssertionFailure() << "cannot read " << pb.file;
  }
  pb.m = lines - readwrite::header_lines;
  if (AssertionResult r = read_model(file, pb); !r) return r;
  if (pb.n != static_cast<int32_t>(pb.certified.size())) {
    return AssertionFailure() << pb.file << ": model has " << pb.n << " parameters, certified "
                              << pb.certified.size();
  }
  FMatrixD<double> xy;
  if (AssertionResult r = read_values(file, pb, xy); !r) return r;
  set_up_data_set(pb, xy);

  pb.start_ssq = pb.ssq(pb.x0);
  common_data::fssqr = pb.start_ssq;
  for (int32_t j = 1; j <= pb.n; ++j) common_data::pfinal(j) = pb.x0[j - 1];
  funct::fun_count = 0;
  return AssertionSuccess();
}

EvalCount::EvalCount() : start_(funct::fun_count) {}

int64_t EvalCount::count() const { return funct::fun_count - start_; }

TimeLimitClock::TimeLimitClock() {
  sysclock::set_tick_source([this] { return read(); });
  // A sleep passes time on the clock, as it would for real.
  sysclock::set_sleeper([this](int32_t ms) {
    if (ms > 0) now_ms_ += ms;
  });
  globals::starttimer = 1;
  timeit_mod::timeclock(globals::starttimer);
  readings_ = 0;
}

TimeLimitClock::~TimeLimitClock() {
  sysclock::set_tick_source(nullptr);
  sysclock::set_sleeper(nullptr);
}

void TimeLimitClock::expire_after(int64_t polls) { expire_at_ = readings_ + polls; }

int64_t TimeLimitClock::read() {
  const int64_t k = readings_++;
  const int64_t at = expire_at_;
  if (at >= 0 && k == at) {
    // One jump beyond the limit: every poll adds the time since the restart, so from this
    // reading on the running sum stays above globals::timemax.
    now_ms_ += static_cast<int64_t>(globals::timemax * 1000.0) + 1000;
  }
  return now_ms_;
}

}  // namespace testsupport
