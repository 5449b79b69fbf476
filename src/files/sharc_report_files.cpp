#include "files/sharc_report_files.hpp"

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
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>
#include <tuple>

#include "files/units.hpp"

namespace sharc_report_files {
namespace {

using file_safety::Descriptor;
using file_safety::Named;
using file_safety::Reason;

constexpr std::string_view kScratchPrefix = "tempor-";
constexpr std::string_view kScratchSuffix = ".txt";
constexpr std::string_view kPartialPrefix = ".varqen-";
constexpr std::string_view kPartialSuffix = ".part";

// Room reserved for each file of a report before the fit: the sections above the listing (at
// most 8 parameters, under 4 KiB) and a listing row of at most 3 x values, y, Ycalc, the
// residual (14 columns each) and a row mark.
constexpr uintmax_t kReportHead = 8192;
constexpr uintmax_t kReportRow = 100;

// Takes `bytes` of the disk for the open file fd: a disk already full, a quota or a file size
// limit shows now, not after the fit, and the room stays the file's until it is cut to the
// report's length. None or the error; a file system that cannot reserve room is taken at its
// word (the report's own writes still check every line).
std::error_code reserve(int fd, uintmax_t bytes) {
  const int err = ::posix_fallocate(fd, 0, static_cast<off_t>(bytes));
  return err == 0 || err == EOPNOTSUPP || err == EINVAL ? std::error_code()
                                                        : file_safety::system_error(err);
}

// What `name` in the folder leads to, against the file open as fd.
Named named(int folder, const std::string& name, int fd) {
  const std::optional<file_safety::Identity> made = file_safety::identity_of(fd);
  return made ? file_safety::named(folder, name.c_str(), *made) : Named::Other;
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
// signal handler: fixed slots of the held folder, a plain name and the file's identity,
// lock-free flags, no allocation and no lock. A slot is claimed, filled, then marked live; a
// file that finds no slot free is still removed by its ReportFiles, only not on an abrupt end.
struct Unfinished {
  std::atomic<bool> claimed{false};
  std::atomic<bool> live{false};
  int folder = -1;
  char name[64] = {};
  file_safety::Identity file;  // the file made, so that nothing put at its name is removed
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

void track(int folder, const std::string& name, const Descriptor& fd) {
  const std::optional<file_safety::Identity> file = file_safety::identity_of(fd.get());
  if (name.size() >= sizeof(Unfinished::name) || !file) return;
  for (Unfinished& u : unfinished) {
    if (u.claimed.exchange(true)) continue;
    u.folder = folder;
    std::memcpy(u.name, name.c_str(), name.size() + 1);
    u.file = *file;
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
std::string make_tracked(int folder,
                         std::string_view prefix,
                         std::string_view suffix,
                         Descriptor& fd,
                         std::error_code& err) {
  sigset_t all{}, before{};
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  making.fetch_add(1);
  making_here = true;
  std::string name;
  if (ending.load()) {
    err = file_safety::system_error(ECANCELED);
  } else {
    name = units::create_unique(folder, prefix, suffix, fd);
    err = name.empty() ? units::last_error() : std::error_code();
    if (!err) track(folder, name, fd);
  }
  making_here = false;
  making.fetch_sub(1);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return name;
}

// Removes the working file `name` of the folder, open as fd (when there is one), and forgets
// it; removed first, so that an abrupt end in between finds it still registered. Whatever was
// put in its place is not the run's and stays.
void drop(int folder, std::string& name, Descriptor& fd) {
  if (!name.empty()) {
    if (named(folder, name, fd.get()) == Named::File) ::unlinkat(folder, name.c_str(), 0);
    untrack(folder, name);
    name.clear();
  }
  fd.reset();
}

}  // namespace

std::string results_file_name(std::string_view data_file) {
  // Only the file's own name counts: a ".DAT" in a folder's name, inside the name ("x.dat.old")
  // or before blanks ("x.dat ") would give two data files one report, or put it elsewhere.
  const std::string_view name = data_file.substr(data_file.find_last_of('/') + 1);
  constexpr std::string_view kDat = ".DAT";
  const bool ends_in_dat =
      name.size() >= kDat.size() &&
      std::equal(kDat.begin(), kDat.end(), name.end() - kDat.size(), [](char d, char c) {
        return d == std::toupper(static_cast<unsigned char>(c));
      });
  return std::string(data_file.substr(0, data_file.size() - (ends_in_dat ? kDat.size() : 0))) +
         ".TXT";
}

bool begins_report(std::string_view text) {
  return text.starts_with(report_date_line) || text.starts_with(report_error_line);
}

std::error_code ReportFiles::create(std::string_view input_file_name, int32_t rows) {
  release();
  failed_.clear();
  given_ = results_file_name(input_file_name);
  const std::filesystem::path results = units::resolve(given_.string());
  const std::filesystem::path folder = results.parent_path();
  name_ = results.filename().string();
  folder_.reset(::open(folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!folder_.valid()) {
    const std::error_code err = file_safety::system_error(errno);
    failed_ = located(folder);
    return err;
  }
  // An old report that the last step, the rename, could not replace is found now, and so is a
  // report name that leads to the data file itself (a link to it, or the file it links to).
  std::error_code err = is_file(units::resolve(input_file_name)) ? Reason::DataFile : replaceable();
  if (err) {
    failed_ = located(folder) / name_;  // the name itself, not what a link there leads to
    release();
    return err;
  }
  const uintmax_t room = kReportHead + kReportRow * uintmax_t(std::max(rows, 0));
  for (auto [file, fd, prefix, suffix] :
       {std::tuple{&scratch_, &scratch_fd_, kScratchPrefix, kScratchSuffix},
        std::tuple{&partial_, &partial_fd_, kPartialPrefix, kPartialSuffix}}) {
    *file = make_tracked(folder_.get(), prefix, suffix, *fd, err);
    // The folder is held, so it exists: "no such file" means it makes no new files (as /proc).
    if (err == std::errc::no_such_file_or_directory) err = Reason::FolderMakesNoFiles;
    if (!err) err = reserve(fd->get(), room);
    if (err) {
      failed_ = located(folder);
      release();
      return err;
    }
  }
  return {};
}

// None when the report's name can take the new report: no file by that name, or a report of
// this program that this process may replace. Else NotAReport for any other file (notes, a
// data file of that name), or the error number the rename would meet: EISDIR for a folder,
// EPERM for an immutable or append-only file, or for another user's file in a sticky folder
// that is not the user's either (the system's rule for removing a name there).
std::error_code ReportFiles::replaceable() const {
  struct stat old {};
  // A name the folder cannot hold (longer than the system's limit) shows now, not at the rename.
  if (::fstatat(folder_.get(), name_.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? std::error_code() : file_safety::system_error(errno);
  }
  if (S_ISDIR(old.st_mode)) return file_safety::system_error(EISDIR);
  struct statx attributes {};
  constexpr uint64_t kFixed = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
  if (::statx(folder_.get(), name_.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &attributes) ==
          0 &&
      (attributes.stx_attributes & attributes.stx_attributes_mask & kFixed) != 0) {
    return file_safety::system_error(EPERM);
  }
  struct stat dir {};
  const uid_t user = ::geteuid();
  if (::fstat(folder_.get(), &dir) == 0 && (dir.st_mode & S_ISVTX) != 0 && old.st_uid != user &&
      dir.st_uid != user && !may_replace_any_file()) {
    return file_safety::system_error(EPERM);
  }
  return holds_report() ? std::error_code() : Reason::NotAReport;
}

// Whether the file of the report's name (links followed) is a regular file that begins as a
// report of this program does.
bool ReportFiles::holds_report() const {
  struct stat st {};
  // Only a regular file is opened: opening a device can act on it.
  if (::fstatat(folder_.get(), name_.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode)) return false;
  const Descriptor fd(::openat(folder_.get(), name_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return false;
  std::array<char, 64> head{};
  const ssize_t n = ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode)
                        ? ::read(fd.get(), head.data(), head.size())
                        : -1;
  return n > 0 && begins_report(std::string_view(head.data(), static_cast<size_t>(n)));
}

// Whether the report's name, links followed, leads to the file `path` names.
bool ReportFiles::is_file(const std::filesystem::path& path) const {
  const auto report = file_safety::identity_at(folder_.get(), name_.c_str(), true);
  return report && report == file_safety::identity_at(AT_FDCWD, path.c_str(), true);
}

// Where the report's folder is now: as the data file's name gives it while that name still
// leads to the held folder, else where the system finds the held folder (moved during the fit;
// with " (deleted)" when it was removed).
std::filesystem::path ReportFiles::folder_now() const {
  const std::filesystem::path given = units::resolve(given_.string()).parent_path();
  const auto held = file_safety::identity_of(folder_.get());
  if (!held ||
      held == file_safety::identity_at(AT_FDCWD, given.empty() ? "." : given.c_str(), true)) {
    return given;
  }
  const std::filesystem::path now = units::descriptor_path(folder_.get());
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

std::error_code ReportFiles::commit() {
  if (const Named now = named(folder(), partial_, partial_fd()); now != Named::File) {
    failed_ = partial();
    drop(folder(), partial_, partial_fd_);
    return now == Named::Nothing ? Reason::WorkingFileRemoved : Reason::WorkingFileReplaced;
  }
  // A file put at the report's name during the fit is looked at as one found before it.
  std::error_code err = replaceable();
  if (!err && ::renameat(folder(), partial_.c_str(), folder(), name_.c_str()) != 0) {
    // The folder is held, so "no such file" is the results file removed since the look above.
    err = errno == ENOENT ? Reason::WorkingFileRemoved : file_safety::system_error(errno);
  }
  if (err) {
    failed_ = err == Reason::WorkingFileRemoved ? partial() : results();
    drop(folder(), partial_, partial_fd_);
    return err;
  }
  // Where others may rename files, the results file can be swapped for another between the
  // look above and the rename, which then puts that other file at the report's name: the name
  // must lead to the file written now.
  const Named put = named(folder(), name_, partial_fd());
  untrack(folder(), partial_);
  partial_.clear();
  partial_fd_.reset();
  if (put == Named::File) return {};
  failed_ = results();
  return put == Named::Nothing ? Reason::WorkingFileRemoved : Reason::ReportNameTaken;
}

void ReportFiles::remove_scratch() { drop(folder(), scratch_, scratch_fd_); }

void ReportFiles::remove() {
  drop(folder(), scratch_, scratch_fd_);
  drop(folder(), partial_, partial_fd_);
}

// Removes what is left and lets the folder go.
void ReportFiles::release() {
  remove();
  folder_.reset();
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
    if (u.live.load(std::memory_order_acquire) &&
        file_safety::named(u.folder, u.name, u.file) == Named::File) {
      ::unlinkat(u.folder, u.name, 0);
    }
  }
}

}  // namespace sharc_report_files
