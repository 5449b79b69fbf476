// Student t distribution function, the p-value of a fitted parameter and the two-sided 95%
// t value.
//
// probst sums the classical finite series of the t distribution function for integer degrees
// of freedom [1, 26.7.3-4]; ppval turns coefficient / standard error into a one-sided upper-tail
// probability with a significance flag; t95 takes the 95% value from a table up to 20 degrees of
// freedom and from a fitted exponential decay towards 1.96 above.
//
// [1] M. Abramowitz, I. A. Stegun, Handbook of Mathematical Functions (1964), 26.7.
#pragma once

#include <cstdint>

// P(T <= t) for Student's T with n degrees of freedom; 0 for n < 1.
double probst(double t, int32_t n);

// p := P(T > |coef / se|) with nobs - npar degrees of freedom, flag := 1 when p <= 0.05, else 0.
// se is replaced in place by its magnitude; p is clamped to
// [2.2204460492503132e-20, 4.503599727262001e19]. No test is possible (p = 1, flag = 0) with nobs
// <= npar, or when se, coef or the probability is not a number (se is then left as it is).
void ppval(double& p, int32_t& flag, int32_t npar, int32_t nobs, double coef, double& se);

// The two-sided 95% Student t value for n degrees of freedom, cut to two decimals; 2.0 for n < 1.
double t95(int32_t n);
