#include "optimizers/gn_mod.hpp"

namespace gn_mod {

void reset() {
  zlow = 0.65;
  zhigh = 2.0;
  zcpmin = 0.5;
  zcpmax = 250.0;
  zcp = 0.6;
  zconsec = 1.005;
  stptol = 1e-6;
  reltol = 1e-8;
  abstol = 1e-12;
  mxbad = 1;
  limit = 200;
  iscale = 1;
  derivstp = 1e-6;
  newtstep1st = false;
  iter = nfcn = nconsecmax = ihookmax = 0;
  hnorm = mu0 = del0 = 0.0;
  d0 = FVector<double>();
  r0 = FVector<double>();
  jac0 = FMatrixD<double>();
  h0 = FMatrixD<double>();
}

}  // namespace gn_mod
