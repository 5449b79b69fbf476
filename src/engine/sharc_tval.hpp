// Two-sided 95% critical value of Student's t (module sharc_mod, file of the t value).
//
// t is stepped down by 0.01 from the value of the previous degree of freedom until the central
// probability A(t | nu) = P(|T| <= t) falls to 0.95; A is the closed series of the t
// distribution for integer nu [1, 26.7.3-4]. Every step runs in single precision, and every
// stored value carries an offset of 0.005, so the result lies a few thousandths above the exact
// quantile (12.711 for nu = 1 against 12.706).
//
// [1] M. Abramowitz, I. A. Stegun, Handbook of Mathematical Functions (1964), 26.7.
#pragma once

#include <cstdint>

namespace sharc_mod {

// The two-sided 95% t value for nu >= 1 degrees of freedom, rounded to three decimals in single
// precision and widened (2.0429999828338623 for 30). nu below 1 is taken as 1.
double tval95(int32_t nu);

}  // namespace sharc_mod
