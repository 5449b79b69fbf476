#include "engine/sharc_report_files.hpp"

#include <fcntl.h>
#include <linux/capability.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <tuple>

#include "engine/sharc_report.hpp"
#include "model/units.hpp"

namespace sharc_mod {
namespace {

constexpr std::string_view kScratchPrefix = "tempor-";
constexpr std::string_view kScratchSuffix = ".txt";
constexpr std::string_view kPartialPrefix = ".varqen-";
constexpr std::string_view kPartialSuffix = ".part";

// Room reserved for each file of a report before the fit: the sections above the listing (at
// most 8 parameters, under 4 KiB) and a listing row of at most 3 x values, y, Ycalc, the
// residual (14 columns each) and a row mark.
constexpr uintmax_t kReportHead = 8192;
constexpr uintmax_t kReportRow = 100;

// The error number of a failure the units just reported (EIO when the system gave none).
int failure() { return units::last_error() != 0 ? units::last_error() : EIO; }

// Takes `bytes` of the disk for the open file fd: a disk already full, a quota or a file size
// limit shows now, not after the fit, and the room stays the file's until it is cut to the
// report's length. 0 or the error number; a file system that cannot reserve room is taken at
// its word (the report's own writes still check every line).
int reserve(int fd, uintmax_t bytes) {
  const int err = ::posix_fallocate(fd, 0, static_cast<off_t>(bytes));
  return err == EOPNOTSUPP || err == EINVAL ? 0 : err;
}

// Whether `name` in the folder is still the file open as fd (not something put in its place).
bool still_there(int folder, const std::string& name, int fd) {
  struct stat named = {};
  struct stat opened = {};
  return ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         ::fstat(fd, &opened) == 0 && named.st_dev == opened.st_dev &&
         named.st_ino == opened.st_ino;
}

// A path as messages name it: where it is, without "." and ".." ("work/../data" is "data").
std::filesystem::path located(const std::filesystem::path& p) {
  std::error_code ec;
  std::filesystem::path found = std::filesystem::weakly_canonical(p, ec);
  return ec ? p : found;
}

// Whether the process may replace another user's file in a sticky folder (CAP_FOWNER, which
// root holds unless it was dropped).
bool may_replace_any_file() {
  __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
  std::array<__user_cap_data_struct, _LINUX_CAPABILITY_U32S_3> data{};
  if (::syscall(SYS_capget, &head, data.data()) != 0) return ::geteuid() == 0;
  return ((data[CAP_FOWNER / 32].effective >> (CAP_FOWNER % 32)) & 1u) != 0;
}

// The working files of reports not yet done, for remove_unfinished_reports, which may run in a
// signal handler: fixed slots of the held folder and a plain name, lock-free flags, no
// allocation and no lock. A slot is claimed, filled, then marked live; a file that finds no
// slot free is still removed by its ReportFiles, only not on an abrupt end.
struct Unfinished {
  std::atomic<bool> claimed{false};
  std::atomic<bool> live{false};
  int folder = -1;
  char name[64] = {};
};
static_assert(std::atomic<bool>::is_always_lock_free, "flags read in a signal handler");
std::array<Unfinished, 8> unfinished;

// Making a working file and the removal at an abrupt end exclude each other, so that no file
// exists unregistered when the removal runs and none is made after it: a file is made and
// registered with every signal blocked on its thread and `making` counted; the removal sets
// `ending` first, then waits out the makings on other threads, and a making that finds
// `ending` set makes nothing. (Both sides store before they load, in one total order: at
// least one of them sees the other.)
std::atomic<int> making{0};
std::atomic<bool> ending{false};
thread_local bool making_here = false;  // this thread is between the two steps
static_assert(std::atomic<int>::is_always_lock_free, "count read in a signal handler");

void track(int folder, const std::string& name) {
  if (name.size() >= sizeof(Unfinished::name)) return;
  for (Unfinished& u : unfinished) {
    if (u.claimed.exchange(true)) continue;
    u.folder = folder;
    std::memcpy(u.name, name.c_str(), name.size() + 1);
    u.live.store(true, std::memory_order_release);
    return;
  }
}

void untrack(int folder, const std::string& name) {
  for (Unfinished& u : unfinished) {
    if (u.live.load(std::memory_order_acquire) && u.folder == folder && name == u.name) {
      u.live.store(false);
      u.claimed.store(false);
      return;
    }
  }
}

// Makes a new working file `prefix` + 6 random characters + `suffix` in the folder and
// registers it, as one step for remove_unfinished_reports. Its name and in `fd` the descriptor
// that made it, or empty with `err` set (ECANCELED once the program is ending).
std::string make_tracked(
    int folder, std::string_view prefix, std::string_view suffix, int& fd, int& err) {
  sigset_t all{}, before{};
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  making.fetch_add(1);
  making_here = true;
  std::string name;
  if (ending.load()) {
    err = ECANCELED;
  } else {
    name = units::create_unique(folder, prefix, suffix, fd);
    err = name.empty() ? failure() : 0;
    if (err == 0) track(folder, name);
  }
  making_here = false;
  making.fetch_sub(1);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return name;
}

// Removes the working file `name` of the folder, open as fd (when there is one), and forgets
// it; removed first, so that an abrupt end in between finds it still registered. Whatever was
// put in its place is not the run's and stays.
void drop(int folder, std::string& name, int& fd) {
  if (!name.empty()) {
    if (still_there(folder, name, fd)) ::unlinkat(folder, name.c_str(), 0);
    untrack(folder, name);
    name.clear();
  }
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

int ReportFiles::create(std::string_view input_file_name, int32_t rows) {
  release();
  failed_.clear();
  given_ = results_file_name(input_file_name);
  const std::filesystem::path results = units::resolve(given_.string());
  const std::filesystem::path folder = results.parent_path();
  name_ = results.filename().string();
  folder_ = ::open(folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder_ < 0) {
    const int err = errno != 0 ? errno : EIO;
    failed_ = located(folder);
    return err;
  }
  // An old report that the last step, the rename, could not replace is found now, and so is a
  // report name that leads to the data file itself (a link to it, or the file it links to).
  int err = is_file(units::resolve(input_file_name)) ? report_is_data_file : replaceable();
  if (err != 0) {
    failed_ = located(folder) / name_;  // the name itself, not what a link there leads to
    release();
    return err;
  }
  const uintmax_t room = kReportHead + kReportRow * uintmax_t(std::max(rows, 0));
  for (auto [file, fd, prefix, suffix] :
       {std::tuple{&scratch_, &scratch_fd_, kScratchPrefix, kScratchSuffix},
        std::tuple{&partial_, &partial_fd_, kPartialPrefix, kPartialSuffix}}) {
    *file = make_tracked(folder_, prefix, suffix, *fd, err);
    // The folder is held, so it exists: "no such file" means it makes no new files (as /proc).
    if (err == ENOENT) err = folder_makes_no_files;
    if (err == 0) err = reserve(*fd, room);
    if (err != 0) {
      failed_ = located(folder);
      release();
      return err;
    }
  }
  return 0;
}

// 0 when the report's name can take the new report: no file by that name, or a report of this
// program that this process may replace. Else not_a_report for any other file (notes, a data
// file of that name), or the error number the rename would meet: EISDIR for a folder, EPERM
// for an immutable or append-only file, or for another user's file in a sticky folder that is
// not the user's either (the system's rule for removing a name there).
int ReportFiles::replaceable() const {
  struct stat old {};
  // A name the folder cannot hold (longer than the system's limit) shows now, not at the rename.
  if (::fstatat(folder_, name_.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? 0 : errno;
  }
  if (S_ISDIR(old.st_mode)) return EISDIR;
  struct statx attributes {};
  constexpr uint64_t kFixed = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
  if (::statx(folder_, name_.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &attributes) == 0 &&
      (attributes.stx_attributes & attributes.stx_attributes_mask & kFixed) != 0) {
    return EPERM;
  }
  struct stat dir {};
  const uid_t user = ::geteuid();
  if (::fstat(folder_, &dir) == 0 && (dir.st_mode & S_ISVTX) != 0 && old.st_uid != user &&
      dir.st_uid != user && !may_replace_any_file()) {
    return EPERM;
  }
  return holds_report() ? 0 : not_a_report;
}

// Whether the file of the report's name (links followed) is a regular file that begins as a
// report of this program does.
bool ReportFiles::holds_report() const {
  struct stat st {};
  // Only a regular file is opened: opening a device can act on it.
  if (::fstatat(folder_, name_.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode)) return false;
  const int fd = ::openat(folder_, name_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  std::array<char, 64> head{};
  const ssize_t n =
      ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ::read(fd, head.data(), head.size()) : -1;
  ::close(fd);
  return n > 0 && begins_report(std::string_view(head.data(), static_cast<size_t>(n)));
}

// Whether the report's name, links followed, leads to the file `path` names.
bool ReportFiles::is_file(const std::filesystem::path& path) const {
  struct stat report = {};
  struct stat file = {};
  return ::fstatat(folder_, name_.c_str(), &report, 0) == 0 && ::stat(path.c_str(), &file) == 0 &&
         report.st_dev == file.st_dev && report.st_ino == file.st_ino;
}

// Where the report's folder is now: as the data file's name gives it while that name still
// leads to the held folder, else where the system finds the held folder (moved during the fit;
// with " (deleted)" when it was removed).
std::filesystem::path ReportFiles::folder_now() const {
  const std::filesystem::path given = units::resolve(given_.string()).parent_path();
  struct stat held {
  }, named{};
  if (folder_ < 0 || ::fstat(folder_, &held) != 0 ||
      (::stat(given.empty() ? "." : given.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
       named.st_ino == held.st_ino)) {
    return given;
  }
  const std::filesystem::path now = units::descriptor_path(folder_);
  return now.empty() ? given : now;
}

std::filesystem::path ReportFiles::results() const { return folder_now() / name_; }

std::filesystem::path ReportFiles::scratch() const {
  return scratch_.empty() ? std::filesystem::path() : folder_now() / scratch_;
}

std::filesystem::path ReportFiles::partial() const {
  return partial_.empty() ? std::filesystem::path() : folder_now() / partial_;
}

std::string ReportFiles::report_name() const {
  const std::filesystem::path now = folder_now();
  return now == units::resolve(given_.string()).parent_path() ? given_.string()
                                                              : (now / name_).string();
}

int ReportFiles::commit() {
  if (!still_there(folder_, partial_, partial_fd_)) {
    failed_ = partial();
    drop(folder_, partial_, partial_fd_);
    return working_file_replaced;
  }
  // A file put at the report's name during the fit is looked at as one found before it.
  int err = replaceable();
  if (err == 0 && ::renameat(folder_, partial_.c_str(), folder_, name_.c_str()) != 0) {
    err = errno != 0 ? errno : EIO;
  }
  if (err != 0) {
    failed_ = results();
    drop(folder_, partial_, partial_fd_);
    return err;
  }
  untrack(folder_, partial_);
  partial_.clear();
  ::close(partial_fd_);
  partial_fd_ = -1;
  return 0;
}

void ReportFiles::remove_scratch() { drop(folder_, scratch_, scratch_fd_); }

void ReportFiles::remove() {
  drop(folder_, scratch_, scratch_fd_);
  drop(folder_, partial_, partial_fd_);
}

// Removes what is left and lets the folder go.
void ReportFiles::release() {
  remove();
  if (folder_ >= 0) ::close(folder_);
  folder_ = -1;
}

std::string failure_text(int err) {
  switch (err) {
    case report_is_data_file:
      return "the data file itself, which a run never replaces";
    case folder_makes_no_files:
      return "no file can be made in this folder";
    case not_a_report:
      return "a file that is not a report of this program, which a run never replaces";
    case working_file_replaced:
      return "the run's working file was replaced by another file, which is left as it is";
    default:
      return std::generic_category().message(err);
  }
}

void remove_unfinished_reports() {
  ending.store(true);
  // A making on another thread takes one file creation; one that does not end within about
  // two seconds (a hung network file system) is not waited for, so that the end still comes.
  constexpr int kWaits = 2000;
  const timespec millisecond{0, 1'000'000};
  for (int k = 0; k < kWaits && making.load() > (making_here ? 1 : 0); ++k) {
    ::nanosleep(&millisecond, nullptr);
  }
  for (Unfinished& u : unfinished) {
    if (u.live.load(std::memory_order_acquire)) ::unlinkat(u.folder, u.name, 0);
  }
}

}  // namespace sharc_mod
