// The internal procedures of the SVD Levenberg-Marquardt method (marq_mod::marq): its objective
// funy, the singular value decomposition, the derivative matrix of its statistics, the
// parameter influence, the perturbation search and the Student t value of its confidence
// half-widths. Only marq_mod.cpp, the tests and, for the SVD, the engine's resolution of a
// singular Jacobian (sharc_resolve) use this header.
//
// Arrays are 1-based views; matrices are column-major. The model inputs of one call (x, Y, sig
// and their sizes) travel together as a Model.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace marq_mod {

// The data a call of marq fits: x m rows by nvar columns, Y m rows with y in column iy (below 1:
// the observed values are taken as 0), sig the per-row values of weighting mode 1, n parameters.
struct Model {
  MatView<const double> x;
  MatView<const double> Y;
  VecView<const double> sig;
  int32_t n = 0;
  int32_t nvar = 0;
  int32_t iy = 0;
  int32_t m = 0;
};

// ---- Objective (marq_funy.cpp) ----

// Residuals, weights and weighted sum of squares of the model at p for rows 1..m.
//   mode     in      weighting mode: 0 none, 1 sig, 2 the fitted value, 3 robust (sine weights
//                    of the residual magnitudes), 4 standard deviation over residual; any other
//                    value keeps the incoming weights w
//   yfit     out     fitted values, evaluated row by row through my_func::eval_func on
//                    common_udf::cudf; a NaN becomes 2.2204460492503132e-20, a value v with
//                    v - 1 == v becomes 0
//   w        in/out  the weights (cleaned: 0 becomes 1, |w| < 1e-15 becomes 1e-8)
//   ssq      out     sum (r/w)^2 in modes 1..3, sum r^2 otherwise, kept in [1e-30, 1e30]; NaN
//                    and sums of 2^53 or more become 4.503599727262001e19; 1e-30 for m < 1
//   q        out     goodness 1 - 1/(rms + 1), rms the root mean square of r/yobs (0.5 when rms
//                    is infinite or at least 2^53, 2e-36 when it is NaN; at least 2e-36)
//   counter  out     set to m + 1 by mode 3 (the mode of marq's final phase)
// Writes common_data::ydf (the fitted values) and yres (the residuals) for rows 1..m.
void funy(MatView<const double> x,
          MatView<const double> Y,
          VecView<const double> p,
          int32_t n,
          int32_t nvar,
          int32_t iy,
          int32_t m,
          int32_t mode,
          VecView<double> yfit,
          VecView<const double> sig,
          VecView<double> w,
          double& ssq,
          double& q,
          int32_t& counter);

// funy with the model inputs of md.
void funy(const Model& md,
          VecView<const double> p,
          int32_t mode,
          VecView<double> yfit,
          VecView<double> w,
          double& ssq,
          double& q,
          int32_t& counter);

// ---- Singular value decomposition (marq_svd.cpp) ----

// sqrt(a^2 + b^2) without destructive overflow or underflow.
double pythagz(double a, double b);

// A = U diag(w) V^T for the m x n matrix A (any m >= 1, n >= 1; A is not changed), by the
// Golub-Reinsch algorithm: U m x n, w n values, V n x n. The values come back non-negative and
// sorted by decreasing size (svd_sort). Never fails: a value that has not converged after 100
// QR passes is accepted as it stands; NaN input gives NaN output.
void svd(MatView<const double> A,
         int32_t m,
         int32_t n,
         VecView<double> w,
         MatView<double> U,
         MatView<double> V);

// Orders w(1..n) by decreasing magnitude, swapping the columns of U (m rows) and V (n rows) with
// the values, by odd-even transposition (equal magnitudes keep their order).
void svd_sort(MatView<double> U, int32_t m, int32_t n, MatView<double> V, VecView<double> w);

// ---- Derivatives, influence and search (marq_deriv.cpp) ----

// J := the m x nfree derivative matrix of the fitted values with respect to the free
// parameters (common_data::pmask nonzero) in index order, by twice Richardson-extrapolated
// central differences at h, 2h and 4h, h = (max(|p(j)|, 1e-7) + 1) 1e-5. Each perturbed vector
// is evaluated once for all rows. Entries are cleaned: NaN becomes 1e-7, magnitudes up to
// 4.4408920985006264e-20 become 1e-7 with their sign, the rest is kept within
// +-4.503599727262001e19. p is restored on return.
void fjac4(const Model& md, VecView<double> p, int32_t mode, MatView<double> J);

// pinf(1..n) := the influence of each free parameter in percent (0 for fixed parameters): the
// curvature of the normalised sum of squares along the parameter, as a share of the total,
// rounded to three decimals. Equal shares when every curvature is at most 3.162277660168379e-8
// or a share is not a number. Reads common_data::pboundlo/pboundhi for one-sided differences.
void curvature(const Model& md, int32_t mode, VecView<double> p, VecView<double> pinf);

// Tries the eleven perturbations p(i) (1 + k u 1e-4), k = -5..5, of the free parameters (u the
// fifteenth of 30 fresh uniform numbers per parameter, after re-seeding the runtime generator to
// its repeatable seed) and keeps each that lowers sbest strictly. q is the goodness value at the
// returned p (unchanged when nothing is kept). w: the caller's weights, used as funy's.
void search(const Model& md,
            int32_t mode,
            VecView<double> p,
            VecView<double> w,
            double& sbest,
            double& q,
            int32_t& counter);

// ---- Statistics (marq_stats.cpp) ----

// The two-sided 95 % Student t value for dof >= 1 degrees of freedom by the grid rule of the
// method, rounded to three decimals in single precision.
double t_value(int32_t dof);

// The final statistics at p, whose sum of squares is ssq: the derivative matrix (fjac4, with
// weighting mode `mode`) is decomposed, its regularised inverse C = V diag(w') V^T gives
// se(j) = |sqrt(ssq / dof) sqrt(C(j,j))| and ci = se t_value(dof), dof = max(m - n, 3). VS and
// CV as marq_mod::marq states; fixed parameters get 0. Sets deigen.
void final_statistics(const Model& md,
                      int32_t mode,
                      VecView<double> p,
                      double ssq,
                      MatView<double> VS,
                      MatView<double> CV,
                      VecView<double> se,
                      VecView<double> ci);

}  // namespace marq_mod
