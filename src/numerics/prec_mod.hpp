// Machine precision of double arithmetic, found by loops rather than taken from <limits>.
#pragma once

#include <cstdint>

namespace prec_mod {

// The machine epsilon 2^-52, or its reciprocal 2^52 when k = 1.
double prec(int32_t k);

}  // namespace prec_mod
