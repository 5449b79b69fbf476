#include "common/nrtype.hpp"

namespace nrtype {

void reset() { epsmachine = 0.0; }

}  // namespace nrtype
