#include "files/file_safety.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace file_safety {
namespace {

class ReasonCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "file"; }
  std::string message(int reason) const override {
    switch (static_cast<Reason>(reason)) {
      case Reason::NotRegularFile:
        return "not a regular file";
      case Reason::ChangedWhileRead:
        return "changed while being read";
      case Reason::SymbolicLink:
        return "a symbolic link, which is not followed";
      case Reason::OtherNames:
        return "a file with other names (a hard link)";
      case Reason::Locked:
        return "locked by another program";
      case Reason::DataFile:
        return "the data file itself, which a run never replaces";
      case Reason::FolderMakesNoFiles:
        return "no file can be made in this folder";
      case Reason::NotAReport:
        return "a file that is not a report of this program, which a run never replaces";
      case Reason::WorkingFileReplaced:
        return "the run's working file was replaced by another file, which is left as it is";
      case Reason::WorkingFileRemoved:
        return "the run's working file was removed";
      case Reason::ReportNameTaken:
        return "another file took the place of the run's results file as it was renamed to this "
               "name, and is left as it is";
    }
    return "unknown reason " + std::to_string(reason);
  }
};

}  // namespace

void Descriptor::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

Identity identity(const struct stat& st) { return {st.st_dev, st.st_ino}; }

std::optional<Identity> identity_of(int fd) {
  struct stat st = {};
  if (fd < 0 || ::fstat(fd, &st) != 0) return std::nullopt;
  return identity(st);
}

std::optional<Identity> identity_at(int dir, const char* name, bool follow_link) {
  struct stat st = {};
  if (::fstatat(dir, name, &st, follow_link ? 0 : AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  return identity(st);
}

Named named(int dir, const char* name, const Identity& file) {
  const int saved = errno;  // a signal handler leaves errno as it found it
  struct stat st = {};
  Named result = Named::Other;
  if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    result = identity(st) == file ? Named::File : Named::Other;
  } else if (errno == ENOENT) {
    result = Named::Nothing;
  }
  errno = saved;
  return result;
}

const std::error_category& category() {
  static const ReasonCategory reasons;
  return reasons;
}

std::error_code make_error_code(Reason reason) { return {static_cast<int>(reason), category()}; }

std::error_code system_error(int number) {
  return {number != 0 ? number : EIO, std::generic_category()};
}

}  // namespace file_safety
