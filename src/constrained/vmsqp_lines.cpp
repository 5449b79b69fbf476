#include "constrained/vmsqp_lines.hpp"

#include <iostream>
#include <string>
#include <variant>

#include "constrained/vmsqp_mod.hpp"

namespace vmsqp_mod::lines {
namespace {

std::ostream& out() { return console != nullptr ? *console : std::cout; }

}  // namespace

void put(std::string_view fmt, std::span<const editfmt::Value> values) {
  out() << editfmt::format(fmt, values) << '\n';
}

void put(std::string_view fmt, std::initializer_list<editfmt::Value> values) {
  put(fmt, std::span<const editfmt::Value>(values.begin(), values.size()));
}

void list(std::span<const editfmt::Value> items) {
  std::string text = " ";
  for (const editfmt::Value& v : items) {
    if (const auto* s = std::get_if<std::string>(&v)) {
      text += *s;
    } else if (const auto* i = std::get_if<int64_t>(&v)) {
      text += editfmt::format_int("I12", *i);
    } else {
      text += editfmt::format_real("ES25.16E3", std::get<double>(v));
    }
  }
  out() << text << '\n';
}

void blank() { out() << '\n'; }

void list(std::initializer_list<editfmt::Value> items) {
  list(std::span<const editfmt::Value>(items.begin(), items.size()));
}

}  // namespace vmsqp_mod::lines
