// Protected elementary functions of the formula evaluator: the natural logarithm of abs(x)
// with clamps, an exponential built on a table of e^0 .. e^40, and a signed square root.
// None of them fails: not-a-number, infinite and out-of-range arguments map to fixed values.
#pragma once

namespace operators {

// ln(abs(x)), clamped: -36 for not-a-number or abs(x) <= 2.22e-16, 36 for an infinite
// argument or abs(x) >= 4.5e15.
double aln(double x);
// e^x: 1 for not-a-number and abs(x) <= 1e-16; 1e32 / 1e-32 for huge (x + 1e16 == x) or
// abs(x) >= 70 arguments; the table and twelve squarings for abs(x) <= 40; the library
// exponential in between.
double qexp(double x);
// sqrt(abs(x + e)) with the sign of x, e = 4.930380658e-32; 0 when abs(x) <= e.
double sqroot(double x);

}  // namespace operators
