// The order of the stages of one cascade pass, per level and kind of pass, recorded through the
// stage table. Every stage here finds no improvement, so each pass runs its opening sequence,
// its refinement section, cycles until the best sum has settled (three recorded cycles) and
// its final stage.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/cascade_fixture.hpp"

namespace {

using cascadetest::CascadeTest;
using cascadetest::Pass;
using cascadetest::StageRecorder;
using Trace = std::vector<std::string>;

void add(Trace& t, const Trace& more) { t.insert(t.end(), more.begin(), more.end()); }
void add(Trace& t, int k, const std::string& name) {
  for (int i = 0; i < k; ++i) t.push_back(name);
}

enum class Kind { First, Second, Restart };

const char* kind_name(Kind k) {
  return k == Kind::First ? "first pass" : k == Kind::Second ? "second pass" : "restart";
}

// The opening sequence and the refinement section.
Trace opening(int level, Kind kind) {
  const bool first = kind == Kind::First;
  const bool restart = kind == Kind::Restart;
  Trace t;
  if (first) t.push_back("hitnrun2");  // warm-up
  add(t, {"a23mrt", "va10d", "vmsqp", "hooke"});
  if (!restart) {
    add(t, 3, "hitnrun2");
    // Rising series: hit-and-run after the 2nd and 4th hooke, after every one on a later pass.
    for (int k = 1; k <= 5; ++k) {
      t.push_back("hooke");
      if (k % 2 == 0 || !first) t.push_back("hitnrun");
    }
    add(t, 7, "hooke");
    t.push_back("simplex");
    add(t, 3, "hitnrun");
    if (first) add(t, {"varmetric", "gn_main"});
  }
  add(t, {"adam", "varmetric", "vmsqp", "gn_main"});
  if (first) t.push_back("gn_main");
  t.push_back("va10d");
  if (level == 3) t.push_back("evol");
  // Refinement section.
  if (first) {
    add(t, {"hitnrun", "gnllsqr", "hooke", "gn_main"});
  } else {
    add(t, 4, "hitnrun");
    add(t, {"simplex", "gnllsqr", "gn_main"});
    add(t, 3, "hitnrun");
  }
  return t;
}

// One whole cycle of the cycle loop when no stage improves (every vmsqp is rejected).
Trace cycle(int level, Kind kind) {
  Trace t;
  if (kind != Kind::First) {
    add(t, {"evol", "varmetric"});
    add(t, 3, "hooke");
    t.push_back("gnllsqr");
    add(t, 5, "hitnrun");
  }
  if (level == 2 && kind == Kind::First) t.push_back("evol");
  t.push_back("varmetric");
  if (level > 2) add(t, 3, "hitnrun");
  add(t, {"vmsqp", "varmetric"});
  if (level > 1) {
    t.push_back("va10d");
    add(t, 3, "hitnrun");
    add(t, {"gn_main", "varmetric"});
  }
  if (level > 2) add(t, {"hitnrun", "a23mrt", "varmetric", "vmsqp"});
  if (level > 1) t.push_back("va10d");
  return t;
}

TEST_F(CascadeTest, StageOrderPerLevelAndPass) {
  for (int level = 1; level <= 3; ++level) {
    for (Kind kind : {Kind::First, Kind::Second, Kind::Restart}) {
      SCOPED_TRACE(std::string("level ") + std::to_string(level) + ", " + kind_name(kind));
      reset_all();
      Pass pass;
      pass.first = kind == Kind::First ? 1 : 0;
      pass.bpostrun = kind == Kind::Restart ? 1 : 0;
      // The second pass of the level Difficult is announced by iopt = -1.
      globals::iopt = level == 3 && kind == Kind::Second ? -1 : level;
      pass.level = level;
      StageRecorder rec;
      pass.run();

      Trace expected = opening(level, kind);
      for (int c = 0; c < 3; ++c) add(expected, cycle(level, kind));
      expected.push_back("marq");
      EXPECT_EQ(rec.names(), expected);
      EXPECT_EQ(globals::iopt, level);
      EXPECT_EQ(globals::iopt2, level == 3 && kind == Kind::Second ? -1 : 0);
    }
  }
}

// Differential evolution: never at Easy on a first pass, once per cycle at Moderate, once in
// the opening sequence at Difficult; on a pass with the first-pass flag 0 at every cycle.
TEST_F(CascadeTest, DifferentialEvolutionPerLevel) {
  struct Case {
    int level;
    int first;
    int opening;  // calls before the first marq-free cycle stage
    bool per_cycle;
  };
  const Case cases[] = {{1, 1, 0, false},
                        {2, 1, 0, true},
                        {3, 1, 1, false},
                        {1, 0, 0, true},
                        {2, 0, 0, true},
                        {3, 0, 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE("level " + std::to_string(c.level) + " first " + std::to_string(c.first));
    reset_all();
    Pass pass;
    pass.first = c.first;
    globals::iopt = c.level;
    StageRecorder rec;
    pass.run();
    EXPECT_EQ(rec.count("evol"), c.opening + (c.per_cycle ? 3 : 0));
  }
}

}  // namespace

// The step factors rho of every Hooke-Jeeves call on a later pass: 0.6, the rising series
// k * 0.15, the falling series k * 0.1, then each cycle's chain again as a counter times 0.1
// (so 7 * 0.1 and 6 * 0.1, which differ from the literals 0.7 and 0.6).
TEST_F(CascadeTest, HookeStepFactorsOnLaterPass) {
  Pass pass;
  pass.first = 0;
  globals::iopt = 1;
  pass.level = 1;
  auto rhos = std::make_shared<std::vector<double>>();
  StageRecorder rec([rhos](sharc_mod::Stages& s) {
    s.hooke = [rhos, f = s.hooke](int32_t n,
                                  VecView<double> a,
                                  VecView<double> b,
                                  double& fmin,
                                  double rho,
                                  double eps,
                                  int32_t itermax) {
      rhos->push_back(rho);
      f(n, a, b, fmin, rho, eps, itermax);
    };
  });
  pass.run();

  std::vector<double> expected = {0.6};
  for (int k = 1; k <= 5; ++k) expected.push_back(k * 0.15);
  for (int k = 8; k >= 2; --k) expected.push_back(k * 0.1);
  for (int c = 0; c < 3; ++c) {
    for (int k = 8; k >= 6; --k) expected.push_back(k * 0.1);
  }
  ASSERT_EQ(rhos->size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("hooke call " + std::to_string(i + 1));
    EXPECT_EQ((*rhos)[i], expected[i]);
  }
}
