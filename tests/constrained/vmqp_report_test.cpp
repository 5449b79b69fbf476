// Reports of the variable-metric QP method and its bounded Adam refinement.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "constrained/vmqp_fixture.hpp"
#include "constrained/vmqp_module.hpp"

namespace {

using vmqptest::VmqpFixture;

class VmqpReport : public ::testing::Test {
 protected:
  void SetUp() override {
    vmqp_module::reset();
    vmqp_module::console = &out_;
  }
  void TearDown() override { vmqp_module::reset(); }
  std::ostringstream out_;
};

TEST_F(VmqpReport, ListsAtMostThreeValuesToALine) {
  const double v[] = {1.0, -2.0, 3.0, 4.0, 5.0, 6.0, 7.5};
  vmqp_module::colum3(6, 7, VecView<const double>(v, 7), 0);
  EXPECT_EQ(out_.str(),
            " X( 1)=   1.0000000E+00 X( 2)=  -2.0000000E+00 X( 3)=   3.0000000E+00\n"
            " X( 4)=   4.0000000E+00 X( 5)=   5.0000000E+00 X( 6)=   6.0000000E+00\n"
            " X( 7)=   7.5000000E+00\n");
  EXPECT_EQ(vmqp_module::colum3_formats[5][1], '1');  // the digit of the last line stays
}

TEST_F(VmqpReport, MatrixListsCarryTheColumn) {
  vmqp_module::b(1, 2) = 0.5;
  vmqp_module::b(2, 2) = -1.0;
  vmqp_module::cn(2, 3) = 2.0;
  vmqp_module::colum3(1, 2, {}, 2);
  vmqp_module::colum3(9, 2, {}, 3);
  vmqp_module::colum3(2, 0, {}, 0);
  EXPECT_EQ(out_.str(),
            " B( 1, 2)= 5.0000000E-01 B( 2, 2)=-1.0000000E+00\n"
            " CN( 1, 3)= 0.0000000E+00 CN( 2, 3)= 2.0000000E+00\n"
            " num=0 in Colum3\n");
}

TEST_F(VmqpReport, IterationReportWithoutConstraints) {
  vmqp_module::iter = 3;
  vmqp_module::nvma = 12;
  const double x[] = {1.5, 2.0};
  const double g[] = {-0.25, 4.0};
  vmqp_module::vmaout({}, 0.125, VecView<const double>(g, 2), 0, 2, VecView<const double>(x, 2), 2);
  const std::string stars(72, '*');
  EXPECT_EQ(out_.str(),
            " " + stars +
                "\n\n"
                "     ITERATIONS =    3     NUMBER OF CALLS TO VMQP =   12\n\n"
                "  THE VECTOR OF CONTROL VARIABLE VALUES ARE:\n\n"
                " X( 1)=   1.5000000E+00 X( 2)=   2.0000000E+00\n\n"
                " OBJECTIVE FUNCTION VALUE IS:    1.2500000E-01\n\n"
                "    THE VECTOR OF GRADIENT VALUES ARE:\n\n"
                " G( 1)=  -2.5000000E-01 G( 2)=   4.0000000E+00\n\n"
                "    THE JACOBIAN MATRIX IS:\n\n"
                " " +
                stars + "\n");
}

TEST_F(VmqpReport, IterationReportWithConstraints) {
  const double x[] = {1.0};
  const double c[] = {0.5, -0.5};
  vmqp_module::vmaout(VecView<const double>(c, 2), 1.0, {}, 2, 1, VecView<const double>(x, 1), 1);
  EXPECT_NE(out_.str().find("  THE VECTOR OF CONSTRAINT VALUES ARE:\n\n"
                            " C( 1)=   5.0000000E-01 C( 2)=  -5.0000000E-01\n"),
            std::string::npos);
  EXPECT_EQ(out_.str().find("GRADIENT"), std::string::npos);
}

TEST_F(VmqpReport, TraceItems) {
  vmqp_module::glf(1) = 2.0;
  vmqp_module::bugaid(1, 0, -0.5);
  vmqp_module::bugaid(3, 0, 2.0);
  vmqp_module::bugaid(4, 0, 0.1);
  vmqp_module::bugaid(10, 0, 3.0);
  vmqp_module::bugaid(8, 1, 0.0);
  vmqp_module::bugaid(11, 1, 0.0);  // no such item: nothing
  EXPECT_EQ(out_.str(),
            " DFLSA =  -5.0000000E-01\n"
            " FLS =   2.0000000E+00\n"
            " alpha =   1.0000000E-01\n"
            " GLFMAG =   3.0000000E+00\n"
            " GLF( 1)= 2.0000000E+00\n");
}

// ---- Bounded Adam refinement ----

struct Refined {
  double x1, x2, f;
  int32_t steps;
};

Refined refine(double x1, double x2, int32_t mask1, int32_t mask2) {
  FArray<double, 25> x;
  FArray<double, 25> g;
  FArray<double, 50> c;
  FMatrix<double, 25, 50> cn;
  x(1) = x1;
  x(2) = x2;
  double f = 0.0;
  funct::calcfg(2, x.view(2), f, g.view(), c.view(), cn.view());
  const int32_t mask[] = {mask1, mask2};
  const double lo[] = {common_data::pboundlo(1), common_data::pboundlo(2)};
  const double hi[] = {common_data::pboundhi(1), common_data::pboundhi(2)};
  int32_t steps = 0;
  vmqp_module::adamov(2,
                      common_data::nd,
                      x.view(2),
                      g.view(),
                      c.view(),
                      cn.view(),
                      VecView<const int32_t>(mask, 2),
                      VecView<const double>(lo, 2),
                      VecView<const double>(hi, 2),
                      steps,
                      f);
  return {x(1), x(2), f, steps};
}

TEST_F(VmqpFixture, AdamRefinementLowersTheObjective) {
  const double f0 = ssr(4.0, 0.4);
  const Refined r = refine(4.0, 0.4, 1, 1);
  EXPECT_EQ(r.steps, 100);
  EXPECT_LT(r.f, 0.5 * f0);
  EXPECT_NEAR(r.f, ssr(r.x1, r.x2), 1e-12 * f0);  // f belongs to the returned point
}

TEST_F(VmqpFixture, AdamRefinementKeepsTheEntryPointWhenNothingImproves) {
  struct Case {
    const char* name;
    double x1, x2;
    int32_t mask1, mask2;
  };
  // Every variable held; or a start at the least-squares optimum, which no Adam step improves.
  const double p2 = golden([&](double q) { return ssr(best_p1(q), q); }, 0.0, 2.0);
  const Case cases[] = {
      {"every mask 0", 4.0, 0.4, 0, 0},
      {"start at the optimum", best_p1(p2), p2, 1, 1},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const double f0 = ssr(k.x1, k.x2);
    const int64_t before = funct::fun_count;
    const Refined r = refine(k.x1, k.x2, k.mask1, k.mask2);
    EXPECT_EQ(r.x1, k.x1);
    EXPECT_EQ(r.x2, k.x2);
    EXPECT_NEAR(r.f, f0, 1e-12 * f0);
    EXPECT_EQ(r.steps, 100);
    EXPECT_GT(funct::fun_count, before);  // it still evaluated
  }
}

}  // namespace
