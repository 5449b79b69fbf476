// Lambert W, principal branch, as the formula function OMEGW: W(x) e^W(x) = x.
//
// [1] F. N. Fritsch, R. E. Shafer, W. P. Crowley, "Algorithm 443: Solution of the
//     transcendental equation w e^w = x", CACM 16(2), 1973: the iteration of the final step.
#pragma once

// 0 for x <= 0 except -1 at x = -1/e; fixed values at 1, e and x >= 3e45; otherwise an initial
// value, three simple steps and one Fritsch step.
double omegawo(double x);
