// File safety: what the program's files rest on where others may act in the same folders.
//
// - Descriptor owns an open file descriptor and closes it when it goes.
// - Identity and named() are the one check that a name still leads to a file the program holds
//   open (device and inode; a name is never trusted to be the file it was).
// - The error codes of file_safety's category (Reason) are the program's own reasons why a file
//   cannot be used; with the system's error numbers (std::generic_category) they make the one
//   error type of files, std::error_code, whose message() is the text that messages give.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <system_error>
#include <type_traits>
#include <utility>

namespace file_safety {

// An open file descriptor owned for its lifetime; -1 holds none.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Hands the descriptor over to the caller, who closes it.
  int release() { return std::exchange(fd_, -1); }
  // Closes the descriptor held and holds fd instead.
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

// What makes a file the same file under any of its names.
struct Identity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const Identity&) const = default;
};

Identity identity(const struct stat& st);
// Of the open file fd; empty when the system does not say.
std::optional<Identity> identity_of(int fd);
// Of the file `name` names in the folder `dir` (a descriptor, or AT_FDCWD), the last link
// followed or not; empty when there is none or the system does not say.
std::optional<Identity> identity_at(int dir, const char* name, bool follow_link);

// What the name leads to, against a file held open.
enum class Named {
  File,     // that file
  Nothing,  // no file at all: the name was removed
  Other,    // another file (or a link, a folder): something was put in its place
};
// What `name` in the folder `dir` leads to now, a link at the name not followed. Only
// async-signal-safe calls: a signal handler may use it.
Named named(int dir, const char* name, const Identity& file);

// The program's own reasons why a file cannot be used.
enum class Reason {
  NotRegularFile = 1,   // a FIFO, a device or a socket where a file of data is wanted
  ChangedWhileRead,     // written to each time it was read, so that no one content was read
  SymbolicLink,         // a log's name is a symbolic link, which is not followed
  OtherNames,           // a log's file has other names (hard links)
  Locked,               // a log held locked by another program past the wait
  DataFile,             // the report's name leads to the data file itself
  FolderMakesNoFiles,   // the report's folder makes no new files (as /proc)
  NotAReport,           // the report's name holds a file that is no report of this program
  WorkingFileReplaced,  // a working file's name leads to another file
  WorkingFileRemoved,   // a working file's name leads to no file
  ReportNameTaken,      // after the rename, the report's name leads to another file
};

const std::error_category& category();
std::error_code make_error_code(Reason reason);
// The system's error number as an error code; EIO when the system gave none (0).
std::error_code system_error(int number);

}  // namespace file_safety

template <>
struct std::is_error_code_enum<file_safety::Reason> : std::true_type {};
