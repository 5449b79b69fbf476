#include "engine/sharc_final.hpp"

#include "common/common_data.hpp"
#include "model/funct.hpp"

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

void final_statistics(const Arguments& a, VecView<const double> best, int32_t /*nfixed*/,
                      const Stages& /*st*/) {
  // Stand-in until the standard errors, the t value and the condition indices land: no
  // standard errors (0), no half-widths; the final vector is published once more.
  for (int32_t i = 1; i <= a.np; ++i) {
    a.se(i) = 0.0;
    a.cl(i) = 0.0;
  }
  double f = 0.0;
  funct::fun(MatView<const double>(a.x.data(), a.n, a.nx, a.x.ld()), cview(a.y), best, a.np,
             a.nx, a.n, a.mode, a.yf, cview(a.sig), f);
}

}  // namespace sharc_mod
