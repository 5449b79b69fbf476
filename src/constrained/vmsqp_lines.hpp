// Output lines of vmsqp_mod: formatted records and list-directed lines, all written to
// vmsqp_mod::console (standard output when null). Internal to the module's files.
//
// List-directed layout used here: a line starts with one blank; text items are written as they
// are, integers in I12 and reals in ES25.16E3.
#pragma once

#include <initializer_list>
#include <span>
#include <string_view>

#include "numerics/editfmt.hpp"

namespace vmsqp_mod::lines {

// Writes the records of a formatted WRITE of `values` with `fmt`, each ended by a newline.
void put(std::string_view fmt, std::initializer_list<editfmt::Value> values);
void put(std::string_view fmt, std::span<const editfmt::Value> values);

// Writes one list-directed line of `items`.
void list(std::initializer_list<editfmt::Value> items);
void list(std::span<const editfmt::Value> items);

// Writes an empty line.
void blank();

// |a| with the sign of b, a zero b (+0 or -0) counting as positive.
inline double sign(double a, double b) {
  const double m = a < 0.0 ? -a : a;
  return b < 0.0 ? -m : m;
}

}  // namespace vmsqp_mod::lines
