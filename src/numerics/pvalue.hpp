// Student t distribution function, the p-value of a fitted parameter and the two-sided 95%
// t value.
//
// probst takes the t distribution function from the regularised incomplete beta function ratio,
// P(|T| > |t|) = I_x(n/2, 1/2) with x = n / (n + t^2) [1, 26.7.1], which it sums by its continued
// fraction [2]: either tail comes out to full relative precision, however small, not as 1 less
// a probability near 1. ppval takes a parameter's one-sided upper-tail probability as the lower
// tail at -|coef / se|, with a significance flag; t95 takes the 95% value from a table up to 20
// degrees of freedom and from a fitted exponential decay towards 1.96 above.
//
// [1] M. Abramowitz, I. A. Stegun, Handbook of Mathematical Functions (1964), 26.7.
// [2] NIST Digital Library of Mathematical Functions, 8.17.22 (continued fraction of I_x(a, b)),
//     evaluated by the modified Lentz method: W. J. Lentz, Applied Optics 15 (1976) 668-671.
#pragma once

#include <cstdint>

// P(T <= t) for Student's T with n degrees of freedom, to about 1e-12 relative to the smaller of
// it and 1 - it; 0 for n < 1, NaN for a t that is NaN.
double probst(double t, int32_t n);

// p := P(T > |coef / se|) with nobs - npar degrees of freedom, flag := 1 when p <= 0.05, else 0.
// se is replaced in place by its magnitude; p is clamped to
// [2.2204460492503132e-20, 4.503599727262001e19]. No test is possible (p = 1, flag = 0) with nobs
// <= npar, or when se, coef or the probability is not a number (se is then left as it is).
void ppval(double& p, int32_t& flag, int32_t npar, int32_t nobs, double coef, double& se);

// The two-sided 95% Student t value for n degrees of freedom, cut to two decimals; 2.0 for n < 1.
double t95(int32_t n);
