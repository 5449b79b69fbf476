// The two bounds of model values, shared by the model front end and the model evaluator: the
// clamp bound of a value and the substitute for a value that is not a number. Both are set
// before model values are computed.
#pragma once

namespace limits {

inline constexpr double kBound = 2251799813685248.0;   // 2^51
inline constexpr double kNan = 4.440892098500626e-16;  // 2^-51

inline double bound = 0.0;  // magnitude limit of a model value
inline double vnan = 0.0;   // substitute for a value that is not a number

// bound := 2^51, vnan := 2^-51.
void set();
// Back to the program-start state, both 0 (tests).
void reset();

}  // namespace limits
