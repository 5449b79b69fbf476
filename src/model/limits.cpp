#include "model/limits.hpp"

namespace limits {

void set() {
  bound = kBound;
  vnan = kNan;
}

void reset() {
  bound = 0.0;
  vnan = 0.0;
}

}  // namespace limits
