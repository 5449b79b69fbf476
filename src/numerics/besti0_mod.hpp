// I0(x) - 1, the modified Bessel function of the first kind of order zero less one.
//
// Up to |x| = 4 the first six terms of the power series sum (x/2)^(2k) / (k!)^2; beyond, the
// first six terms of the asymptotic expansion e^|x| / sqrt(2 pi |x|) sum c_k / |x|^k
// [1, 9.6.12 and 9.7.1]. The two forms differ by about 0.005 at the seam |x| = 4.
//
// [1] M. Abramowitz, I. A. Stegun, Handbook of Mathematical Functions (1964).
#pragma once

namespace besti0_mod {

// I0(x) - 1, even in x and never negative; 0 for |x| < 2.980232238769531e-7. Beyond
// |x| = 690.782712893384 (where e^|x| nears the largest double) four lines of explanation go to
// the standard output and the value at that bound is returned.
double besti0(double x);

}  // namespace besti0_mod
