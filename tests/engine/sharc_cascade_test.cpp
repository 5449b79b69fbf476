// The cascade's keep-best rule per kind of stage, its set-up, its loop ends, Cancel, the time
// limit and the error path, with scripted stage results recorded through the stage table.
#include "engine/sharc_cascade.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "engine/cascade_fixture.hpp"
#include "support/close.hpp"

namespace {

using cascadetest::CascadeTest;
using cascadetest::no_improvement;
using cascadetest::Pass;
using cascadetest::StageRecorder;
using sharc_mod::Stages;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kMoved = 7.0;  // x(1) of a scripted stage result

// A scripted result for the k-th call of one stage: x(1) := kMoved, sum := factor * best,
// and the stage's status (gn_main info, varmetric status, va10d third control, evol count).
struct Scripted {
  const char* what;
  int level;
  const char* stage;
  int occurrence;
  double factor;
  int code;
  bool accepted;
};

// Replaces the stage named in `c` by the scripted result on its k-th call. `best` reads the
// best sum at the call (the in/out sum, or for vmsqp the sum handed to the stage before it).
void script(Stages& s, const Scripted& c, const StageRecorder* const* rec) {
  auto count = std::make_shared<int>(0);
  auto hit = [count, k = c.occurrence] { return ++*count == k; };
  const std::string name = c.stage;
  const double factor = c.factor;
  const int code = c.code;
  if (name == "gn_main") {
    s.gn_main = [=, f = s.gn_main](
                    int32_t m, int32_t np, VecView<double> x, double& sse, int32_t& info) {
      if (!hit()) return f(m, np, x, sse, info);
      x(1) = kMoved;
      sse *= factor;
      info = code;
    };
  } else if (name == "varmetric") {
    s.varmetric = [=, f = s.varmetric](
                      int32_t np, VecView<double> x, double& sse, int32_t& status) {
      if (!hit()) return f(np, x, sse, status);
      x(1) = kMoved;
      sse *= factor;
      status = code;
    };
  } else if (name == "va10d") {
    s.va10d = [=, f = s.va10d](int32_t m,
                               int32_t np,
                               VecView<double> x,
                               double& sse,
                               VecView<double> h,
                               int32_t& c1,
                               int32_t& c2,
                               int32_t& c3) {
      if (!hit()) return f(m, np, x, sse, h, c1, c2, c3);
      x(1) = kMoved;
      sse *= factor;
      c3 = code;
    };
  } else if (name == "evol") {
    s.evol = [=, f = s.evol](int32_t m,
                             int32_t np,
                             VecView<double> x,
                             double& sse,
                             int32_t& count_out,
                             int32_t gens) {
      if (!hit()) return f(m, np, x, sse, count_out, gens);
      x(1) = kMoved;
      sse *= factor;
      count_out = code;
    };
  } else if (name == "a23mrt") {
    s.a23mrt = [=, f = s.a23mrt](int32_t np,
                                 VecView<double> x,
                                 int32_t m,
                                 double step,
                                 double& sse,
                                 int32_t maxit,
                                 int32_t iprint) {
      if (!hit()) return f(np, x, m, step, sse, maxit, iprint);
      x(1) = kMoved;
      sse *= factor;
    };
  } else if (name == "vmsqp") {
    s.vmsqp = [=, f = s.vmsqp](const sharc_mod::VmsqpCall& call) {
      if (!hit()) return f(call);
      const auto& calls = (*rec)->calls;
      call.x(1) = kMoved;
      call.fobj = factor * calls[calls.size() - 2].fin;
    };
  } else {
    FAIL() << "no script for " << name;
  }
}

TEST_F(CascadeTest, KeepBestRulePerStageKind) {
  // Occurrences on a first pass: gn_main 2 and vmsqp 2 are those of the opening's second
  // block, varmetric 3 is the first cycle's first, va10d 2 is the opening's second call, va10d 3
  // and a23mrt 2 belong to the first cycle, evol 1 is the opening's call at Difficult and the first
  // cycle's call at Moderate.
  const Scripted cases[] = {
      {"gn_main code 3 (both tests converged) accepted", 3, "gn_main", 2, 0.5, 3, true},
      {"gn_main code 2 accepted", 3, "gn_main", 2, 0.5, 2, true},
      {"gn_main code 8 rejected", 3, "gn_main", 2, 0.5, 8, false},
      {"gn_main far below best rejected", 3, "gn_main", 2, 1e-5, 0, false},
      {"gn_main at 2e-4 of best accepted", 3, "gn_main", 2, 2e-4, 0, true},
      {"gn_main not lower rejected", 3, "gn_main", 2, 1.0, 0, false},
      {"gn_main NaN rejected", 3, "gn_main", 2, kNan, 0, false},
      {"vmsqp 1.00005 x best accepted", 3, "vmsqp", 2, 1.00005, 0, true},
      {"vmsqp 1.0002 x best rejected", 3, "vmsqp", 2, 1.0002, 0, false},
      {"vmsqp NaN rejected", 3, "vmsqp", 2, kNan, 0, false},
      {"varmetric status 1 rejected", 3, "varmetric", 3, 0.5, 1, false},
      {"varmetric status 0 accepted", 3, "varmetric", 3, 0.5, 0, true},
      {"opening va10d control 2 rejected", 3, "va10d", 2, 0.5, 2, false},
      {"opening va10d control 1 accepted", 3, "va10d", 2, 0.5, 1, true},
      {"opening va10d far below rejected", 3, "va10d", 2, 1e-4, 0, false},
      {"loop va10d control 2 rejected", 3, "va10d", 3, 0.5, 2, false},
      {"loop va10d control 3 accepted", 3, "va10d", 3, 0.5, 3, true},
      {"opening evol at 1e-6 x best rejected", 3, "evol", 1, 1e-6, 0, false},
      {"opening evol at 2e-6 x best accepted", 3, "evol", 1, 2e-6, 0, true},
      {"loop evol tiny with full count rejected", 2, "evol", 1, 1e-7, 250, false},
      {"loop evol tiny with early stop accepted", 2, "evol", 1, 1e-7, 10, true},
      {"loop a23mrt below half rejected", 3, "a23mrt", 2, 0.4, 0, false},
      {"loop a23mrt at 0.6 accepted", 3, "a23mrt", 2, 0.6, 0, true},
      {"loop a23mrt NaN rejected", 3, "a23mrt", 2, kNan, 0, false},
  };
  for (const Scripted& c : cases) {
    SCOPED_TRACE(c.what);
    reset_all();
    Pass pass;
    globals::iopt = c.level;
    const StageRecorder* recp = nullptr;
    StageRecorder rec([&](Stages& s) { script(s, c, &recp); });
    recp = &rec;
    pass.run();
    const int at = rec.index_of(c.stage, c.occurrence);
    ASSERT_GE(at, 1);
    ASSERT_LT(at + 1, static_cast<int>(rec.calls.size()));
    const double best = c.stage == std::string("vmsqp") ? rec.calls[at - 1].fin : rec.calls[at].fin;
    const cascadetest::Call& next = rec.calls[at + 1];
    if (c.accepted) {
      EXPECT_EQ(next.x1, kMoved) << "next stage " << next.name;
      EXPECT_EQ(next.fin, c.factor * best) << "next stage " << next.name;
      EXPECT_EQ(pass.p[0], kMoved);
    } else {
      EXPECT_EQ(next.x1, rec.calls[at - 1].x1) << "next stage " << next.name;
      EXPECT_EQ(next.fin, best) << "next stage " << next.name;
      EXPECT_NE(pass.p[0], kMoved);
    }
  }
}

// A constrained stage may raise the best sum a little and a stage's own sum may not be the
// objective's; a later pass (first-pass flag 0, as the second pass of "1/Reweight^2") still
// never ends worse, in the objective, than the vector it started from. A first pass keeps the
// stage's result as the rule takes it.
TEST_F(CascadeTest, ALaterPassNeverEndsWorseThanItsStart) {
  for (const int32_t first : {0, 1}) {
    SCOPED_TRACE("first-pass flag " + std::to_string(first));
    reset_all();
    Pass pass;
    pass.first = first;
    pass.p = {2.0, 0.3};  // the data's own parameters: no vector does better
    globals::iopt = 2;
    const StageRecorder* recp = nullptr;
    StageRecorder rec([&](Stages& s) { script(s, {"", 2, "vmsqp", 2, 1.00005, 0, true}, &recp); });
    recp = &rec;
    pass.run();
    EXPECT_EQ(pass.p[0], first == 0 ? 2.0 : kMoved);
  }
}

// The variable-metric stage that closes the opening's search block: a status of 0 with a sum
// that is not lower sets back only the vector, and gn_main starts from the method's sum.
TEST_F(CascadeTest, OpeningVarmetricHandsItsSumToGaussNewton) {
  for (int status : {0, 1}) {
    SCOPED_TRACE("status " + std::to_string(status));
    reset_all();
    Pass pass;
    globals::iopt = 3;
    const StageRecorder* recp = nullptr;
    StageRecorder rec([&](Stages& s) {
      script(s, {"", 3, "varmetric", 1, 2.0, status, false}, &recp);
    });
    recp = &rec;
    pass.run();
    const int at = rec.index_of("varmetric", 1);
    ASSERT_EQ(rec.calls[at + 1].name, "gn_main");
    const double best = rec.calls[at].fin;
    EXPECT_EQ(rec.calls[at + 1].x1, rec.calls[at].x1);
    EXPECT_EQ(rec.calls[at + 1].fin, status == 0 ? 2.0 * best : best);
  }
}

// The constrained method minimises the unweighted sum. Unweighted, its first call of a pass is
// judged on the residuals it leaves in common_data; in a weighted fit every call is judged by
// the fit's own objective at the vector it returns, here the sum of ((y - yf) / yf)^2 of 1/Y^2.
TEST_F(CascadeTest, ConstrainedStageJudgedOnTheFitsOwnObjective) {
  for (int32_t mode : {0, 2}) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    reset_all();
    Pass pass;
    pass.mode = mode;
    globals::iopt = 1;
    double residual_sum = 0.0;
    StageRecorder rec([&](Stages& s) {
      auto calls = std::make_shared<int>(0);
      s.vmsqp = [&residual_sum, calls](const sharc_mod::VmsqpCall& c) {
        if (++*calls != 1) return;
        c.fobj = 1e30;  // not what the stage is judged on
        c.x(1) = 2.1;
        c.x(2) = 0.3;
        residual_sum = 0.0;
        for (int32_t i = 1; i <= c.n; ++i) {
          common_data::yres(i) = 0.01 * i;
          residual_sum += common_data::yres(i) * common_data::yres(i);
        }
      };
    });
    pass.run();
    double weighted = 0.0;
    for (int32_t i = 0; i < pass.n; ++i) {
      const double yf = 2.1 * std::exp(0.3 * pass.x[size_t(i)]);
      weighted += (pass.y[size_t(i)] - yf) / yf * ((pass.y[size_t(i)] - yf) / yf);
    }
    const int at = rec.index_of("vmsqp", 1);
    EXPECT_NEAR_REL(rec.calls[at + 1].fin, mode == 0 ? residual_sum + 1e-12 : weighted, 1e-14);
    EXPECT_EQ(rec.calls[at + 1].x1, 2.1);
  }
}

TEST_F(CascadeTest, ConstrainedStageInLoopIsFollowedByVarmetricOnlyWhenRejected) {
  for (bool accept : {true, false}) {
    SCOPED_TRACE(accept ? "accepted" : "rejected");
    reset_all();
    Pass pass;
    globals::iopt = 1;
    const StageRecorder* recp = nullptr;
    StageRecorder rec([&](Stages& s) {
      script(s, {"", 1, "vmsqp", 3, accept ? 0.5 : 2.0, 0, accept}, &recp);
    });
    recp = &rec;
    pass.run();
    const int at = rec.index_of("vmsqp", 3);
    ASSERT_GE(at, 0);
    // At Easy the cycle goes on with the next cycle's varmetric either way; only a rejected
    // result has one of its own before the cycle's end.
    const int loop_varmetrics_before_next_vmsqp = rec.index_of("vmsqp", 4) - at - 1;
    EXPECT_EQ(loop_varmetrics_before_next_vmsqp, accept ? 1 : 2);
  }
}

TEST_F(CascadeTest, TinyParametersAreNudgedWithTheirSign) {
  struct Case {
    const char* what;
    double p1;
    int32_t mask1;
    double lo1, hi1;
    double x1, wlo1, whi1;  // x(1) and working bounds after set-up
  };
  const double e2 = 2.0 * 2.220446049250313e-16;
  const double root = 2.1073424255447017e-08;
  const Case cases[] = {
      {"positive, lower bound 0", 1e-17, 1, 0.0, 1.0, root, e2, 1.0},
      {"negative, upper bound 0", -1e-17, 1, -1.0, 0.0, -root, -1.0, e2},
      {"tiny lower bound keeps its sign", 1e-17, 1, -1e-16, 1.0, root, -e2, 1.0},
      {"exact zero not nudged", 0.0, 1, -1000.0, 1000.0, 0.0, -1000.0, 1000.0},
      {"fixed parameter not nudged", 1e-17, 0, 0.0, 1.0, 1e-17, 0.0, 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    reset_all();
    Pass pass;
    globals::iopt = 1;
    pass.p[0] = c.p1;
    pass.mask[0] = c.mask1;
    pass.lo[0] = c.lo1;
    pass.hi[0] = c.hi1;
    double x1 = kNan, wlo = kNan, whi = kNan;
    StageRecorder rec([&](Stages& s) {
      s.adam = [&](int32_t,
                   int32_t,
                   VecView<double> x,
                   VecView<const int32_t>,
                   VecView<const double> lo,
                   VecView<const double> hi,
                   int32_t,
                   double&) {
        x1 = x(1);
        wlo = lo(1);
        whi = hi(1);
      };
    });
    pass.run();
    EXPECT_EQ(x1, c.x1);
    EXPECT_EQ(wlo, c.wlo1);
    EXPECT_EQ(whi, c.whi1);
    EXPECT_EQ(common_data::pboundlo(1), c.lo1);  // the shared bounds keep the user's values
  }
}

TEST_F(CascadeTest, StageLimitFollowsTheStageCode) {
  for (bool has_code : {true, false}) {
    SCOPED_TRACE(has_code ? "code 91" : "no code");
    reset_all();
    Pass pass;
    globals::iopt = 1;
    pass.has_code = has_code;
    int32_t limit = 0;
    StageRecorder rec([&](Stages& s) {
      s.a23mrt = [&](int32_t, VecView<double>, int32_t, double, double&, int32_t, int32_t) {
        limit = sharc_mod::stage_limit.load();
      };
    });
    pass.run();
    EXPECT_EQ(limit, has_code ? 90 : 101);
  }
}

// A best sum that keeps falling never settles; at a large stage code the loop then ends when
// the cycle counter reaches 90, and the final stage runs the Marquardt method.
TEST_F(CascadeTest, CycleLoopEndsAtCycle90) {
  Pass pass;
  globals::iopt = 1;
  pass.code = 5000;
  StageRecorder rec([](Stages& s) {
    s.varmetric = [](int32_t, VecView<double>, double& sse, int32_t& status) {
      sse -= 0.01;  // a steady fall: the mean of three best sums never comes within 1e-6
      status = 0;
    };
  });
  pass.run();
  EXPECT_EQ(rec.count("vmsqp"), 2 + 90);
  EXPECT_EQ(rec.count("marq"), 1);
}

// With the best sum unchanged the loop ends after the third recorded cycle (the settling
// record is tested each time its third position is written).
TEST_F(CascadeTest, SettledBestSumEndsTheLoopAfterThreeRecordedCycles) {
  Pass pass;
  globals::iopt = 1;
  StageRecorder rec;
  pass.run();
  EXPECT_EQ(rec.count("vmsqp"), 2 + 3);
  EXPECT_EQ(rec.names().back(), "marq");
}

TEST_F(CascadeTest, CancelDuringOpeningRunsFinalStageWithMarquardt) {
  Pass pass;
  globals::iopt = 3;
  StageRecorder rec([](Stages& s) {
    s.adam = [](int32_t,
                int32_t,
                VecView<double>,
                VecView<const int32_t>,
                VecView<const double>,
                VecView<const double>,
                int32_t,
                double&) {
      std::thread press(sharc_mod::canceltest);
      press.join();
    };
  });
  pass.run();
  // The opening sequence finishes; refinement and cycle loop are skipped.
  EXPECT_EQ(rec.count("vmsqp"), 2);
  EXPECT_EQ(rec.count("simplex"), 1);
  EXPECT_EQ(rec.names().back(), "marq");
  EXPECT_EQ(globals::bcancelrun.load(), 1);
}

TEST_F(CascadeTest, CancelDuringCycleLoopSkipsMarquardt) {
  // Occurrences on a first pass at Difficult: varmetric 3 runs in the first cycle before its
  // second Cancel test; gn_main 5 runs after it, before the stage-count test.
  for (const char* stage : {"varmetric", "gn_main"}) {
    SCOPED_TRACE(stage);
    reset_all();
    Pass pass;
    globals::iopt = 3;
    const int k = std::string(stage) == "varmetric" ? 3 : 5;
    auto press_on = [k](auto f) {
      auto calls = std::make_shared<int>(0);
      return [=](auto&&... a) {
        if (++*calls == k) {
          std::thread press(sharc_mod::canceltest);
          press.join();
        }
        f(a...);
      };
    };
    StageRecorder rec([&](Stages& s) {
      if (std::string(stage) == "varmetric") {
        s.varmetric = press_on(s.varmetric);
      } else {
        s.gn_main = press_on(s.gn_main);
      }
    });
    pass.run();
    EXPECT_EQ(rec.count("marq"), 0);
    EXPECT_EQ(globals::bcancelrun.load(), 1);
    if (k == 3) {
      EXPECT_EQ(rec.names().back(), "varmetric");
    }
  }
}

TEST_F(CascadeTest, PressingCancelTwiceIsPressingOnce) {
  sharc_mod::stage_limit.store(90);
  sharc_mod::stage_count.store(5);
  sharc_mod::canceltest();
  const int32_t once = sharc_mod::stage_count.load();
  sharc_mod::canceltest();
  EXPECT_EQ(sharc_mod::stage_count.load(), once);
  EXPECT_EQ(once, 90);
  EXPECT_EQ(globals::bcancelrun.load(), 1);
}

// The time test fires in the loop: the final stage still runs the Marquardt method, with the
// status word the last varmetric left.
TEST_F(CascadeTest, TimeLimitInLoopKeepsMarquardtAndStatusWord) {
  for (bool expire : {true, false}) {
    SCOPED_TRACE(expire ? "time runs out" : "in time");
    reset_all();
    Pass pass;
    globals::iopt = 1;
    int32_t marq_status = -1;
    StageRecorder rec([&](Stages& s) {
      auto calls = std::make_shared<int>(0);
      s.varmetric = [&, calls](int32_t, VecView<double>, double&, int32_t& status) {
        // The 4th varmetric is the first cycle's one after its rejected vmsqp.
        status = ++*calls == 4 ? 5 : 0;
        if (*calls == 4 && expire) clock_.advance(int64_t{700000} * 1000);
      };
      s.marq = [&](const sharc_mod::MarqCall& c) { marq_status = c.status; };
    });
    pass.run();
    EXPECT_EQ(rec.count("marq"), 1);
    EXPECT_EQ(marq_status, expire ? 5 : 0);
    EXPECT_EQ(rec.count("vmsqp"), expire ? 3 : 5);
  }
}

// The time test at the end of a cycle's gains (levels below Difficult) reads the last poll
// without polling: time that passed during the stage before it is seen only at the next poll,
// so the level's last va10d of the cycle still runs.
TEST_F(CascadeTest, TimeTestBeforeLastVa10dReadsTheLastPoll) {
  Pass pass;
  globals::iopt = 2;
  pass.level = 2;
  StageRecorder rec([&](Stages& s) {
    auto calls = std::make_shared<int>(0);
    s.varmetric = [&, calls](int32_t, VecView<double>, double&, int32_t& status) {
      status = 0;
      // The 5th varmetric is the first cycle's last one, after its Gauss-Newton stage.
      if (++*calls == 5) clock_.advance(int64_t{700000} * 1000);
    };
  });
  pass.run();
  EXPECT_EQ(rec.count("marq"), 1);
  EXPECT_EQ(rec.count("va10d"), 4);  // two opening calls, then both of the first cycle
}

TEST_F(CascadeTest, ErrorPathSetsCancelFlagAndStillRunsMarquardt) {
  Pass pass;
  globals::iopt = 1;
  // Observations a billion times larger put the sum of the start far above 1e16, and no stage
  // finds a lower one.
  for (double& y : pass.y) y *= 1e9;
  StageRecorder rec([&](Stages& s) { no_improvement(s); });
  user.answer_next_dialog(platform::DialogAnswer::Ok);
  pass.run();
  const auto shown = dialogs.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, "Error");
  EXPECT_EQ(shown[0].text,
            "MainRegression: ERROR!\r\n A parameter may be NaN or the\r\n standard error of "
            "regression may\r\n have exceeded the 4.1E+07 limit.\r\n Try initial parameter "
            "values that\r\n give model values nearer the data's.\r\n Then rerun the "
            "model.\r\n The run has ended...");
  EXPECT_EQ(globals::bcancelrun.load(), 1);
  EXPECT_EQ(rec.names().back(), "marq");
  // The first check of the cycle loop comes before the cycle's first stage at Easy.
  EXPECT_EQ(rec.count("vmsqp"), 2);
}

// The error path's limit is on the sum of squares of the scaled data, 1E+16; the message
// states it as the standard error of regression at that sum on 8 rows and 2 free parameters,
// sqrt(1E+16 / 6), in the data's units: a residual carries Y's unit, so the limit is 2^ey
// times larger there; those of "1/Y^2" (mode 2) are relative and have no unit.
TEST_F(CascadeTest, ErrorPathStatesTheLimitInTheDataUnits) {
  const struct {
    int32_t mode;
    int32_t y_scale;
    const char* limit;
  } cases[] = {{0, 0, "4.1E+07"}, {0, 10, "4.2E+10"}, {2, 10, "4.1E+07"}, {3, -20, "3.9E+01"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + " " + std::to_string(c.y_scale));
    reset_all();
    fit_frame::active = fit_frame::Frame(c.y_scale, {});
    Pass pass;
    globals::iopt = 1;
    pass.mode = c.mode;
    for (double& y : pass.y) y *= 1e9;
    StageRecorder rec([&](Stages& s) { no_improvement(s); });
    pass.run();
    fit_frame::active = fit_frame::Frame();
    ASSERT_TRUE(sharc_mod::error_path_taken);
    EXPECT_NE(sharc_mod::error_path_reason.find("exceeded the " + std::string(c.limit) + " limit"),
              std::string::npos)
        << sharc_mod::error_path_reason;
  }
}

// A stage's vector at which the model's values are the evaluator's stand-ins (a NaN parameter
// makes them 2^-51, so does a value beyond 2^53) is not taken, however low its sum: the pass
// goes on from the vector before it and ends without an error.
TEST_F(CascadeTest, AVectorWhoseModelValuesAreStandInsIsNotTaken) {
  for (double bad : {kNan, 1e300}) {
    SCOPED_TRACE(bad);
    reset_all();
    Pass pass;
    globals::iopt = 1;
    StageRecorder rec([&](Stages& s) {
      no_improvement(s);
      s.hitnrun2 = [&](int32_t, VecView<double> x, int32_t&, double& fmin, double, int32_t) {
        x(1) = bad;
        fmin = 1e-10;
      };
    });
    dialogs.clear();
    pass.run();
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(globals::bcancelrun.load(), 0);
    EXPECT_EQ(pass.p[0], 1.5);
  }
}

// Argument 14 on return: the unweighted sum of (y - fitted + 1e-12)^2 at the final vector.
// The standard errors of a weighted fit are those of weighted least squares at its final
// vector, SE(k) = sqrt(inv(J'WJ)(k,k) sum(w r^2) / (n - 2)), computed here from the analytic
// Jacobian of y = P1 X1 / (P2 + X1) with the row weights w of each mode: 1 (None), 1/sig^2
// (1/Reweight^2) and 1/yfit^2 (1/Y^2).
TEST_F(CascadeTest, WeightedStandardErrorsAreThoseOfWeightedLeastSquares) {
  const std::vector<double> x = {0.5, 1, 2, 3, 5, 8, 12, 20, 30, 50};
  const std::vector<double> y = {
      14.133, 23.5, 40.3, 50.529, 67.267, 79.8, 90.4, 99.3, 106.382, 110.811};
  for (int32_t mode : {0, 1, 2}) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    reset_all();
    Pass pass;
    common_udf::cudf = stringlib::fixed("P1*X1/(P2+X1)", common_udf::len_text);
    fnparse2_reset();
    pass.x = x;
    pass.y = y;
    pass.n = 10;
    pass.yf.assign(10, 0.0);
    pass.sig.clear();
    for (int32_t i = 0; i < 10; ++i) pass.sig.push_back(1.0 + 0.25 * (i % 4));
    pass.p = {100.0, 2.0};
    pass.lo = {1.0, 0.01};
    pass.hi = {1000.0, 100.0};
    pass.mode = mode;
    globals::iopt = 1;
    pass.run();
    const double p1 = pass.p[0], p2 = pass.p[1];
    double a11 = 0, a12 = 0, a22 = 0, wss = 0;
    for (size_t i = 0; i < 10; ++i) {
      const double yfit = p1 * x[i] / (p2 + x[i]);
      const double d1 = x[i] / (p2 + x[i]);
      const double d2 = -p1 * x[i] / ((p2 + x[i]) * (p2 + x[i]));
      const double s = mode == 0 ? 1.0 : mode == 1 ? pass.sig[i] : yfit;
      const double w = 1.0 / (s * s);
      a11 += w * d1 * d1;
      a12 += w * d1 * d2;
      a22 += w * d2 * d2;
      wss += w * (y[i] - yfit) * (y[i] - yfit);
    }
    const double det = a11 * a22 - a12 * a12;
    const double s2 = wss / (10 - 2);
    EXPECT_NEAR_REL(pass.se[0], std::sqrt(a22 / det * s2), 1e-7);
    EXPECT_NEAR_REL(pass.se[1], std::sqrt(a11 / det * s2), 1e-7);
    EXPECT_NEAR_REL(pass.stats.correl[1], -a12 / std::sqrt(a11 * a22), 1e-7);
  }
}

// The 95 % half-widths are t times the standard errors, with t of the n - (np - fixed)
// residual degrees of freedom down to one of them (the t values are those of tval95).
TEST_F(CascadeTest, ConfidenceHalfWidthsUseTOfTheResidualDegreesOfFreedom) {
  const struct {
    int32_t rows;
    std::vector<int32_t> mask;
    float t;
  } cases[] = {{3, {1, 1, 0}, 12.711f},
               {4, {1, 1, 0}, 4.308f},
               {5, {1, 1, 0}, 3.183f},
               {4, {1, 1, 1}, 12.711f},
               {8, {1, 1, 1}, 2.573f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rows << " rows, P3 free " << c.mask[2]);
    reset_all();
    StageRecorder rec;
    Pass pass;
    common_udf::cudf = stringlib::fixed("P1*EXP(P2*X1)+P3", common_udf::len_text);
    pass.x.resize(size_t(c.rows));
    pass.y.resize(size_t(c.rows));
    pass.yf.assign(size_t(c.rows), 0.0);
    pass.sig.assign(size_t(c.rows), 1.0);
    for (int32_t i = 1; i <= c.rows; ++i) pass.y[size_t(i - 1)] += i % 2 == 0 ? 0.05 : -0.05;
    pass.n = c.rows;
    pass.np = 3;
    pass.p = {1.5, 0.25, 0.0};
    pass.mask = c.mask;
    pass.lo = {0.01, 0.001, -1.0};
    pass.hi = {100.0, 10.0, 1.0};
    pass.se.assign(3, 0.0);
    pass.cl.assign(3, 0.0);
    pass.res17.assign(3, 0.0);
    globals::iopt = 1;
    pass.run();
    for (size_t k = 0; k < 3; ++k) {
      SCOPED_TRACE(k + 1);
      if (pass.mask[k] == 0) continue;
      EXPECT_GT(pass.se[k], 0.0);
      EXPECT_EQ(pass.cl[k], double(c.t) * pass.se[k]);
    }
  }
}

TEST_F(CascadeTest, ReturnedSumIsUnweightedResidualSumOfFinalVector) {
  for (bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "after Cancel" : "plain");
    reset_all();
    Pass pass;
    globals::iopt = 1;
    pass.sig.assign(pass.n, 3.0);
    pass.mode = 1;  // weighted by the sigmas: the returned sum is not
    StageRecorder rec([&](Stages& s) {
      auto calls = std::make_shared<int>(0);
      s.varmetric = [&, calls](int32_t, VecView<double>, double&, int32_t& status) {
        status = 0;
        if (++*calls == 3 && cancel) sharc_mod::canceltest();
      };
    });
    pass.run();
    double expected = 0.0;
    for (int i = 0; i < pass.n; ++i) {
      const double r = pass.y[i] - pass.p[0] * std::exp(pass.p[1] * pass.x[i]) + 1e-12;
      expected += r * r;
    }
    EXPECT_NEAR(pass.ssq, expected, 1e-12 * expected);
    EXPECT_EQ(common_data::fssqr, pass.ssq);
    EXPECT_EQ(pass.sig[0], 3.0);
  }
}

}  // namespace

namespace {

// Waits (without sleeping) until the Cancel callback has run on its own thread.
bool wait_for_cancel_flag() {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (globals::bcancelrun.load() == 0) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::yield();
  }
  return true;
}

// The real Cancel button of the main window, clicked by the scripted user during the opening
// sequence; after the pass the button is gone and a click at its place does nothing.
TEST_F(CascadeTest, CancelButtonClickedDuringOpening) {
  Pass pass;
  globals::iopt = 2;
  const platform::Hwnd h = handle(window_);
  const platform::Point cancel{290 + 45, 125 + 10};
  bool seen = false;
  StageRecorder rec([&](Stages& s) {
    s.adam = [&](int32_t,
                 int32_t,
                 VecView<double>,
                 VecView<const int32_t>,
                 VecView<const double>,
                 VecView<const double>,
                 int32_t,
                 double&) {
      user.click(h, cancel);
      ASSERT_TRUE(user.settle(h));
      seen = wait_for_cancel_flag();
    };
  });
  pass.run();
  EXPECT_TRUE(seen);
  EXPECT_EQ(rec.count("vmsqp"), 2);
  EXPECT_EQ(rec.names().back(), "marq");

  // A later pass clears the flag; a click after it returned reaches no callback.
  reset_all();
  Pass later;
  globals::iopt = 1;
  later.run();
  EXPECT_EQ(globals::bcancelrun.load(), 0);
  const int32_t count = sharc_mod::stage_count.load();
  user.click(h, cancel);
  ASSERT_TRUE(user.settle(h));
  EXPECT_EQ(globals::bcancelrun.load(), 0);
  EXPECT_EQ(sharc_mod::stage_count.load(), count);
}

}  // namespace

namespace {

// On a Restart the vector is pulled into its bounds after the opening's constrained stage: the
// next stage starts from the moved vector with the doubled sum.
TEST_F(CascadeTest, RestartPullsTheVectorIntoItsBounds) {
  Pass pass;
  globals::iopt = 1;
  pass.first = 0;
  pass.bpostrun = 1;
  pass.p = {200.0, 0.25};  // above the upper bound 100: the rule moves it to 0.5 * 100
  StageRecorder rec;
  pass.run();
  const int at = rec.index_of("hooke", 1);
  ASSERT_EQ(rec.calls[at - 1].name, "vmsqp");
  EXPECT_EQ(rec.calls[at].x1, 50.0);
  EXPECT_EQ(rec.calls[at].fin, 2.0 * rec.calls[rec.index_of("a23mrt")].fin);
}

}  // namespace
