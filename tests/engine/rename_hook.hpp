// A neighbour's action in the report's folder, run once right before the program's next rename
// of a file: the engine tests interpose renameat (sharc_report_test.cpp) to run it.
#pragma once

#include <functional>

namespace enginetest {

inline std::function<void()> before_rename;

}  // namespace enginetest
