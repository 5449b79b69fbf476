// Lines added to a log that several runs of the program share (the run log): each line goes to
// the end of the file in one write, whole or not at all.
//
// Every append holds the file's exclusive lock (flock) for the write and any take-back, so that
// no run writes between another's line and its take-back. A write cut short (a full disk, a
// file-size limit) is taken back, so that the next line does not run on from a torn one, but
// only while its bytes are still the file's last: a line that a writer without the lock added
// after them stays. A lock held by another program is waited for, a few seconds at most, so
// that the run still ends; a file system without locks is written without one.
#pragma once

#include <cstdint>
#include <string_view>
#include <system_error>

namespace log_append {

// Longest wait for the lock, in milliseconds of sysclock (whose clock and sleeper tests
// replace): far beyond the microseconds another run holds it for.
inline constexpr int64_t lock_wait_ms = 5000;

// Adds text and a line end at the end of the file open as fd (O_APPEND). Returns no error, or
// why the line is not in the file: the system's error number (EFBIG, ENOSPC) of a write cut
// short, whose part is then taken back as above, or file_safety's Locked when the lock stayed
// taken for lock_wait_ms.
std::error_code append_line(int fd, std::string_view text);

}  // namespace log_append
