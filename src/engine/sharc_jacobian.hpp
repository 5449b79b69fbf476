// The Jacobian of the fitted values at the final parameters by central differences (module
// sharc_mod, file of the final statistics' derivatives).
//
// The fitted values of every row come from the same two evaluations of the model per
// parameter, so the model is evaluated 2f times per set of steps, not 2nf. A step is taken only
// where the model is its own: every value at p - h and p + h is one that the evaluator did not
// replace (not a number, or beyond its bound); a widened step must moreover give a derivative,
// the difference over h agreeing with the one over h/2, so that it never reaches the values
// where an elementary function is clamped or protected (EXP beyond its range, a logarithm of
// 0), whose differences are not the model's slope.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace sharc_mod {

// The data and the parameter vector under variation.
struct ModelRows {
  MatView<const double> x;
  VecView<const double> y;
  int32_t nx;
  int32_t n;
  int32_t np;
  FVector<double> ones;  // sigma argument of fun (not read unweighted)
  // Unweighted fitted values at q into yf; returns the sum of squares.
  double eval(FVector<double>& q, VecView<double> yf) const;
};

// The packed n x f Jacobian of the free parameters (common_data::pmask) at p. The step is 1e-5
// of the parameter (1e-13 for a parameter of 0). A step whose largest change of the fitted
// values stays below 1e-9 of the data's size `scale` resolves the derivative to fewer than
// about 7 digits (a parameter near 0 against the values it stands for, an intercept of 1e-12
// with data of order 1): it is widened to change them by about 1e-5 of the data's size, up to
// three times, each time no wider than the model allows (above). moved(col) is 1 when the
// column then changes the fitted values by 1e-9 of the data's size or more, 0 when the
// parameter moves no fitted value that differences resolve: that column counts as 0. A
// derivative that cannot be computed counts as 0. step(j) is the step taken for parameter j.
void jacobian(const ModelRows& m,
              VecView<const double> p,
              double scale,
              FMatrixD<double>& jac,
              FVector<int32_t>& moved,
              FVector<double>& step);

// For a Jacobian whose normal matrix cannot be inverted: each column of jac (of the parameters
// neither fixed nor marked kMovesNothing in undetermined, divided by norm(col), rows times
// sqrt(w) not applied) differenced again over the steps step(j) 2^k, k = 0..16, while the model
// allows them and the estimated error falls, keeping the last: a parameter that enters the
// model linearly is differenced exactly but for rounding, which falls as the step grows.
// The estimate of an entry is the change of its difference when the step is doubled, which is
// three times the step's own truncation error and carries the rounding of the model's values,
// plus the rounding eps |yfit| / |h| of the difference itself. Returns per column the norm of
// that error, rows times sqrt(w) and divided by norm(col) as the columns are; infinite for a
// column whose differences cannot be computed. Leaves the evaluation at p as the last one.
FVector<double> refine_columns(const ModelRows& m,
                               VecView<const double> p,
                               const FVector<double>& step,
                               const FVector<int32_t>& undetermined,
                               const FVector<double>& norm,
                               VecView<const double> w,
                               VecView<const double> yfit,
                               FMatrixD<double>& jac);

}  // namespace sharc_mod
