#include "platform/image/picture_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

// Closes the descriptor on every way out.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

std::string system_reason(int error) { return std::strerror(error); }

std::string too_large() { return "larger than " + std::to_string(kMaxPictureFileBytes) + " bytes"; }

}  // namespace

std::optional<std::vector<uint8_t>> read_picture_file(const std::string& path,
                                                      std::string& reason) {
  const Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
  if (file.fd < 0) {
    reason = system_reason(errno);
    return std::nullopt;
  }
  struct stat info {};
  if (::fstat(file.fd, &info) != 0) {
    reason = system_reason(errno);
    return std::nullopt;
  }
  if (!S_ISREG(info.st_mode)) {
    reason = S_ISDIR(info.st_mode) ? system_reason(EISDIR) : "not a regular file";
    return std::nullopt;
  }
  if (static_cast<uint64_t>(info.st_size) > kMaxPictureFileBytes) {
    reason = too_large();
    return std::nullopt;
  }
  // The size is only a hint (a file may grow, or report 0 like those of /proc): read until the
  // end, one byte past the limit at most.
  std::vector<uint8_t> bytes(static_cast<size_t>(info.st_size) + 1);
  size_t have = 0;
  for (;;) {
    if (have == bytes.size()) {
      if (have > kMaxPictureFileBytes) {
        reason = too_large();
        return std::nullopt;
      }
      bytes.resize(std::min<size_t>(2 * have + 4096, kMaxPictureFileBytes + 1));
    }
    const ssize_t n = ::read(file.fd, bytes.data() + have, bytes.size() - have);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      reason = system_reason(errno);
      return std::nullopt;
    }
    have += static_cast<size_t>(n);
  }
  bytes.resize(have);
  return bytes;
}

}  // namespace platform
