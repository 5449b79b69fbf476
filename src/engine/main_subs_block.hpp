// The run-local state of one data block of the fit run and the steps that fill it: model line
// recognition and confirmation, shape checks and loading (files main_subs_model.cpp and
// main_subs_checks.cpp). Internal to the fit run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/sharc_postfit.hpp"
#include "engine/sharc_report.hpp"
#include "files/units.hpp"
#include "model/fparser.hpp"
#include "numerics/farray.hpp"

namespace main_subs {

// Work arrays and counts of one block; allocated for the block and released when it ends.
struct Block {
  std::string file;                        // name the readers open, as the user gave it
  std::optional<units::Snapshot> content;  // the file as the block's readers read it
  int32_t lines = 0;                       // lines of the block counted by a_row_count
  bool too_many = false;                   // the block holds more data rows than the shared arrays
  int32_t npar = 0;                        // parameters P1..Pn of the formula
  int32_t nvar = 0;                        // variables X1..Xm of the formula
  int32_t rows = 0;                        // data rows: lines - 5
  int32_t nfree = 0;                       // mask entries not 0
  int32_t nfixed = 0;                      // mask entries equal to 0
  int32_t index = 0;                       // weighting index: globals::iwt - 1
  FVector<int32_t> mask;                   // mask line as check 1 reads it
  FVector<double> par;                     // line 2: initial values
  FVector<double> albnd;                   // line 3: lower bounds
  FVector<double> aubnd;                   // line 4: upper bounds
  FMatrixD<double> xy;                     // data rows: X1..Xm, then y
  sharc_mod::FitResult fit;
  FVector<double> resid;  // residuals of the cascade's final vector
  FVector<double> res17;  // Marquardt results handed through the cascade
  double ssq = 0.0;       // in/out sum of squares of the cascade
  // While the fit is in its frame (main_subs_frame.cpp): the formula as compiled, before the
  // frame's factors, and the bounds as given.
  fparser::Tcomp formula;
  FVector<double> lo_read;
  FVector<double> hi_read;
  sharc_report_files::ReportFiles report;  // the report's files, made before the confirmation
};

// Outcome of the model line step.
enum class ModelLine {
  Accepted,   // confirmed and free of syntax errors
  Rejected,   // the user answered No
  DataError,  // refused or faulty; the Error dialog was shown
};

// Steps 1 to 10 of the model line: read line 1 into common_udf::cudf, normalise and classify it,
// ask for confirmation and check the formula. Sets globals::nmdl, bcorrectmdl, brerun, berror.
ModelLine model_line(Block& b);

// The Error dialogs of the model line (30 blanks) and of a formula syntax error (9 blanks).
void model_line_message();
void syntax_error_message(int32_t ierr,
                          std::string_view message,
                          std::string_view formula,
                          std::string_view marker);

// The Error dialog of a data file that cannot be opened (the reader's open has just failed on
// this thread: units::last_error tells a file that is not a regular one).
void missing_file_message(std::string_view file);
// The Error dialog of a data file that cannot be read, with the line and what is wrong there
// (`fault`, a sentence of readwrite::line_fault; may be empty).
void unreadable_file_message(std::string_view file, std::string_view fault);

// `text` followed by a line break and `reason` when there is one: a refusal of the data file
// with the line and what is wrong there added after the message of the check.
std::string with_reason(std::string text, std::string_view reason);

// Checks 1 to 9 (shape of the file against the model) and 10 to 14 (numeric syntax, loading):
// false after an Error dialog. On success the block's arrays hold the file's values and
// common_data::pboundlo, pboundhi and pmask the bounds and the mask.
bool shape_checks(Block& b);
bool load_values(Block& b);

// Before the fit: false, after an Error dialog that says so and what to do, when the largest
// |y| passes 2^500 (or stays below 2^-498): the sums of squares of such data cannot be had in
// their own units.
bool fittable(const Block& b);

// The fit's frame (fit_frame::active), entered before the passes and left after the post-fit
// statistics, in this one order. enter_frame takes y (the block's and common_data::yd) and the
// compiled formula's values by 2^-ey, then each free parameter i as 2^e q: q in [0.5, 1) at the
// start, or, for a start at 0, e such that a change of 2^e moves the model's values about as
// much as the largest |y| (0 when the model does not move with it), and q starting at 1e-16.
// The starts (the block's and common_data::pfinal), the bounds (the block's and
// common_data::pboundlo, pboundhi) and the compiled formula's reading of the parameters go into
// the frame. leave_frame gives back the data as read, the formula as compiled and the bounds as
// given, and takes out of the frame the fitted values and residuals (the block's and
// common_data's), the sums of squares (the block's, its fit's and common_data::fssqr), the
// parameters (the block's and pfinal) with their standard errors and half-widths.
void enter_frame(Block& b);
void leave_frame(Block& b);

// In the frame, before the passes: false, after an Error dialog that says so and what to do,
// when the model's value at the starting vector (as the cascade starts it: tiny free values
// raised) is a stand-in of the evaluator's guard (not a number, or beyond its range) in every
// row: the fit would have no model value to go by.
bool start_in_range(const Block& b);

// Rows that are likely missing-value marks, the sign aside: each exceeds the largest |y| of
// every other row more than 2^26.5 (9.49E+07) times; together they are at most half of the
// rows, above the lowest such gap in |y| sorted largest first; and each stands alone in the
// file: on one side at least the next row lies that far below it and the rows there do not
// climb to it (two rises, the one into it at most twice the one before, in log |y|). Rows of 0,
// and values amid zeros whose squares are lost in the rounding of the largest square (5.55E-17
// among zeros below 7.5), are passed over: they are not what a mark is measured against. A run
// of rows of one |y| stands alone or not as one; a run of varying values is data (a decay
// measured at 0..4 and again at 45..49), as are rows climbed to (2 X^8 at X = 1, 10, ..., 1E+7;
// a steep logistic), a share above half of the rows, and one nonzero row among zeros.
struct MarkRows {
  std::vector<int32_t> rows;  // the marks' rows in the file's order, 1..n; empty without any
  double ratio = 0.0;         // the least |y| among them over the largest of the other rows
};
MarkRows mark_rows(VecView<const double> y, int32_t n);

// After loading, on the data as read: false, after an Error dialog naming the marks by their
// lines of the file and data rows, with their Y (a handful, then how many more), and how many
// times the others' they are, when mark_rows finds rows that leave the others no say in the fit.
bool no_mark_rows(const Block& b);

// After the passes, at the final vector (common_data::pfinal, in the fit's frame): whether some
// free parameter, moved by 1E-3 of max(|q|, 1) either way, changes the weighted sum of squares
// beyond rounding. When none does, the run takes the cascade's error path with a message that
// names the row whose weighted square outweighs all the others' together by its line of the
// file and data row ("Line 11 (data row 6)"), and its Y in the data's units (a missing-value
// mark when it is a million times the other rows' largest |y| or more); without such a row, it
// says that no parameter moves the fitted values near the data and names none. The result is
// false. Leaves the shared fitted values and residuals of its last evaluation.
bool sum_moves(Block& b);

// After the passes of a weighting-3 fit (index 2), at the final vector: false, after the
// cascade's error path with a message that says so, when in more than half of the rows whose y
// is not 0 the fitted value exceeds ten times |y| in magnitude (or is not a number): the fitted
// values ran away from the data. True for every other weighting, whose sums grow with the
// fitted values. Leaves the shared fitted values and residuals of its evaluation.
bool near_data(const Block& b);

// A number as the messages show it: I3 left-adjusted in a 3-character field.
std::string nnn(int32_t value);

}  // namespace main_subs
