// Output lines of vmqp_module: formatted records written to vmqp_module::console (standard
// output when null). Internal to the module's files.
#pragma once

#include <initializer_list>
#include <span>
#include <string_view>

#include "numerics/editfmt.hpp"

namespace vmqp_module::report {

// Writes the records of a formatted write of `values` with `fmt`, each ended by a newline.
void put(std::string_view fmt, std::initializer_list<editfmt::Value> values);
void put(std::string_view fmt, std::span<const editfmt::Value> values);

}  // namespace vmqp_module::report
