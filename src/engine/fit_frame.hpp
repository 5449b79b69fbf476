// The fit's frame: the units in which the fit run's passes and post-fit statistics work.
//
// The fit's thresholds, steps and tolerances are absolute (the least sum of the model evaluator,
// the exact-fit tests, the error path's 1e16, the settling test, the searches' first steps, the
// raise of tiny starts): they are made for data and parameters of unit size. So the fit works on
//   y'   = y 2^-ey          ey brings the largest |y| to [64, 128)
//   q(i) = p(i) 2^-e(i)     e(i) fixed before the fit, per free parameter (0 for a fixed one)
// with the model's values taken into the frame as y is, and sums of squares of y' as
// sum' = sum 4^-ey. Every conversion is a power of two, exact in binary but for values beyond
// the range of a double, so that data and parameters written in other units are fitted, and
// their statistics computed, as the same figures in the frame. What comes out of the frame
// (parameters, standard errors and half-widths, data, fitted values, residuals, sums) is the
// user's again, times 2^ey, 2^e(i) or 4^ey.
//
// The frame of the fit in progress is fit_frame::active, which the fit run sets when it enters
// the frame and sets back to the user's units (every exponent 0) when it leaves it; the cascade
// reads it to give its figures (the progress display's parameters, the error path's limits) in
// the user's units. Main thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "numerics/farray.hpp"

namespace fit_frame {

// The largest finite |v(1..n)|; 0 without one.
double largest_magnitude(VecView<const double> v, int32_t n);

class Frame {
 public:
  // The user's units: every exponent 0.
  Frame() = default;
  // y' = y 2^-y_exp; parameter i = 1..p_exp.size() as 2^p_exp[i - 1] q, any further one as q.
  Frame(int32_t y_exp, std::vector<int32_t> p_exp);

  // The ey of data y(1..n): the largest finite |y| times 2^-ey lies in [64, 128); 0 for data
  // without a nonzero value, which are fitted as read.
  static int32_t y_exponent(VecView<const double> y, int32_t n);

  int32_t y_exp() const { return y_exp_; }

  // A value of y or of the model, out of the frame.
  double y_out(double v) const;
  // A sum of squares of values of y, out of the frame.
  double sum_out(double s) const;
  // A figure of parameter i (its value, a standard error, a half-width), into the frame and out.
  double p_in(int32_t i, double p) const;
  double p_out(int32_t i, double q) const;
  // A bound of parameter i in the frame; one beyond the range of a double there (1E+300 on a
  // parameter of order 1E-30) is kept as the largest double of its sign. The frame cannot give
  // such a bound back: the fit run keeps the bounds as given.
  double bound_in(int32_t i, double b) const;

  // Every element of v into the frame or out of it as a value of y; every element p(i) out of
  // it as a figure of parameter i.
  void values_in(VecView<double> v) const;
  void values_out(VecView<double> v) const;
  void parameters_out(VecView<double> p) const;

  // The factors the compiled formula applies in the frame: to its values (2^-ey), and to each of
  // its names P1..Pnp (2^e(i), so that it reads p = 2^e(i) q).
  double value_factor() const;
  std::vector<double> name_factors(int32_t np) const;

 private:
  int32_t p_exp(int32_t i) const;  // e(i); 0 beyond the parameters given

  int32_t y_exp_ = 0;
  std::vector<int32_t> p_exp_;
};

// The frame of the fit in progress; the user's units outside one.
inline Frame active;

}  // namespace fit_frame
