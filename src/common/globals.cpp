#include "common/globals.hpp"

namespace globals {

void reset() {
  input_file_name = nul_text(len_file_name);
  output_file_name = nul_text(len_file_name);
  cwd = nul_text(len_dir);
  cwdexe = nul_text(len_dir);
  cwddat = nul_text(len_dir);
  fini = kFiniDefault;

  iopt = iopt2 = iwt = ismth = ilbl = nmdl = iexpzero = 0;

  bcancelrun.store(0);
  bpostrun = brerun = bcorrectmdl = berror = bdataerror = bnext = brewt = 0;
  brun = bopen = bfile = 0;

  timemax = kTimemaxDefault;
  totaltime = 0.0;
  starttimer = 0;

  sline3 = nul_lines(len_line);
  sline5 = nul_lines(len_line);
  sline1 = nul_lines(len_short_line);
  sline2 = nul_lines(len_short_line);
  sline4 = nul_lines(len_short_line);
  nlines3 = nlines5 = 0;
  cline = nul_text(len_line);
  msge = nul_text(len_message);
  cmsg = nul_text(len_dir);
  cstring = nul_text(len_message);
  ctitle = nul_text(len_line);
  clen = 0;

  gwinwidth = gwinheight = gwincolor1 = gwincolor2 = ibit = 0;
  child_windows.fill(0);
  idactivescrn = idactivewin = 0;
  idresultswindow = idresidualwindow = idplotxywindow = idlogplotwindow = 0;
  idoptwindow = idwtwindow = idsmthwindow = idlblwindow = idcalcwindow = 0;

  nlines1 = nlines2 = nlines4 = istop = 0;
  rchisqr = 0.0;
}

}  // namespace globals
