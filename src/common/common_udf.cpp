#include "common/common_udf.hpp"

namespace common_udf {

void reset() {
  cudf.assign(len_text, '\0');
  cmdl.assign(len_text, '\0');
  smdl.assign(len_text, '\0');
  bdy = 0;
}

}  // namespace common_udf
