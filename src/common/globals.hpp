// Program-wide state shared by the main window, the fit run, the optimisers and the result
// windows: file names, options, run flags, the time limit, report text buffers and window
// bookkeeping. Nothing is passed between subsystems as arguments; one fit reads its inputs here
// and leaves its results here.
//
// Text variables are fixed-length buffers: each std::string starts as `len_<name>` NUL bytes
// (never assigned text is NULs, not blanks) and the text library applies the declared length
// where behaviour depends on it. Arrays are 1-based (FArray).
//
// Threads: `bcancelrun` is set by the Cancel button's callback on its own thread while the
// cascade reads it on the main thread, so it is atomic. Every other variable belongs to the
// main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "numerics/farray.hpp"

namespace globals {

// Declared lengths of the text buffers (bytes).
inline constexpr int32_t len_file_name = 512;   // input_file_name, output_file_name, fini
inline constexpr int32_t len_dir = 640;         // cwd, cwdexe, cwddat, cmsg
inline constexpr int32_t len_line = 220;        // sline3, sline5 lines, cline, ctitle
inline constexpr int32_t len_short_line = 170;  // sline1, sline2, sline4 lines
inline constexpr int32_t len_message = 4096;    // msge, cstring
inline constexpr int32_t max_lines = 62;        // lines per report text buffer
inline constexpr int32_t max_child_windows = 257;

using TextLines = FArray<std::string, max_lines>;

// A text buffer of n NUL bytes: the start-up content of a never-assigned buffer.
inline std::string nul_text(int32_t n) { return std::string(static_cast<size_t>(n), '\0'); }
// max_lines buffers of n NUL bytes each.
inline TextLines nul_lines(int32_t n) {
  TextLines lines;
  lines.fill(nul_text(n));
  return lines;
}

// Files and folders.
inline std::string input_file_name = nul_text(len_file_name);   // chosen data file
inline std::string output_file_name = nul_text(len_file_name);  // results report of the last run
inline std::string cwd = nul_text(len_dir);     // start-up directory, ending in a separator
inline std::string cwdexe = nul_text(len_dir);  // external editor (settings key Launch)
inline std::string cwddat = nul_text(len_dir);  // data folder (settings key DataDir)
inline const std::string kFiniDefault = "Varqen.INI";
inline std::string fini = kFiniDefault;  // settings file name, in the working directory

// Options and levels.
inline int32_t iopt = 0;      // level: 1 Easy, 2 Moderate, 3 Difficult
inline int32_t iopt2 = 0;     // level copy of the current run (-1: second pass of Difficult)
inline int32_t iwt = 0;       // weighting choice 1..5
inline int32_t ismth = 0;     // curve smoothing 1..3
inline int32_t ilbl = 0;      // curve label option 1..3
inline int32_t nmdl = 0;      // built-in model number of the run
inline int32_t iexpzero = 0;  // 0: the model front end inserts "0" before a bare exponent point

// Run flags (0 or 1).
inline std::atomic<int32_t> bcancelrun{0};  // Cancel pressed or the cascade's error path
inline int32_t bpostrun = 0;                // Restart: start from the previous pfinal and fssqr
inline int32_t brerun = 0;                  // the user rejected the model
inline int32_t bcorrectmdl = 0;             // the model was confirmed
inline int32_t berror = 0;                  // the run failed
inline int32_t bdataerror = 0;              // the data file failed validation
inline int32_t bnext = 0;                   // a NEXT line follows the block just read
inline int32_t brewt = 0;                   // the re-weighted second pass is running
inline int32_t brun = 0;                    // a run completed; results may be shown
inline int32_t bopen = 0;                   // a data file is open
inline int32_t bfile = 0;                   // a data file has been chosen

// Time limit (seconds).
inline constexpr double kTimemaxDefault = 50000.0;
inline double timemax = kTimemaxDefault;  // the cascade sets 600000.0 at the start of a fit
inline double totaltime = 0.0;            // clock value at the last poll
inline int32_t starttimer = 0;            // clock restart flag (1 restarts, the clock clears it)

// Text buffers of the report and messages.
inline TextLines sline3 = nul_lines(len_line);  // report summary lines
inline int32_t nlines3 = 0;
inline TextLines sline5 = nul_lines(len_line);  // x, y, fitted y, residual listing
inline int32_t nlines5 = 0;
inline TextLines sline1 = nul_lines(len_short_line);
inline TextLines sline2 = nul_lines(len_short_line);
inline TextLines sline4 = nul_lines(len_short_line);
inline std::string cline = nul_text(len_line);       // one line read back from the report
inline std::string msge = nul_text(len_message);     // message buffer of the fit run
inline std::string cmsg = nul_text(len_dir);         // main window message text
inline std::string cstring = nul_text(len_message);  // main window listing text
inline std::string ctitle = nul_text(len_line);      // listing window title
inline int32_t clen = 0;

// Window bookkeeping.
inline int32_t gwinwidth = 0;
inline int32_t gwinheight = 0;
inline int32_t gwincolor1 = 0;
inline int32_t gwincolor2 = 0;
inline int32_t ibit = 0;  // word size in bits
// Entries 1..255: ids of open child windows (-1 free); entry 256: the window to return to.
inline FArray<int32_t, max_child_windows> child_windows;
inline int32_t idactivescrn = 0;
inline int32_t idactivewin = 0;
inline int32_t idresultswindow = 0;
inline int32_t idresidualwindow = 0;
inline int32_t idplotxywindow = 0;
inline int32_t idlogplotwindow = 0;
inline int32_t idoptwindow = 0;
inline int32_t idwtwindow = 0;
inline int32_t idsmthwindow = 0;
inline int32_t idlblwindow = 0;
inline int32_t idcalcwindow = 0;

// Declared for the main window; no computation reads them.
inline int32_t nlines1 = 0;
inline int32_t nlines2 = 0;
inline int32_t nlines4 = 0;
inline int32_t istop = 0;
inline double rchisqr = 0.0;

// Restores every variable to its start-up value (for tests).
void reset();

}  // namespace globals
