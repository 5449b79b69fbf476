#include "engine/sharc_final.hpp"

#include <algorithm>

#include "common/common_data.hpp"
#include "engine/sharc_objective.hpp"
#include "engine/sharc_stats.hpp"
#include "engine/sharc_tval.hpp"
#include "numerics/eigen_cond_index.hpp"

namespace sharc_mod {

void publish_x(const Arguments& a) {
  for (int32_t j = 1; j <= a.nx; ++j) {
    for (int32_t i = 1; i <= a.n; ++i) common_data::xnx(i, j) = a.x(i, j);
  }
}

void publish_data(const Arguments& a) {
  publish_x(a);
  for (int32_t i = 1; i <= a.n; ++i) {
    common_data::yd(i) = a.y(i);
    common_data::ydf(i) = a.yf(i);
    common_data::ysig(i) = a.sig(i);
  }
}

void final_statistics(const Arguments& a, VecView<const double> best, int32_t nfixed,
                      double final_sum) {
  const int32_t free = a.np - nfixed;
  const MatView<const double> x(a.x.data(), a.n, a.nx, a.x.ld());
  // The statistics need more rows than free parameters (the fit run guarantees it); without
  // them the standard errors stay 0 rather than being divided by n - f <= 0.
  FVector<double> se(a.np, 0.0);
  if (a.n > free && free >= 1) {
    stderr_corr(x, cview(a.y), a.nx, a.n, a.yf, best, a.np, final_sum, se.view(), a.stats.correl,
                a.stats.eigval, a.stats.pcmp, a.stats.resid, a.stats.runs, a.stats.studres);
  }
  bool any_nan = false;
  for (int32_t i = 1; i <= a.np; ++i) any_nan = any_nan || se(i) != se(i);
  const double t = tval95(std::max(3, a.n - a.np - nfixed));
  for (int32_t i = 1; i <= a.np; ++i) {
    a.se(i) = any_nan ? 9999.0 : se(i);
    a.cl(i) = t * se(i);
  }
  if (free >= 1 && a.stats.correl.rows() >= free) {
    int32_t rotations = 0;
    eigen_cond_index(a.stats.correl, common_data::cimat, free, 1e-8, rotations);
  }
  double f = 0.0;
  funcs(x, cview(a.y), a.yf, cview(a.sig), a.nx, a.n, a.mode, best, a.np, f);
}

}  // namespace sharc_mod
