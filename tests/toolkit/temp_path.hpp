// Names of temporary files for one test process: test programs of several checkouts run at
// once on one machine, so each name carries the process id.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

namespace toolkit_test {

inline std::filesystem::path temp_path(const std::string& name) {
  return std::filesystem::temp_directory_path() / (std::to_string(getpid()) + "_" + name);
}

}  // namespace toolkit_test
