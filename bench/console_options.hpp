// The table options of a benchmark program that prints through a console reporter of its own:
// colour only when standard output is a terminal, as the library's own reporter does, so that
// output redirected to a file or a pipe holds no escape codes.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

namespace benchsupport {

inline benchmark::ConsoleReporter::OutputOptions console_options() {
  return isatty(STDOUT_FILENO) != 0 ? benchmark::ConsoleReporter::OO_ColorTabular
                                    : benchmark::ConsoleReporter::OO_Tabular;
}

}  // namespace benchsupport
