#include "engine/fit_frame.hpp"

#include <cmath>
#include <limits>
#include <utility>

namespace fit_frame {
namespace {

constexpr int32_t kTarget = 7;  // frexp exponent of the largest |y| in the frame: [64, 128)

}  // namespace

double largest_magnitude(VecView<const double> v, int32_t n) {
  double top = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    if (std::isfinite(v(i))) top = std::fmax(top, std::fabs(v(i)));
  }
  return top;
}

Frame::Frame(int32_t y_exp, std::vector<int32_t> p_exp) : y_exp_(y_exp), p_exp_(std::move(p_exp)) {}

int32_t Frame::y_exponent(VecView<const double> y, int32_t n) {
  const double top = largest_magnitude(y, n);
  int32_t e = 0;
  std::frexp(top, &e);
  return top == 0.0 ? 0 : e - kTarget;
}

int32_t Frame::p_exp(int32_t i) const {
  return i >= 1 && size_t(i) <= p_exp_.size() ? p_exp_[size_t(i - 1)] : 0;
}

double Frame::y_out(double v) const { return std::ldexp(v, y_exp_); }

double Frame::sum_out(double s) const { return std::ldexp(s, 2 * y_exp_); }

double Frame::p_in(int32_t i, double p) const { return std::ldexp(p, -p_exp(i)); }

double Frame::p_out(int32_t i, double q) const { return std::ldexp(q, p_exp(i)); }

double Frame::bound_in(int32_t i, double b) const {
  const double top = std::numeric_limits<double>::max();
  return std::fmax(-top, std::fmin(top, p_in(i, b)));
}

void Frame::values_in(VecView<double> v) const {
  for (long i = 1; i <= v.size(); ++i) v(i) = std::ldexp(v(i), -y_exp_);
}

void Frame::values_out(VecView<double> v) const {
  for (long i = 1; i <= v.size(); ++i) v(i) = y_out(v(i));
}

void Frame::parameters_out(VecView<double> p) const {
  for (long i = 1; i <= p.size(); ++i) p(i) = p_out(int32_t(i), p(i));
}

double Frame::value_factor() const { return std::ldexp(1.0, -y_exp_); }

std::vector<double> Frame::name_factors(int32_t np) const {
  std::vector<double> factors(size_t(np), 1.0);
  for (int32_t i = 1; i <= np; ++i) factors[size_t(i - 1)] = std::ldexp(1.0, p_exp(i));
  return factors;
}

}  // namespace fit_frame
