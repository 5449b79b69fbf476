#include "files/log_append.hpp"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "files/file_safety.hpp"
#include "numerics/sysclock.hpp"

namespace log_append {
namespace {

// The exclusive lock of the file open as fd, held while the object lives.
class Lock {
 public:
  explicit Lock(int fd);
  ~Lock() {
    if (held_) ::flock(fd_, LOCK_UN);
  }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  // Locked when another program held it past the wait; none otherwise, also where the file
  // system has no locks (ENOLCK, EOPNOTSUPP): the append then goes on without one.
  std::error_code error() const { return error_; }

 private:
  int fd_;
  bool held_ = false;
  std::error_code error_;
};

Lock::Lock(int fd) : fd_(fd) {
  constexpr int32_t kPauseMs = 1;
  const int64_t until = sysclock::monotonic_ms() + lock_wait_ms;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      held_ = true;
      return;
    }
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return;
    if (sysclock::monotonic_ms() >= until) {
      error_ = file_safety::Reason::Locked;
      return;
    }
    sysclock::sleep_ms(kPauseMs);
  }
}

// The bytes of the file that a line's writes took, [first, end); `joined` while they follow
// each other (a writer without the lock may have written between two writes of the line).
struct Taken {
  off_t first = -1;
  off_t end = -1;
  bool joined = true;

  // Notes a write of n bytes that ended at `at` (the offset after it).
  void add(off_t at, ssize_t n) {
    if (at < n) {
      joined = false;
    } else if (first < 0) {
      first = at - n;
    } else if (at - n != end) {
      joined = false;
    }
    end = at;
  }
};

// Cuts the file back to where the line began, while the line's bytes are still its last.
void take_back(int fd, const Taken& taken) {
  struct stat st = {};
  if (taken.first >= 0 && taken.joined && ::fstat(fd, &st) == 0 && st.st_size == taken.end) {
    ::ftruncate(fd, taken.first);
  }
}

}  // namespace

std::error_code append_line(int fd, std::string_view text) {
  const Lock lock(fd);
  if (lock.error()) return lock.error();
  std::string line(text);
  line += '\n';
  // A write cut short is tried on once, for it is the next write that says why it stopped.
  Taken taken;
  size_t done = 0;
  for (int k = 0; k < 2; ++k) {
    errno = 0;
    const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
    if (n <= 0) break;
    taken.add(::lseek(fd, 0, SEEK_CUR), n);  // the offset just past them (O_APPEND)
    done += size_t(n);
    if (done == line.size()) return {};
  }
  const std::error_code err = file_safety::system_error(errno);
  take_back(fd, taken);
  return err;
}

}  // namespace log_append
