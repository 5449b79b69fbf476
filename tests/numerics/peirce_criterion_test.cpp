#include "numerics/peirce_criterion.hpp"

#include <gtest/gtest.h>

namespace {

TEST(PeirceCriterion, RatioMatchesPublishedTable) {
  struct Case {
    int32_t n_obs, nd, m;
    double expected;  // Ross (2003), table of R for one fitted quantity, 3 decimals
  };
  const Case cases[] = {{5, 1, 1, 1.509}, {10, 1, 1, 1.878}, {10, 2, 1, 1.570}, {20, 1, 1, 2.209}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "N=" << c.n_obs << " nd=" << c.nd);
    double r = -1.0;
    peirce_criterion(c.n_obs, c.nd, c.m, r);
    EXPECT_NEAR(r, c.expected, 5e-4);
  }
}

TEST(PeirceCriterion, NothingToJudgeGivesZero) {
  struct Case {
    const char* what;
    int32_t n_obs, nd, m;
  };
  const Case cases[] = {{"one observation", 1, 1, 1},
                        {"no observations", 0, 1, 1},
                        {"no doubtful observation", 10, 0, 1},
                        {"all doubtful", 10, 10, 1},
                        {"more doubtful than observed", 10, 12, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    double r = -1.0;
    peirce_criterion(c.n_obs, c.nd, c.m, r);
    EXPECT_EQ(r, 0.0);
  }
}

}  // namespace
