#include "common/common_data.hpp"

namespace common_data {

void reset() {
  nd = nxd = npr = 0;
  xd.fill(0.0);
  xd2.fill(0.0);
  xd3.fill(0.0);
  xnx.fill(0.0);
  yd.fill(0.0);
  ysig.fill(0.0);
  ndwt = 0;
  id2.fill(0);
  id2number = 0;

  pmask.fill(0);
  pboundlo.fill(0.0);
  pboundhi.fill(0.0);
  icnstr = ieqcns = nmod = 0;

  ydf.fill(0.0);
  yres.fill(0.0);
  fssqr = 0.0;
  pfinal.fill(0.0);
  ydr.fill(0.0);
  xdr.fill(0.0);
  xdl.fill(0.0);
  xmin0 = 0.0;
  cimat.fill(0.0);
  ctau = 0.0;
  bcl = 0;
  xrmin = xrmax = yrmin = yrmax = xrmin1 = xrmax1 = 0.0;
  resxaxislable.fill(0.0);
  resyaxislable.fill(0.0);

  xdmin = xdmax = xdmin1 = xdmax1 = ydmin = ydmax = ydmin1 = ydmax1 = 0.0;
  xlmin = xlmax = xlmin1 = xlmax1 = ylmin = ylmax = ylmin1 = ylmax1 = 0.0;
  xlnx.fill(0.0);
  xaxislable.fill(0.0);
  yaxislable.fill(0.0);
  logxaxislable.fill(0.0);
  logyaxislable.fill(0.0);
}

}  // namespace common_data
