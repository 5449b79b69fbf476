#include "model/vmfun.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "common/common_data.hpp"
#include "model/model_fixture.hpp"

namespace {

class Vmfun : public modeltest::ModelFixture {
 protected:
  void SetUp() override {
    ModelFixture::SetUp();
    use_formula("P1*X1+P2*X2");
    common_data::nd = 3;
    common_data::nxd = 2;
    const double x1[] = {1, 2, 3};
    const double x2[] = {0, 1, -1};
    const double y[] = {2, 5, 4};
    const double sig[] = {0, 2, 1};
    for (int i = 1; i <= 3; ++i) {
      common_data::xd(i) = x1[i - 1];
      common_data::xd2(i) = x2[i - 1];
      common_data::xd3(i) = 99.0;  // not a column of this model
      common_data::yd(i) = y[i - 1];
      common_data::ysig(i) = sig[i - 1];
    }
    common_data::ndwt = 1;
  }
};

TEST_F(Vmfun, SumOfTheSharedDataSetAtAStridedVector) {
  // x = (P1, P2) = (2, 0.5) taken every third element.
  const std::vector<double> storage = {2, -7, -7, 0.5, -7, -7};
  double f = 0.0;
  vmfun(2, VecView<const double>(storage.data(), 2, 3), f);
  // Fitted (2, 4.5, 5.5), residuals (0, 0.5, -1.5), sigmas (1 for the zero, 2, 1).
  EXPECT_DOUBLE_EQ(f, 0.0 + 0.0625 + 2.25);
  const double fit[] = {2, 4.5, 5.5};
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(common_data::ydf(i), fit[i - 1]);
    EXPECT_EQ(common_data::ydr(i), common_data::yd(i) - fit[i - 1]);
  }
  EXPECT_EQ(common_data::ysig(1), 1.0);  // the zero sigma was replaced in place
  EXPECT_EQ(common_data::ysig(2), 2.0);
  EXPECT_EQ(common_data::ndwt, 1);
}

}  // namespace
