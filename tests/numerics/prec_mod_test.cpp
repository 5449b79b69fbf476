#include "numerics/prec_mod.hpp"

#include <gtest/gtest.h>

TEST(PrecMod, EpsilonAndItsReciprocal) {
  EXPECT_EQ(prec_mod::prec(-1), 2.220446049250313e-16);
  EXPECT_EQ(prec_mod::prec(0), 2.220446049250313e-16);
  EXPECT_EQ(prec_mod::prec(1), 4503599627370496.0);
}
