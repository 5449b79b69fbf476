#include "numerics/prec_mod.hpp"

namespace prec_mod {

double prec(int32_t k) {
  // Step 1: e = 0.5 * 0.25^26 = 2^-53, doubled to 2^-52.
  double e = 0.5;
  for (int m = 0; m < 26; ++m) e *= 0.25;
  e += e;
  // Step 2: the radix b is the first whole number that e cannot change.
  double b = 1.0;
  while (e + b != b) b += 1.0;
  // Step 3: u = the first power of 1/b that 1 absorbs.
  double u = 1.0;
  while (u + 1.0 != 1.0) u /= b;
  // Step 4.
  const double eps = b * u;
  return k == 1 ? 1.0 / eps : eps;
}

}  // namespace prec_mod
