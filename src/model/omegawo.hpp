// Lambert W, principal branch: W(x) e^W(x) = x. omegawo is the formula function OMEGW; the
// other routines of this source are variants of it that the evaluator does not use.
//
// [1] F. N. Fritsch, R. E. Shafer, W. P. Crowley, "Algorithm 443: Solution of the
//     transcendental equation w e^w = x", CACM 16(2), 1973: the iteration step (omegawo's
//     final step, "a Fritsch step" below).
// [2] R. M. Corless, G. H. Gonnet, D. E. G. Hare, D. J. Jeffrey, D. E. Knuth, "On the Lambert W
//     function", Adv. Comput. Math. 5, 1996, eq. (5.9): the Halley step on w e^w - x.
#pragma once

// 0 for x <= 0 except -1 at x = -1/e; fixed values at 1, e and x >= 3e45; otherwise an initial
// value (below 1e-3 the series of W at 0), three simple steps and one Fritsch step.
double omegawo(double x);

// W(x) for x > 0; 0 for x <= 0 and not-a-number, +infinity for +infinity. The initial value
// 1.4586887 ln(1.2x / ln(2.4x / ln(1 + 2.4x))) - 0.4586887 ln(2x / ln(1 + 2x)) (replaced by
// x/(1 + x) + ln(1 + x/8) when not a positive finite number; below 1e-3, where its logarithms
// lose their digits, the series x - x^2 + 3/2 x^3 - ... of W), up to three Fritsch steps
// (leaving when the relative correction is below 1e-10 x), then up to three Halley steps
// (leaving when a step is at most 2.220446049250313e-16 |w|).
double omegaw(double x);
// The initial value of omegaw (x <= 0 taken as 0), as an absolute value.
double omgaw(double x);
// A bounded W: x raised to at least 1e-8 |x| (not-a-number taken as 1e-8; 0 gives 0), the
// initial value of omegaw clamped to [-65, 65], then up to three Fritsch steps leaving when the
// relative correction is below 1e-8 |x|, each new value capped at 1.01 times the initial value.
// No Halley steps follow: they would undo the cap. So the result never exceeds 65.65.
double omagaw(double x);
// W(x) for x >= 0 (negative and not-a-number taken as 0): 0.999998 x below
// 9.999779838528536e-07; otherwise the initial value of omegaw and up to three passes of a
// Fritsch step and a Halley step, leaving when a correction (the change of w) is at most 1e-16.
double w(double x);
// As w, but up to three Fritsch steps (leaving as w does) and then one Halley step.
double wtwo(double x);
