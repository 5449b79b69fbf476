// What the data resolve of a Jacobian whose normal matrix cannot be inverted to working
// precision (module sharc_mod, file of the final statistics' resolution).
//
// J is the n x f Jacobian with each row times sqrt(w) and each column scaled to unit norm, and
// e(j) an estimate of the norm of the error of its column j (the central differences' own, and
// rounding). Its singular value decomposition J = U diag(sigma) V' (Golub-Reinsch, the SVD of
// the Levenberg-Marquardt method, which gives each sigma to about eps of the largest) is taken
// from J itself: the normal matrix J'J squares the condition, and an eigenvalue sigma^2 below
// some n eps trace(J'J) has no correct digit there, whereas sigma keeps its digits down to the
// error of J. To first order sigma_k moves by u_k' dJ v_k, at most
//   err_k = sum_j |V(j,k)| e(j) + n eps,
// the error of J along v_k: each direction is judged by the columns it is made of, so that a
// poorly differenced column does not blur the directions it takes no part in. Then:
//   - a direction with sigma_k > 3 err_k is resolved: its true singular value lies within
//     sigma_k -+ err_k. The variance along v_k is taken as 1 / (sigma_k - err_k)^2, the largest
//     that J's error leaves possible, so that it is never below what the data give, and at most
//     (sigma_k + err_k)^2 / (sigma_k - err_k)^2 <= 4 times the true one: a standard error within
//     twice the data's;
//   - one with sigma_k <= 3 err_k is not: its true sigma is anything from 0 to sigma_k + err_k.
// The variance of parameter j is sum_k V(j,k)^2 / sigma_k^2. Its resolved part
//   kept(j) = sum over resolved k of V(j,k)^2 / (sigma_k - err_k)^2
// is what the data give when the parameter has no loading in the unresolved directions. A
// loading there adds at least
//   least(j) = sum over unresolved k of max(0, |V(j,k)| - turn_k)^2 / (sigma_k + err_k)^2,
// where turn_k, the norm of J's error over the gap from sigma_k to the nearest resolved singular
// value, bounds how far that error turns v_k: a loading within it may be none at all (the
// intercept beside a slope written P1*P2 has none, but its computed loading is rounding).
//
// The data do not determine a parameter separately when even that least addition is 1 % of
// kept(j) or more, or when at least half of kept(j) comes from directions that the normal
// matrix does not resolve, sigma_k^2 <= 10 n eps f: it trades off against others along a
// combination that the data hardly fix, and its standard error, however large, is that
// combination's. Such a parameter has no standard error when some direction is unresolved:
// either its own loading there makes the error rest on no correct digit, or it takes part in
// the nearly fixed combinations among which the unresolved direction lies, where a loading
// cannot be told from 0 and any loading at all makes the error unbounded. The others have the
// standard errors of
//   C+ = sum over resolved k of v_k v_k' / (sigma_k - err_k)^2,  its diagonal plus least(j),
// which, with every direction resolved, is the inverse of J'J computed without squaring the
// condition (widened by J's error); with a direction exactly unresolved (two parameters that act as
// their product) it gives every parameter outside the combination (the intercept beside them) its
// variance.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace sharc_mod {

struct Resolution {
  FMatrixD<double> cplus;        // f x f: the inverse on the resolved directions
  FVector<int32_t> has_error;    // per column 1..f: 1 when it has a standard error, else 0
  FVector<int32_t> inseparable;  // per column 1..f: 1 when not determined separately
};

// The resolution of the n x f Jacobian j (rows times sqrt(w), columns of unit norm) whose
// columns carry errors of the norms errors(1..f) (infinite: not computed).
Resolution resolve_jacobian(const FMatrixD<double>& j,
                            int32_t n,
                            int32_t f,
                            const FVector<double>& errors);

}  // namespace sharc_mod
