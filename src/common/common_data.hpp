// The data set, the parameter controls and the fit results shared by the fit run, the model
// evaluator, the objective, the optimisers and the result windows. One fit overwrites them.
//
// Limits: at most max_rows data rows, max_x independent variables and max_params parameter
// slots. Arrays are 1-based (FArray/FMatrix); `cimat` is indexed 0..10 in both directions.
#pragma once

#include <cstdint>

#include "numerics/farray.hpp"

namespace common_data {

inline constexpr int32_t max_rows = 1000;
inline constexpr int32_t max_x = 3;
inline constexpr int32_t max_params = 10;

using RowArray = FArray<double, max_rows>;
using ParamArray = FArray<double, max_params>;

// The condition-index table: entry (0,0) = 0, row 0 the column numbers, column 0 the condition
// indices, indices 0..10 in both directions.
class CondIndexTable {
 public:
  double& operator()(long i, long j) { return m_(i + 1, j + 1); }
  const double& operator()(long i, long j) const { return m_(i + 1, j + 1); }
  void fill(double v) { m_.fill(v); }

 private:
  FMatrix<double, max_params + 1, max_params + 1> m_;
};

// The data set. The row arrays the model evaluator reads and writes on every call start on a
// 64-byte boundary, so that whole vectors of its kernels never straddle a cache line.
inline int32_t nd = 0;                        // number of data rows, 1..1000
inline int32_t nxd = 0;                       // number of independent variables, 1..3
inline int32_t npr = 0;                       // number of model parameters, at most 8
alignas(64) inline RowArray xd;               // X1 column
alignas(64) inline RowArray xd2;              // X2 column
alignas(64) inline RowArray xd3;              // X3 column
alignas(64) inline FMatrix<double, max_rows, max_x> xnx;  // X1, X2, X3 as columns 1..3
alignas(64) inline RowArray yd;               // observed y
alignas(64) inline RowArray ysig;             // per-row sigma (divisor of the residual)
inline int32_t ndwt = 0;                      // weighting mode of the model evaluator
inline FArray<int32_t, max_rows> id2;         // data-set index of each row
inline int32_t id2number = 0;                 // number of data sets, at most 999

// Parameter controls.
inline FArray<int32_t, max_params> pmask;  // nonzero: free; 0: held constant
inline ParamArray pboundlo;
inline ParamArray pboundhi;
inline int32_t icnstr = 0;  // number of constraints
inline int32_t ieqcns = 0;  // number of equality constraints
inline int32_t nmod = 0;    // model switch of the constraint routine

// Fit results.
alignas(64) inline RowArray ydf;   // fitted y of the last evaluation
alignas(64) inline RowArray yres;  // residuals of the last evaluation
inline double fssqr = 0.0;  // weighted sum of squared residuals of the last evaluation
inline ParamArray pfinal;   // parameter vector of the last evaluation
inline RowArray ydr;        // studentized residuals
inline RowArray xdr;        // x of each residual in the residuals plot (row numbers)
inline RowArray xdl;        // work column of the fit run
inline double xmin0 = 0.0;  // running minimum of the fit run (the run starts it at DBL_MAX)
inline CondIndexTable cimat;
inline double ctau = 0.0;  // outlier threshold tau of the run
inline int32_t bcl = 0;    // 1: draw the 95% confidence band
inline double xrmin = 0.0;
inline double xrmax = 0.0;
inline double yrmin = 0.0;
inline double yrmax = 0.0;
inline double xrmin1 = 0.0;
inline double xrmax1 = 0.0;
inline FArray<double, 2> resxaxislable;  // lower and upper x-axis bound of the residuals plot
inline FArray<double, 2> resyaxislable;  // lower and upper y-axis bound of the residuals plot

// Declared for the plot windows; no computation reads them.
inline double xdmin = 0.0, xdmax = 0.0, xdmin1 = 0.0, xdmax1 = 0.0;
inline double ydmin = 0.0, ydmax = 0.0, ydmin1 = 0.0, ydmax1 = 0.0;
inline double xlmin = 0.0, xlmax = 0.0, xlmin1 = 0.0, xlmax1 = 0.0;
inline double ylmin = 0.0, ylmax = 0.0, ylmin1 = 0.0, ylmax1 = 0.0;
inline FMatrix<double, max_rows, max_x> xlnx;
inline FArray<double, 2> xaxislable;
inline FArray<double, 2> yaxislable;
inline FArray<double, 2> logxaxislable;
inline FArray<double, 2> logyaxislable;

// Restores every variable to its start-up value (zero) for tests.
void reset();

}  // namespace common_data
