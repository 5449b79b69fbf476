// Protected elementary functions of the formula evaluator: the natural logarithm of abs(x)
// with clamps, an exponential built on a table of e^0 .. e^40, and a signed square root.
// None of them fails: not-a-number, infinite and out-of-range arguments map to fixed values.
#pragma once

#include <cstdint>

namespace operators {

// ln(abs(x)), clamped: -36 for not-a-number or abs(x) <= 2.22e-16, 36 for an infinite
// argument or abs(x) >= 4.5e15. The logarithm is the vector library's (module simd).
double aln(double x);
// e^x: 1 for not-a-number and abs(x) <= 1e-16; 1e32 / 1e-32 for huge (x + 1e16 == x) or
// abs(x) >= 70 arguments; the table and twelve squarings for abs(x) <= 40; the library
// exponential in between.
double qexp(double x);
// sqrt(abs(x + e)) with the sign of x, e = 4.930380658e-32; 0 when abs(x) <= e.
double sqroot(double x);

// Further protected operations the evaluator does not use (operators_alt.cpp). None fails;
// where a result is not stated the library's value (possibly not-a-number) is returned.

// Lambert W: -1 at x = -1/e, 0 elsewhere on x <= 0, 0.5671432904097838 at 1, 1 at e, 100 for
// x >= 3e45, otherwise omagaw(x) (which never exceeds 65.65).
double omega_w(double x);
// x^n by repeated squaring; 1 for n = 0, 1 / x^|n| for negative n.
double pwri(double x, int32_t n);
// e^x: e^n (qexp) times ((f + 4096)/4096)^4096 with a correction, n and f the integer and
// fractional parts of |x|, for |x| <= 40 (the reciprocal for negative x); 3.720076e-44 (e^-100)
// for x <= -100; the library exponential otherwise.
double fxp(double x);
// e^x: 1 for not-a-number; e^n from the table times a degree-7 polynomial in f refined by one
// Newton step on its logarithm for |x| <= 40; the library exponential below 70; 2.5e30 (about
// e^70) at or above 70 and for huge x (x + 4.5e15 == x), 1 / 2.5e30 for the negative ones.
double aexp(double x);
// ln|x|: -80 for |x| <= 4.930380658e-32 and not-a-number, 2.02824096e31 for an infinite x.
double dln(double x);
// As dln, with the first eight terms of 2 atanh(y), y = (|x| - 1)/(|x| + 1), for
// 0.1 <= |x| <= 15.
double lln(double x);
// x^y: 1 for y = 0 or |y| < 4.930380658e-32, else 0 for x = 0 or |x| < 4.930380658e-32; pwri
// for y within 1e-8 of a whole number; exp(y ln x) otherwise (not-a-number for x < 0).
double rpwrr(double x, double y);
// x^y = qexp(y ln|x|), negated for x < 0 and odd whole y; 1 for y = 0, 0 for x = 0; a product
// y ln|x| beyond 690 in magnitude gives e^65 (e^-65 when it is negative).
double dpwr(double x, double y);
// The cube root of |x| with the sign of x.
double cuberoot(double x);

}  // namespace operators
