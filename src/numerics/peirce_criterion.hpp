// Peirce's criterion for rejecting doubtful observations.
//
// For N observations, nd of them doubtful and m quantities fitted, the ratio R is found by the
// fixed-point iteration of Gould's formulation [1]: with Q = nd^(nd/N) (N-nd)^((N-nd)/N) / N,
// lambda = (Q^N / R^nd)^(1/(N-nd)), x^2 = 1 + (N - m - nd) / nd (1 - lambda^2) and
// R = exp((x^2 - 1) / 2) erfc(x / sqrt 2); the result is x. Counts enter in single precision.
//
// [1] B. A. Gould, "On Peirce's criterion for the rejection of doubtful observations",
//     Astronomical Journal 4 (1855) 81-87; S. M. Ross, "Peirce's criterion for the elimination
//     of suspect experimental data", J. Engineering Technology 20 (2003).
#pragma once

#include <cstdint>

// r_ratio := Peirce's ratio R: an observation deviating by more than R standard deviations is
// rejected. 0 when there is nothing to judge: N <= 1, nd < 1 or nd >= N.
void peirce_criterion(int32_t n_obs, int32_t nd, int32_t m, double& r_ratio);
