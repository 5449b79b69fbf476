// The evaluator over many rows per instruction against the row-by-row evaluator: every row's
// value must be bit for bit the same (NaN payloads aside), on the models of every NIST
// reference file with their data and on random rows of awkward values, and through the model
// evaluator of the whole data set.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/common_udf.hpp"
#include "common/globals.hpp"
#include "model/fparser.hpp"
#include "model/model_front.hpp"
#include "model/my_func.hpp"
#include "model/simd.hpp"
#include "support/nist_problem.hpp"

namespace {

const std::vector<std::string> kNames = {
    "P1", "P2", "P3", "P4", "P5", "P6", "P7", "P8", "X1", "X2", "X3"};

bool same(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

// One problem: a formula, its parameters and x columns (all rows of one column together).
struct Rows {
  std::vector<double> p;                  // 8 values
  std::vector<std::vector<double>> cols;  // 3 columns of equal length
  int32_t count() const { return static_cast<int32_t>(cols[0].size()); }
};

// Compiles text into slot 1 and compares evalf_rows with evalf on every row, and the final
// evalerrtype. Returns the number of rows compared.
int32_t compare(const std::string& text, const Rows& rows) {
  fparser::initf(1);
  int32_t ierr = -1;
  fparser::parsef(1, text, kNames, &ierr, 0);
  EXPECT_EQ(ierr, 0) << text;
  if (ierr != 0) return 0;
  const int32_t n = rows.count();
  const double* cols[3] = {rows.cols[0].data(), rows.cols[1].data(), rows.cols[2].data()};
  std::vector<double> batch(static_cast<size_t>(n), -7.0);
  fparser::evalf_rows(1, rows.p, std::span<const double* const>(cols, 3), n, batch.data());
  const int32_t batch_err = fparser::evalerrtype;
  for (int32_t r = 0; r < n; ++r) {
    std::vector<double> values = rows.p;
    for (int c = 0; c < 3; ++c) values.push_back(rows.cols[c][static_cast<size_t>(r)]);
    const double one = fparser::evalf(1, values);
    if (!same(batch[static_cast<size_t>(r)], one)) {
      ADD_FAILURE() << text << ", row " << r << ": " << batch[static_cast<size_t>(r)] << " vs "
                    << one;
      return r;
    }
  }
  EXPECT_EQ(batch_err, fparser::evalerrtype) << text;
  return n;
}

// Awkward values: zeros of both signs, negatives, huge, tiny, exact powers, near-ones.
double awkward(std::mt19937& rng) {
  static const double special[] = {
      0.0,     -0.0, 1.0,   -1.0, 2.0,  3.0,    0.5,  1e-300,    -1e-300, 1e300, -1e300, 1e-16,
      2.2e-16, 80.0, -80.0, 1e9,  -1e9, 4.5e15, 36.0, 1.0000001, 15.0,    1e14,  709.5,  -710.0};
  std::uniform_int_distribution<int> pick(0, 3);
  std::uniform_int_distribution<size_t> idx(0, std::size(special) - 1);
  std::normal_distribution<double> gauss(0.0, 1.0);
  std::uniform_real_distribution<double> expo(-30.0, 30.0);
  switch (pick(rng)) {
    case 0:
      return special[idx(rng)];
    case 1:
      return gauss(rng);
    case 2:
      return gauss(rng) * std::pow(10.0, expo(rng));
    default:
      return std::round(gauss(rng) * 3.0);
  }
}

Rows random_rows(std::mt19937& rng, int32_t n) {
  Rows rows;
  for (int k = 0; k < 8; ++k) rows.p.push_back(awkward(rng));
  rows.cols.assign(3, {});
  for (auto& col : rows.cols) {
    for (int32_t r = 0; r < n; ++r) col.push_back(awkward(rng));
  }
  return rows;
}

// Line 1 (after "Y="), line 2 (start values) and the x columns of a reference data file.
bool read_nist(const std::filesystem::path& file, std::string& model, Rows& rows) {
  std::ifstream in(file);
  std::string line;
  if (!std::getline(in, line) || line.rfind("Y=", 0) != 0) return false;
  model = line.substr(2);
  std::getline(in, line);
  std::istringstream starts(line);
  rows.p.clear();
  for (double v; starts >> v;) rows.p.push_back(v);
  rows.p.resize(8, 0.0);
  int nx = 1;
  for (int k = 1; k <= 3; ++k) {
    if (model.find("X" + std::to_string(k)) != std::string::npos) nx = k;
  }
  for (int k = 0; k < 3; ++k) std::getline(in, line);
  rows.cols.assign(3, {});
  while (std::getline(in, line) && line.find("END") == std::string::npos) {
    std::istringstream row(line);
    double v[3] = {0.0, 0.0, 0.0};
    for (int c = 0; c < nx; ++c) row >> v[c];
    for (int c = 0; c < 3; ++c) rows.cols[static_cast<size_t>(c)].push_back(v[c]);
  }
  return rows.count() > 0;
}

class FparserRows : public ::testing::Test {
 protected:
  void SetUp() override { fparser::reset(); }
  void TearDown() override {
    simd::set_level(simd::best_level());
    fparser::reset();
  }
};

TEST_F(FparserRows, ReferenceModelsOnTheirDataAndOnAwkwardRows) {
  const std::filesystem::path dir = std::filesystem::path(testsupport::nist_dir()) / "dat";
  std::mt19937 rng(2026);
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().filename().string().find("-start1.dat") == std::string::npos) continue;
    SCOPED_TRACE(entry.path().filename().string());
    std::string model;
    Rows rows;
    ASSERT_TRUE(read_nist(entry.path(), model, rows));
    EXPECT_EQ(compare(model, rows), rows.count());
    // More rows than one block, of awkward values, with the file's start values and with
    // awkward parameters.
    Rows wild = random_rows(rng, 1000);
    EXPECT_EQ(compare(model, wild), 1000);
    wild.p = rows.p;
    EXPECT_EQ(compare(model, wild), 1000);
    ++files;
  }
  EXPECT_EQ(files, 26);
}

TEST_F(FparserRows, EveryOperationAndFunctionOnAwkwardRows) {
  const char* formulas[] = {
      "P1+X1-P2*X1/P1^X1",
      "X1/P1+X1/0+P2/X2",
      "-P1^2+X1^2-X2^3+X3^0.5",
      "X1^P1+X2^X3+2^(-3)",
      "P1**X1+(P1!X2)",
      "X1=X2+X1#X2+(X1<X2)*(X1[X3)",
      "(X1>X2)+(X1]X3)+X1:X2",
      "X1|X2:X3|P1",
      "ABS(X1)+EXP(X2)+LOG10(X3)",
      "LOG(X1)+SQRT(X2)-SQRT(-X3)",
      "SINH(X1/1E3)+COSH(X2/1E3)+TANH(X3)",
      "SIN(X1)*COS(X2)+TAN(X3)",
      "ASIN(X1)+ACOS(X2)",
      "ATAN(X1)+RD(X2)+OMEGW(X3)",
      "-SIN(X1)-(X2+P1)",
      "PI*X1+EU-DG*K1/K2+RJ*RC",
      "(-VL)+(+VH)*X1",
      "P1*(1-EXP(-P2*X1))",
      "X1*X1*X1-P3*X2/X3^2",
      "1.5D2*X1-2E-3/X2",
      "X1^2^X2",
      "EXP(X1)^3",
      "P8-X3",
      "-0",
      "(-0):X1-0*P1",
      // Powers of a column times a number or parameter, on either side of + and -, inside
      // other operations, and taken often enough to be computed once per tile.
      "P1+P2*X1+P3*X1^2+P4*X1^3-X1^3*P5",
      "X1^2-P1*X2-(P2-X1*P1)+(X2^3*P3-P4)",
      "X1^3/P1-X1^2*X2+(X1^2)^2*P2-(-X2^2+P1)",
      "X1^2+X1^2+X1^3+X1^3-P1*X1^2*X1^3+X2^3*2-X2^3",
      "(X1+X2)*(X2-X3)/((X1-P1)*(X3+P2))-(P3*X1-X2*P4)*(X1^2+X2)",
      "ASIN(P1)+X1-ACOS(P2*X2)",
  };
  // At every vector level the processor has: the kernels of each level must agree with
  // themselves row by row, whatever the other lanes of a vector hold, over row counts below,
  // at and beyond a tile of every level.
  for (simd::Level level : {simd::Level::Sse2, simd::Level::Avx2, simd::Level::Avx512}) {
    if (!simd::set_level(level)) continue;
    SCOPED_TRACE(simd::to_string(level));
    std::mt19937 rng(7);
    for (const char* text : formulas) {
      SCOPED_TRACE(text);
      for (int32_t n : {1, 2, 127, 128, 129, 250, 300}) {
        Rows rows = random_rows(rng, n);
        EXPECT_EQ(compare(text, rows), n) << n << " rows";
      }
    }
  }
}

TEST_F(FparserRows, AStoppedRowGivesZeroAndTheLastRowSetsTheError) {
  Rows rows;
  rows.p.assign(8, 0.0);
  rows.cols = {{0.5, 2.0, -0.5, 0.0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
  fparser::initf(1);
  int32_t ierr = -1;
  fparser::parsef(1, "ASIN(X1)+1", kNames, &ierr, 0);
  ASSERT_EQ(ierr, 0);
  const double* cols[3] = {rows.cols[0].data(), rows.cols[1].data(), rows.cols[2].data()};
  double out[4];
  fparser::evalf_rows(1, rows.p, std::span<const double* const>(cols, 3), 4, out);
  EXPECT_EQ(out[1], 0.0);  // ASIN(2) stops the row
  EXPECT_EQ(out[0], std::asin(0.5) + 1.0);
  EXPECT_EQ(fparser::evalerrtype, 0);
  fparser::evalf_rows(1, rows.p, std::span<const double* const>(cols, 3), 2, out);
  EXPECT_EQ(fparser::evalerrtype, 4);
}

TEST_F(FparserRows, NamesBeyondTheSuppliedValuesTakeTheLast) {
  fparser::initf(1);
  int32_t ierr = -1;
  fparser::parsef(1, "P1*X1+X3", kNames, &ierr, 0);
  ASSERT_EQ(ierr, 0);
  const double p[2] = {2.0, 3.0};
  const double x1[3] = {1.0, 10.0, 100.0};
  const double* cols[1] = {x1};
  double out[3];
  // Two values and one column: X1 (name 9) and X3 (name 11) both read the column.
  fparser::evalf_rows(1, p, std::span<const double* const>(cols, 1), 3, out);
  for (int r = 0; r < 3; ++r) {
    const double values[3] = {p[0], p[1], x1[r]};
    EXPECT_EQ(out[r], fparser::evalf(1, values));
  }
  // No values at all: every name reads 0.
  fparser::evalf_rows(1, {}, {}, 3, out);
  EXPECT_EQ(out[2], fparser::evalf(1, std::span<const double>()));
}

// Names read in other units: the formula with P1, P2 times powers of two (and P3 left at 1)
// gives, row by row and over all rows, exactly its value at the parameters so multiplied.
TEST_F(FparserRows, ScaledNamesGiveTheFormulaAtTheScaledValues) {
  const std::string formulas[] = {"P1*EXP(-P2/X1)+P3", "P2^2*X1-P1/(P3+X1)", "(P1)*(1-P1)"};
  const double factors[3] = {0x1p40, 0x1p-60, 1.0};
  const double q[3] = {0.75, 1.5, -2.0};
  const double p[3] = {q[0] * factors[0], q[1] * factors[1], q[2]};
  const double x1[5] = {0.5, 1.0, 3.0, 10.0, 1e3};
  const double* cols[1] = {x1};
  for (const std::string& f : formulas) {
    SCOPED_TRACE(f);
    fparser::initf(1);
    int32_t ierr = -1;
    fparser::parsef(1, f, kNames, &ierr, 0);
    ASSERT_EQ(ierr, 0);
    double want[5];
    fparser::evalf_rows(1, p, std::span<const double* const>(cols, 1), 5, want);
    fparser::scale_names(1, factors);
    double out[5];
    fparser::evalf_rows(1, q, std::span<const double* const>(cols, 1), 5, out);
    for (int r = 0; r < 5; ++r) {
      const double values[4] = {q[0], q[1], q[2], x1[r]};
      EXPECT_EQ(fparser::evalf(1, values), want[r]) << r;
      EXPECT_EQ(out[r], want[r]) << r;
    }
  }
}

// The model front end over a data set: eval_func_rows against eval_func row by row.
TEST_F(FparserRows, ModelValuesOfAllRowsMatchTheRowByRowEvaluator) {
  globals::reset();
  fnparse2_reset();
  std::string formula = "P1*(P2+X1)^(-1/P3)+LOG(X2)";
  std::mt19937 rng(11);
  const int32_t n = 333;
  std::vector<double> x(static_cast<size_t>(n) * 2);
  for (double& v : x) v = awkward(rng);
  const double p[3] = {-2000.0, 50.0, 0.8};
  const MatView<const double> xm(x.data(), n, 2, n);
  std::vector<double> all(static_cast<size_t>(n), -1.0);
  ASSERT_EQ(my_func::eval_func_rows(
                VecView<const double>(p, 3), 3, xm, 2, formula, n, VecView<double>(all.data(), n)),
            0);
  for (int32_t i = 1; i <= n; ++i) {
    const double row[2] = {xm(i, 1), xm(i, 2)};
    double one = 0.0;
    ASSERT_EQ(my_func::eval_func(
                  VecView<const double>(p, 3), 3, VecView<const double>(row, 2), 2, formula, one),
              0);
    ASSERT_TRUE(same(all[static_cast<size_t>(i - 1)], one)) << "row " << i;
  }
  fnparse2_reset();
}

}  // namespace
