// Helpers shared by the source files of the string library; not part of its interface.
#pragma once

#include <string>

namespace stringlib::internal {

inline constexpr char kBlank = ' ';
inline constexpr char kTab = '\t';

// Moves leading blanks (only blanks) to the end, as the intrinsic left adjustment does.
void adjustl_blanks(std::string& s);

}  // namespace stringlib::internal
