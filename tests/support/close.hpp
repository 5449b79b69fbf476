// Closeness checks for numerical tests: relative tolerance that also handles zero.
#pragma once

#include <gtest/gtest.h>

#include <cmath>

namespace testsupport {

// |a - b| <= rtol * max(|a|, |b|), or both within atol of zero.
inline ::testing::AssertionResult near_rel(double a, double b, double rtol, double atol = 0.0) {
  const double diff = std::fabs(a - b);
  const double scale = std::fmax(std::fabs(a), std::fabs(b));
  if (diff <= atol || diff <= rtol * scale) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << a << " vs " << b << ": difference " << diff
                                       << " exceeds rtol " << rtol << " (atol " << atol << ")";
}

}  // namespace testsupport

#define EXPECT_NEAR_REL(a, b, rtol) EXPECT_TRUE(::testsupport::near_rel((a), (b), (rtol)))
