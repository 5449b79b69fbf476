#include "engine/sharc_tval.hpp"

#include <gtest/gtest.h>

namespace {

TEST(Tval95, GivesTheDocumentedValuesAsWidenedFloats) {
  const struct {
    int32_t nu;
    float expected;
  } cases[] = {{1, 12.711f},
               {2, 4.308f},
               {3, 3.183f},
               {5, 2.573f},
               {10, 2.233f},
               {20, 2.093f},
               {30, 2.043f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nu);
    EXPECT_EQ(sharc_mod::tval95(c.nu), double(c.expected));
  }
  EXPECT_EQ(sharc_mod::tval95(30), 2.0429999828338623);
}

TEST(Tval95, FallsTowardsTheNormalQuantileWithMoreDegreesOfFreedom) {
  double previous = sharc_mod::tval95(1);
  for (int32_t nu = 2; nu <= 200; ++nu) {
    const double t = sharc_mod::tval95(nu);
    EXPECT_LE(t, previous) << nu;
    previous = t;
  }
  EXPECT_GT(previous, 1.96);
  EXPECT_LT(previous, 1.98);
}

}  // namespace
