// A fixed local time for tests of dated lines: Monday 7 December 2026, 04:21:58.
#pragma once

#include <ctime>

namespace testsupport {

inline std::tm fixed_time() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 7;
  t.tm_wday = 1;
  t.tm_hour = 4;
  t.tm_min = 21;
  t.tm_sec = 58;
  return t;
}

}  // namespace testsupport
