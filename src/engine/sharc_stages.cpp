#include "engine/sharc_stages.hpp"

#include "engine/sharc_objective.hpp"

namespace sharc_mod {

namespace {

// Stand-ins for methods whose modules have not landed yet. Each is a valid stage that finds
// no improvement: it leaves the vector and the sum as it was handed them.

void copy_into(VecView<double> from, VecView<double> to, int32_t n) {
  for (int32_t i = 1; i <= n; ++i) to(i) = from(i);
}

}  // namespace

Stages bind_stages(RunState& run) {
  Stages st;
  st.func = [&run](VecView<double> p, double& fval) {
    run.func(p, static_cast<int32_t>(p.size()), fval);
  };
  st.shuffle = [](VecView<double>, int32_t) {};
  st.hitnrun = [](int32_t n, VecView<double> x, VecView<double> xbest, VecView<double>,
                  int32_t& nacc, double&, double, int32_t) {
    copy_into(x, xbest, n);
    nacc = 0;
  };
  st.hitnrun2 = [](int32_t, VecView<double>, int32_t& nacc, double&, double, int32_t) {
    nacc = 0;
  };
  st.hooke = [](int32_t n, VecView<double> start, VecView<double> end, double&, double, double,
                int32_t) { copy_into(start, end, n); };
  st.simplex = [](VecView<double>, int32_t, double&, double, int32_t) {};
  st.gnllsqr = [](VecView<double>, double&) {};
  st.a23mrt = [](int32_t, VecView<double>, int32_t, double, double&, int32_t, int32_t) {};
  st.adam = [](int32_t, int32_t, VecView<double>, VecView<const int32_t>, VecView<const double>,
               VecView<const double>, int32_t, double&) {};
  st.evol = [](int32_t, int32_t, VecView<double>, double&, int32_t& count, int32_t) {
    count = 0;
  };
  st.gn_main = [](int32_t, int32_t, VecView<double>, double&, int32_t& info) { info = 0; };
  st.va10d = [](int32_t, int32_t, VecView<double>, double&, VecView<double>, int32_t&, int32_t&,
                int32_t&) {};
  st.varmetric = [](int32_t, VecView<double>, double&, int32_t& status) { status = 0; };
  st.vmsqp = [](const VmsqpCall&) {};
  st.marq = [](const MarqCall&) {};
  return st;
}

}  // namespace sharc_mod
