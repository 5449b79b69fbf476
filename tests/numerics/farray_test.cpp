#include "numerics/farray.hpp"

#include <gtest/gtest.h>

TEST(FArray, CountsFromOneAndStartsAtZero) {
  FArray<double, 3> a;
  EXPECT_EQ(a(1), 0.0);
  a(1) = 1.5;
  a(3) = 3.5;
  EXPECT_EQ(a.data()[0], 1.5);
  EXPECT_EQ(a.data()[2], 3.5);
}

TEST(FMatrix, StoresByColumnsWithLeadingDimension) {
  FMatrix<int, 4, 3> m;
  m(2, 3) = 7;
  EXPECT_EQ(m.data()[(2 - 1) + (3 - 1) * 4], 7);
  MatView<int> v = m.view(2, 3);  // a 2 x 3 block keeps the leading dimension 4
  EXPECT_EQ(v(2, 3), 7);
  EXPECT_EQ(v.ld(), 4);
  v.row(2)(1) = 5;
  EXPECT_EQ(m(2, 1), 5);
  v.col(3)(1) = 9;
  EXPECT_EQ(m(1, 3), 9);
}

TEST(FVector, SizedAtRunTime) {
  FVector<double> w(5, 2.0);
  EXPECT_EQ(w.size(), 5);
  EXPECT_EQ(w(5), 2.0);
  FMatrixD<double> d(2, 2, 1.0);
  d(2, 1) = 4.0;
  EXPECT_EQ(d.data()[1], 4.0);
}

#ifdef VARQEN_BOUNDS_CHECK
TEST(FArrayDeathTest, OutOfRangeIndexAborts) {
  FArray<double, 3> a;
  EXPECT_DEATH(a(4) = 1.0, "array index 4 outside 1..3");
  FMatrix<double, 2, 2> m;
  EXPECT_DEATH(m(1, 0) = 1.0, "column index 0 outside 1..2");
}
#endif
