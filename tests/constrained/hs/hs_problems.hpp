// Published test problems of Hock and Schittkowski [1] for the constrained methods, with their
// exact objectives, gradients and general constraints, and the replacement of funct::calcfg
// (hs_calcfg.cpp) that this test program links in place of the model evaluator's.
//
// The replacement evaluates the active problem at x(1..n): f and its gradient; then the
// constraints in calcfg's order, the general ones first (equalities first), then
// x_i - pboundlo(i) and pboundhi(i) - x_i from common_data for i = 1..n, then `padding`
// satisfied constraints of value 1 with a zero gradient (to pose counts the model evaluator
// never returns). It sets common_data::ieqcns and icnstr to the counts it returned.
//
// [1] W. Hock, K. Schittkowski, Test Examples for Nonlinear Programming Codes, Lecture Notes in
//     Economics and Mathematical Systems 187, Springer, 1981 (problems 3, 5 and 6).
#pragma once

#include <array>
#include <cstdint>

namespace hstest {

inline constexpr int32_t kN = 2;  // every problem here has two variables

using Vec = std::array<double, kN>;

struct Problem {
  int32_t meq;   // general equalities, the first of the general constraints
  int32_t mgen;  // general constraints
  double (*f)(const Vec& x);
  Vec (*grad)(const Vec& x);
  // Value and gradient of general constraint i (0-based): c_i = 0 for i < meq, else c_i >= 0.
  double (*con)(int32_t i, const Vec& x, Vec& a);
  Vec lo, hi;  // bounds, put into common_data
  Vec start;
  Vec optimum;
  double fopt;
};

// The problem the replacement evaluates, the constraints it appends and its evaluation count.
inline const Problem* active = nullptr;
inline int32_t padding = 0;
inline int64_t evaluations = 0;

// Free variables of the problems are bounded by +-kWide (no bound of the published problem).
inline constexpr double kWide = 1000.0;

// HS3: min x2 + 1e-5 (x2 - x1)^2, x2 >= 0; start (10, 1); optimum (0, 0), f = 0.
extern const Problem hs3;
// HS5: min sin(x1 + x2) + (x1 - x2)^2 - 1.5 x1 + 2.5 x2 + 1, -1.5 <= x1 <= 4, -3 <= x2 <= 3;
// start (0, 0); optimum (1/2 - pi/3, -1/2 - pi/3), f = -sqrt(3)/2 - pi/3.
extern const Problem hs5;
// HS6: min (1 - x1)^2, 10 (x2 - x1^2) = 0; start (-1.2, 1); optimum (1, 1), f = 0.
extern const Problem hs6;
// HS5's objective and bounds with the general constraints x1 - x2 >= 1 and x2 - x1 >= 1,
// which no point meets.
extern const Problem hs5_split;

// Largest violation of the active problem's general and bound constraints at x.
double violation(const Vec& x);

}  // namespace hstest
