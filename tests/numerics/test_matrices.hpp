// Small matrices for the tests of the matrix routines, written row by row as in the text.
#pragma once

#include <vector>

#include "numerics/farray.hpp"

namespace test_matrices {

// Column-major matrix from its rows (all rows the same length).
inline FMatrixD<double> from_rows(const std::vector<std::vector<double>>& rows) {
  const long n = static_cast<long>(rows.size());
  const long m = n > 0 ? static_cast<long>(rows[0].size()) : 0;
  FMatrixD<double> a(n, m);
  for (long i = 1; i <= n; ++i) {
    for (long j = 1; j <= m; ++j) a(i, j) = rows[i - 1][j - 1];
  }
  return a;
}

}  // namespace test_matrices
