// Machine precision shared by the fit run and the cascade.
#pragma once

namespace nrtype {

// Machine epsilon of double precision (2^-52 once the fit run has measured it; 0 before).
inline double epsmachine = 0.0;

// Restores the start-up value (for tests).
void reset();

}  // namespace nrtype
