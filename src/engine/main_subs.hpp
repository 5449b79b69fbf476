// The fit run `main_sub`: one fit from the data file named in globals::input_file_name to the
// results report and the run-log line, and on to the next file of a numbered series.
//
// A block (the top of one data file) goes through these steps:
//   2   row count, the report's files beside the data file (a folder that cannot take them
//       refuses the file before anything is asked or fitted), model line and its confirmation
//       (fresh run) or the previous model (Restart)
//   3-6 model-number refusal, shape checks and loading of the data file, and the refusal of a
//       row that leaves the others no say in the fit (a missing-value mark)
//   7-9 starting values, data set-up (x columns, data-set index), weights, compilation
//   10  the fit's frame entered (fit_frame.hpp): the observations times a power of two that
//       brings their largest |y| to [64, 128), each free parameter divided by a power of two
//       (a start whose model values are all out of range refused); then one or two passes of
//       the optimiser cascade (a second one for the weighting "1/Reweight^2" and for the level
//       Difficult); a sum flat to rounding at their end, and with weighting 3 fitted values
//       nowhere near the data, take the error path
//   11  final evaluation and post-fit statistics in the frame, the frame left, then the report
//       and the run-log line (also when the report failed; the error path, like a Cancel,
//       adds none)
//   12  end of block; 13 next file of a series ("#k" before ".DAT" becomes "#k+1"; a name
//       without such a number ends the run with an Error dialog saying no next file follows)
// Everything passes through globals, common_data, common_udf and nrtype. Every refusal shows an
// Error dialog, sets globals::bdataerror and ends the block; nothing ends the program.
//
// File names: the data file is opened, shown and logged by the name as given: the file system
// is case-sensitive, and an upper-cased or trimmed name would name another file, or none
// ("z.dat " is not z.dat). Dialogs show it as stringlib::visible does: a control character in
// it would act on the terminal of a headless run, or split the line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "numerics/farray.hpp"

namespace main_subs {

// Whether every block of the last main_sub call completed its fit and had its report written:
// false after a data error (a next file of a series that is missing or cannot be named
// included), a No in the confirmation, the cascade's error path or a report that failed, and
// before the first call.
// The program's exit status follows it.
inline bool every_block_reported = false;

// The data file's name as given. globals::input_file_name holds it blank-padded to its field,
// where "z.dat " and z.dat look alike; set_input_file and the series step set both.
inline std::string input_file;

// Takes `path` as the data file of the next run (input_file and globals::input_file_name). A
// path longer than the name field (globals::len_file_name characters) would be cut to another
// name: it is refused with an Error dialog saying so, globals::bdataerror is set and the result
// is false.
bool set_input_file(std::string_view path);

// The name of the data file the run opens: input_file while globals::input_file_name still
// holds it, else the field's text left-adjusted and trimmed (a caller that filled the field).
std::string data_file_name();

// One fit run (all blocks of a series). Callers clear globals::bdataerror and
// globals::bcancelrun before, and read the run flags and report buffers after.
void main_sub();

// The re-weighting rule: w(i) := |r(i)| + 1, less the smallest of them (NaN passed over) plus 1,
// clamped to [1, 10] (NaN gives 1), for i = 1..n.
void reweight(VecView<const double> r, int32_t n, VecView<double> w);

// The data-set index of each row (common_data::id2 and id2number) from the x columns x(1..n,
// 1..m): with m >= 2 a new set starts where X2 changes, unless the grouping does not hold up
// (rows 1 and 2 differ in X2, the first and last row share a set, or X2 comes back to its
// first value below an earlier maximum); then, and with m = 1, every row is in set 1.
void data_sets(MatView<const double> x, int32_t n, int32_t m);

// The series step of a file name as given: the number after "#" just before the first ".DAT"
// (any case) of the file's own name grows by 1 in place, in as many digits as it has or one
// more on a carry (run#1.dat to run#2.dat, g#99.DAT to g#100.DAT, r#09.dat to r#10.dat), and the
// result is true. A name without such a number is left alone and the result is false. Every
// other character, blanks included, stays.
bool next_series_name(std::string& name);

}  // namespace main_subs
