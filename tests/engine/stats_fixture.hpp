// A fixture for the tests of the post-fit statistics and the report: every shared module a fit
// touches reset before and after each test, the start-up directory in a fresh temporary folder, and
// a helper that installs a data set of one x column in common_data (use_formula installs the
// model).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/common_data.hpp"
#include "common/globals.hpp"
#include "files/units.hpp"
#include "model/model_fixture.hpp"
#include "numerics/farray.hpp"
#include "numerics/stringlib.hpp"
#include "support/temp_dir.hpp"

namespace enginetest {

// The model fixture's resets (shared state, compiled formula, generator) plus the file units.
class StatsFixture : public modeltest::ModelFixture {
 protected:
  void SetUp() override {
    ModelFixture::SetUp();
    units::reset();
    units::set_start_directory(dir.path());
    globals::cwd = stringlib::fixed(dir.path().string() + "/", globals::len_dir);
  }
  void TearDown() override {
    units::reset();
    ModelFixture::TearDown();
  }

  // Rows of X1 (and y) as the data set of npr parameters, all free unless masked.
  void use_data(const std::vector<double>& x1,
                const std::vector<double>& y,
                int32_t npr,
                const std::vector<int32_t>& mask = {}) {
    n = int32_t(y.size());
    x = FMatrixD<double>(n, 1);
    yv = FVector<double>(n);
    for (int32_t i = 1; i <= n; ++i) {
      x(i, 1) = x1[size_t(i - 1)];
      yv(i) = y[size_t(i - 1)];
    }
    common_data::npr = npr;
    common_data::nxd = 1;
    for (int32_t k = 1; k <= npr; ++k) {
      common_data::pmask(k) = mask.empty() ? 1 : mask[size_t(k - 1)];
    }
  }

  MatView<const double> xview() const { return MatView<const double>(x.data(), n, 1, n); }
  VecView<const double> yview() const { return VecView<const double>(yv.data(), n); }

  testsupport::TempDir dir;
  int32_t n = 0;
  FMatrixD<double> x;
  FVector<double> yv;
};

}  // namespace enginetest
