// Start-up of the `varqen` program: options, the window system on its backend, the main window
// (the current window during a fit) and the fit of one data file through the toolkit's dialogs,
// with the progress display and the Cancel button of the cascade.
//
//   varqen [--level easy|moderate|difficult] [--weighting N] [FILE.dat]
//
// Without a file the open-file dialog asks for one. Exit status: 0 when every block's fit
// completed and its report was written, 1 when a block ended otherwise (a data error, a No at
// the confirmation, the cascade's error path, a report that could not be written) or no run
// was possible (no memory left: "varqen: out of memory" on standard error; no thread or memory
// for the main window), 2 on a usage error (or no file chosen), 3 when the X display went away
// (the program ends at once, with one line on standard error).
//
// Closing the main window (the window manager's close box) while the fit runs acts as its
// Cancel button; the program then ends with the fit.
//
// Backend: X11 when DISPLAY names a display and VARQEN_HEADLESS is not 1; the headless one
// otherwise, or when the display cannot be used (one line on standard error). On X11 the
// dialogs are windows the user answers; headless, they print their title and text on standard
// output and are answered with their default (Yes).
// VARQEN_TEST_NO_PAUSES=1 (for the end-to-end tests only) makes every pause return at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace main_prog {

inline constexpr int32_t kExitReport = 0;
inline constexpr int32_t kExitDataError = 1;
inline constexpr int32_t kExitUsage = 2;
inline constexpr int32_t kExitDisplayLost = 3;

// Size of the main window in pixels (the cascade's Cancel button sits at 290..380 x 125..145).
inline constexpr int32_t kMainWidth = 640;
inline constexpr int32_t kMainHeight = 200;

struct Options {
  std::string file;       // data file; empty: ask with the open-file dialog
  int32_t level = 2;      // globals::iopt: 1 Easy, 2 Moderate, 3 Difficult
  int32_t weighting = 1;  // globals::iwt: 1 None .. 5 StdDev / Residual
  bool help = false;
};

// The options of argv[1..]; nothing, with `why` set, on a usage error.
std::optional<Options> parse_options(const std::vector<std::string>& args, std::string& why);

// The --help text: the options with the levels' and weightings' own names.
std::string usage();

// The data file: the one given, or the one chosen in the open-file dialog, as given or chosen
// (blanks and all: "z.dat " is not z.dat); empty when the dialog was cancelled.
std::string data_file(const Options& options);

// The exit status after main_sub: 0 when every block's fit completed and its report was
// written; 1 when a block ended with a data error, a No, the cascade's error path or a report
// that failed.
int32_t exit_status();

// The main window's colours: globals::gwincolor1 and gwincolor2 (242, 245, 250 and 235, 245,
// 250 as red, green, blue), the first as the current window's background, which is cleared.
void set_window_colours();

// The whole program; returns its exit status.
int32_t main_program(int argc, char** argv);

}  // namespace main_prog
