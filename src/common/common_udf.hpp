// The model text shared by the fit run and the model evaluator. Text buffers start as
// `len_text` NUL bytes, as never-assigned buffers do.
#pragma once

#include <cstdint>
#include <string>

namespace common_udf {

inline constexpr int32_t len_text = 512;

// The user-defined model formula after normalisation, without "Y=".
inline std::string cudf = std::string(len_text, '\0');
// A second model text of the fit run.
inline std::string cmdl = std::string(len_text, '\0');
// Declared for the main window; no computation reads them.
inline std::string smdl = std::string(len_text, '\0');
inline int32_t bdy = 0;

// Restores every variable to its start-up value (for tests).
void reset();

}  // namespace common_udf
