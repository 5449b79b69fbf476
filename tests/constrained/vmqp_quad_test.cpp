// The quadratic-programme solver of the variable-metric QP method, its inverse and scaling.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "constrained/vmqp_module.hpp"

namespace {

using namespace vmqp_module;

// A programme of n step components and xi, laid out as the method lays it out: A = diag(a)
// with a zero xi row, gm = (lin, 1e6), wide bounds on the step, xi in [0, 1], the working set
// holding the equalities and the upper bound of xi.
void set_up(const std::vector<double>& a, const std::vector<double>& lin, int32_t m, int32_t meq) {
  reset();
  const int32_t n = static_cast<int32_t>(a.size());
  nvr = n + 1;
  nvar2 = 2 * nvr;
  mtotal = m + nvar2;
  m_run = m;
  meq_run = meq;
  for (int32_t i = 1; i <= n; ++i) {
    b(i, i) = a[i - 1];
    gm(i) = lin[i - 1];
    bdl(i) = -1e6;
    bdu(i) = 1e6;
  }
  gm(nvr) = 1e6;
  bdl(nvr) = 0.0;
  bdu(nvr) = 1.0;
  delta(nvr) = 1.0;
  nc = meq + 1;
  for (int32_t j = 1; j <= meq; ++j) ibasis(j) = nvar2 + j;
  ibasis(meq + 1) = nvar2;
}

double normal(int32_t k, int32_t i) {
  if (k <= nvr) return k == i ? 1.0 : 0.0;
  if (k <= nvar2) return k - nvr == i ? -1.0 : 0.0;
  return cn(i, k - nvar2);
}

// cstar N = I over the working set and h N = 0.
void expect_invariants() {
  for (int32_t r = 1; r <= nc; ++r) {
    for (int32_t k = 1; k <= nc; ++k) {
      double s = 0.0;
      for (int32_t i = 1; i <= nvr; ++i) s += cstar(r, i) * normal(ibasis(k), i);
      EXPECT_NEAR(s, r == k ? 1.0 : 0.0, 1e-12) << "cstar row " << r << ", normal " << k;
    }
  }
  for (int32_t k = 1; k <= nc; ++k) {
    for (int32_t i = 1; i <= nvr; ++i) {
      double s = 0.0;
      for (int32_t j = 1; j <= nvr; ++j) s += h(i, j) * normal(ibasis(k), j);
      EXPECT_NEAR(s, 0.0, 1e-12);
    }
  }
}

// The multiplier quad leaves for linearised constraint j (as the method forms it).
double multiplier(int32_t j) {
  for (int32_t k = 1; k <= nc; ++k) {
    if (ibasis(k) != nvar2 + j) continue;
    double s = 0.0;
    for (int32_t i = 1; i <= nvr - 1; ++i) s += cstar(k, i) * ghat(i);
    return s;
  }
  return 0.0;
}

TEST(VmqpQuad, SolvesProgrammesWithKnownSolutions) {
  // q = (d1 - 1)^2 + 2 (d2 - 1)^2 + const: A = diag(2, 4), gm = (2, 4).
  struct Case {
    const char* name;
    int32_t m, meq;
    double rhs;  // d(1) of the constraint d1 + d2 >= (or =) rhs
    double d1, d2, lambda;
  };
  const Case cases[] = {
      {"unconstrained minimum inside", 0, 0, 0.0, 1.0, 1.0, 0.0},
      {"inequality inactive", 1, 0, 1.0, 1.0, 1.0, 0.0},
      {"inequality active", 1, 0, 3.0, 5.0 / 3.0, 4.0 / 3.0, 4.0 / 3.0},
      {"equality below the minimum", 1, 1, 1.0, 1.0 / 3.0, 2.0 / 3.0, -4.0 / 3.0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    set_up({2.0, 4.0}, {2.0, 4.0}, k.m, k.meq);
    if (k.m == 1) {
      cn(1, 1) = 1.0;
      cn(2, 1) = 1.0;
      d(1) = k.rhs;
    }
    int32_t status = -1;
    int32_t work = 7;
    quad(status, work, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(work, 7);
    EXPECT_NEAR(delta(1), k.d1, 1e-12);
    EXPECT_NEAR(delta(2), k.d2, 1e-12);
    EXPECT_NEAR(delta(3), 1.0, 1e-12);  // xi at its upper bound
    if (k.m == 1) {
      EXPECT_NEAR(multiplier(1), k.lambda, 1e-12);
    }
    bool xi_bound = false;
    for (int32_t r = 1; r <= nc; ++r) xi_bound = xi_bound || ibasis(r) == nvar2;
    EXPECT_TRUE(xi_bound);
    for (int32_t i = 1; i <= nvr; ++i) {
      double s = -gm(i);
      for (int32_t j = 1; j <= nvr; ++j) s += b(i, j) * delta(j);
      EXPECT_NEAR(ghat(i), s, 1e-9);
    }
    expect_invariants();
  }
}

TEST(VmqpQuad, ViolatedLinearisedConstraintIsMetByShrinkingXi) {
  // d1 + d2 + c xi >= 0 with c = -2 (a violated constraint) and d bounded to [-0.5, 0.5]:
  // the step can reach at most 1, so xi = 0.5 at best.
  set_up({2.0, 2.0}, {0.0, 0.0}, 1, 0);
  cn(1, 1) = 1.0;
  cn(2, 1) = 1.0;
  cn(3, 1) = -2.0;
  d(1) = 0.0;
  bdl(1) = bdl(2) = -0.5;
  bdu(1) = bdu(2) = 0.5;
  int32_t status = -1;
  int32_t work = 0;
  quad(status, work, 0);
  EXPECT_EQ(status, 0);
  EXPECT_NEAR(delta(3), 0.5, 1e-12);
  EXPECT_NEAR(delta(1), 0.5, 1e-12);
  EXPECT_NEAR(delta(2), 0.5, 1e-12);
  expect_invariants();
}

TEST(VmqpQuad, EmptyWorkingSetStartsEveryVariableOnItsNearerBound) {
  // A linear programme (A = 0) over the box: the vertex is the answer, and the start puts each
  // variable on its nearer bound (the lower one on a tie).
  set_up({0.0, 0.0}, {-1.0, 1.0}, 0, 0);
  nc = 0;
  delta(1) = 0.0;
  delta(2) = 0.0;
  bdl(1) = bdl(2) = -1.0;
  bdu(1) = bdu(2) = 2.0;
  int32_t status = -1;
  int32_t work = 0;
  quad(status, work, 0);
  EXPECT_EQ(status, 0);
  EXPECT_NEAR(delta(1), -1.0, 1e-12);  // minimises -gm' delta = d1 - d2
  EXPECT_NEAR(delta(2), 2.0, 1e-12);
  EXPECT_NEAR(delta(3), 1.0, 1e-12);
  EXPECT_EQ(nc, 3);
}

TEST(VmqpQuad, TracesPassesAtLevelTwo) {
  std::ostringstream out;
  set_up({2.0}, {2.0}, 0, 0);
  console = &out;
  int32_t status = -1;
  int32_t work = 0;
  quad(status, work, 2);
  EXPECT_EQ(status, 0);
  EXPECT_NE(out.str().find(" DELTA( 1)="), std::string::npos);
  EXPECT_NE(out.str().find(" GHAT( 2)="), std::string::npos);
  EXPECT_NE(out.str().find(" LAMBDA MAX ="), std::string::npos);
  console = nullptr;
}

TEST(VmqpMatin, InvertsAndGivesTheDeterminant) {
  // Full pivoting takes the 4 first; row swaps must come back out of the inverse and the sign.
  FMatrix<double, 50, 50> a;
  const double m[3][3] = {{1.0, 2.0, 0.0}, {3.0, 1.0, 1.0}, {0.0, 4.0, 2.0}};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) a(i + 1, j + 1) = m[i][j];
  }
  a(4, 4) = 99.0;  // outside the block: untouched
  int32_t rank = 0;
  double det = 0.0;
  matin(a.view(), 3, 5, rank, det);
  EXPECT_EQ(rank, 3);
  EXPECT_NEAR(det, 1.0 * (2.0 - 4.0) - 2.0 * (6.0 - 0.0), 1e-12);  // -14
  for (int i = 1; i <= 3; ++i) {
    for (int j = 1; j <= 3; ++j) {
      double s = 0.0;
      for (int k = 1; k <= 3; ++k) s += m[i - 1][k - 1] * a(k, j);
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-14);
    }
  }
  EXPECT_EQ(a(4, 4), 99.0);
}

TEST(VmqpMatin, SingularAndEmptyMatrices) {
  FMatrix<double, 25, 25> a;
  a(1, 1) = 1.0;
  a(1, 2) = 2.0;
  a(2, 1) = 2.0;
  a(2, 2) = 4.0;
  int32_t rank = -1;
  double det = 5.0;
  matin(a.view(), 2, 0, rank, det);
  EXPECT_EQ(rank, 1);
  EXPECT_EQ(det, 0.0);

  a(1, 1) = 7.0;
  matin(a.view(), 0, 0, rank, det);
  EXPECT_EQ(rank, 0);
  EXPECT_EQ(det, 1.0);
  EXPECT_EQ(a(1, 1), 7.0);
}

TEST(VmqpDcond, ScalesByTheDiagonalAndUnscalesTheInverse) {
  reset();
  FMatrix<double, 50, 50> a;
  a(1, 1) = 4.0;
  a(1, 2) = 2.0;
  a(2, 1) = 2.0;
  a(2, 2) = 9.0;
  a(3, 3) = 0.0;  // zero diagonal: factor 1
  a(3, 1) = 5.0;
  a(1, 3) = 5.0;
  dcond(a.view(), 3, 0);
  EXPECT_EQ(s9(1), 2.0);
  EXPECT_EQ(s9(2), 3.0);
  EXPECT_EQ(s9(3), 1.0);
  EXPECT_EQ(s9(4), 0.0);
  EXPECT_DOUBLE_EQ(a(1, 2), 2.0 / 6.0);
  EXPECT_DOUBLE_EQ(a(1, 3), 2.5);
  EXPECT_EQ(a(1, 1), 1.0);

  // Scale, invert, unscale with the same factors: the inverse of the original.
  FMatrix<double, 50, 50> w;
  w(1, 1) = 4.0;
  w(1, 2) = 1.0;
  w(2, 1) = 1.0;
  w(2, 2) = 1.0;
  int32_t rank = 0;
  double det = 0.0;
  dcond(w.view(), 2, 0);
  matin(w.view(), 2, 0, rank, det);
  dcond(w.view(), 2, 1);
  EXPECT_NEAR(w(1, 1), 1.0 / 3.0, 1e-15);  // inverse of [[4, 1], [1, 1]]
  EXPECT_NEAR(w(1, 2), -1.0 / 3.0, 1e-15);
  EXPECT_NEAR(w(2, 2), 4.0 / 3.0, 1e-15);

  FMatrix<double, 50, 50> nanm;
  nanm(1, 1) = std::nan("");
  dcond(nanm.view(), 1, 0);
  EXPECT_EQ(s9(1), 1.0);
}

}  // namespace
