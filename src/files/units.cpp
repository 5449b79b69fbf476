#include "files/units.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <ext/stdio_filebuf.h>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <system_error>

#include "files/log_append.hpp"

namespace units {
namespace {

using file_safety::Descriptor;
using file_safety::Reason;

std::ios::openmode open_mode(Mode mode) {
  switch (mode) {
    case Mode::Read:
      return std::ios::in | std::ios::binary;
    case Mode::Write:
    case Mode::Overwrite:
      return std::ios::out | std::ios::trunc | std::ios::binary;
    case Mode::Append:
      return std::ios::out | std::ios::app | std::ios::binary;
  }
  return std::ios::in;
}

// The bytes of a snapshot read as a file opened for reading; the buffer shares them.
class SnapshotBuffer : public std::streambuf {
 public:
  explicit SnapshotBuffer(std::shared_ptr<const std::string> bytes) : bytes_(std::move(bytes)) {
    char* first = const_cast<char*>(bytes_->data());  // the get area only: never written
    setg(first, first, first + bytes_->size());
  }

 private:
  std::shared_ptr<const std::string> bytes_;
};

// A file opened by its descriptor (opened without blocking and looked at first), read and
// written through a stream buffer that owns and closes the descriptor; or a snapshot's bytes.
struct Unit {
  Unit(std::unique_ptr<std::streambuf> buffer, Mode mode, int fd)
      : buffer(std::move(buffer)), stream(this->buffer.get()), mode(mode), fd(fd) {}
  std::unique_ptr<std::streambuf> buffer;
  std::iostream stream;
  Mode mode = Mode::Read;
  int fd = -1;                 // the file's descriptor (owned by the buffer); -1 for a snapshot
  std::filesystem::path file;  // the file's full name, for unit_of
};

struct Table {
  std::mutex lock;
  std::array<std::unique_ptr<Unit>, max_unit + 1> units;  // index = unit number; 0 unused
  std::filesystem::path start_dir;
  Descriptor start_folder;  // start_dir held open (O_PATH), where a relative log name is opened
  std::ostream* console = nullptr;
  // The bytes of every live Snapshot, by the file's name (resolved, lexically normal).
  std::map<std::filesystem::path, std::shared_ptr<const std::string>> snapshots;
};

Table& table() {
  static Table t;
  return t;
}

thread_local std::error_code tls_last_error;

// Keeps the error number of a failure that just happened (errno is read at once).
void note_failure() { tls_last_error = file_safety::system_error(errno); }

bool never_handed_out(int32_t u) { return u == 5 || u == 6 || u == 9; }

int32_t first_free(const Table& t, int32_t first) {
  for (int32_t u = std::max(first, 1); u <= max_unit; ++u) {
    if (!never_handed_out(u) && !t.units[u]) return u;
  }
  return 0;
}

std::filesystem::path resolve_locked(const Table& t, std::string_view path) {
  const std::filesystem::path p(path);
  return t.start_dir.empty() || p.is_absolute() ? p : t.start_dir / p;
}

// One spelling per file: absolute, links resolved as far as the file exists.
std::filesystem::path full_name(const std::filesystem::path& p) {
  std::error_code ec;
  std::filesystem::path full = std::filesystem::weakly_canonical(p, ec);
  return ec ? std::filesystem::absolute(p, ec) : full;
}

int open_flags(Mode mode) {
  switch (mode) {
    case Mode::Read:
      return O_RDONLY;
    case Mode::Write:
      return O_WRONLY | O_CREAT | O_TRUNC;
    case Mode::Overwrite:
      return O_WRONLY | O_TRUNC;
    case Mode::Append:
      return O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW;
  }
  return O_RDONLY;
}

// Why the opened file fd cannot serve for `mode`: a folder (it opens for reading and then
// fails every read), and for reading anything but a regular file; none when it can.
std::error_code refusal(int fd, Mode mode) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return file_safety::system_error(errno);
  if (S_ISDIR(st.st_mode)) return file_safety::system_error(EISDIR);
  if ((mode == Mode::Read || mode == Mode::Append) && !S_ISREG(st.st_mode)) {
    return Reason::NotRegularFile;
  }
  if (mode == Mode::Append && st.st_nlink != 1) return Reason::OtherNames;
  return {};
}

// Why a log could not be opened: a link of that name or something else than a regular file
// there is named as such (O_NOFOLLOW says ELOOP; a FIFO without a reader ENXIO).
std::error_code log_refusal(int dir, const std::filesystem::path& path, std::error_code err) {
  struct stat st {};
  if (::fstatat(dir, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return err;
  if (S_ISLNK(st.st_mode)) return Reason::SymbolicLink;
  return S_ISREG(st.st_mode) || S_ISDIR(st.st_mode) ? err : Reason::NotRegularFile;
}

// The descriptor of the file `path` in `dir` (AT_FDCWD: as the path says), opened without
// blocking (a FIFO without a writer, a device) and checked on the file opened, so that nothing
// can take its place between a look and the open. None with tls_last_error set on failure.
Descriptor open_descriptor(int dir, const std::filesystem::path& path, Mode mode) {
  struct stat st {};
  // Opening a device can act on it; one that is a device already is not opened at all.
  if (mode == Mode::Read && ::fstatat(dir, path.c_str(), &st, 0) == 0 && !S_ISREG(st.st_mode) &&
      !S_ISDIR(st.st_mode)) {
    tls_last_error = Reason::NotRegularFile;
    return {};
  }
  errno = 0;
  Descriptor fd(::openat(dir, path.c_str(), open_flags(mode) | O_NONBLOCK | O_CLOEXEC, 0666));
  if (!fd.valid()) {
    note_failure();
    if (mode == Mode::Append) tls_last_error = log_refusal(dir, path, tls_last_error);
    return {};
  }
  if (const std::error_code refused = refusal(fd.get(), mode)) {
    tls_last_error = refused;
    return {};
  }
  // Reads and writes wait as usual.
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  return fd;
}

// Connects unit u of the locked table to the open file fd, which the unit then owns; 0 or 2.
int32_t attach_locked(Table& t, int32_t u, Descriptor fd, Mode mode, std::filesystem::path file) {
  auto buffer = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(fd.get(), open_mode(mode));
  if (!buffer->is_open()) {  // the stream could not take the descriptor: no memory
    tls_last_error = file_safety::system_error(ENOMEM);
    return 2;
  }
  const int owned = fd.release();  // closed by the buffer from now on
  t.units[u] = std::make_unique<Unit>(std::move(buffer), mode, owned);
  t.units[u]->file = std::move(file);
  return 0;
}

// Opens `path` (relative names in the start directory) on unit u of the locked table; for
// reading, a snapshot of that name stands for the file. 0 or 2.
int32_t open_named_locked(Table& t, int32_t u, std::string_view path, Mode mode) {
  if (path.empty()) {
    tls_last_error = file_safety::system_error(ENOENT);
    return 2;
  }
  const std::filesystem::path p = resolve_locked(t, path);
  if (const auto held = t.snapshots.find(p.lexically_normal());
      mode == Mode::Read && held != t.snapshots.end()) {
    t.units[u] = std::make_unique<Unit>(std::make_unique<SnapshotBuffer>(held->second), mode, -1);
    t.units[u]->file = full_name(p);
    return 0;
  }
  const bool in_start_folder =
      mode == Mode::Append && t.start_folder.valid() && std::filesystem::path(path).is_relative();
  Descriptor fd = in_start_folder
                      ? open_descriptor(t.start_folder.get(), std::filesystem::path(path), mode)
                      : open_descriptor(AT_FDCWD, p, mode);
  return fd.valid() ? attach_locked(t, u, std::move(fd), mode, full_name(p)) : 2;
}

// Takes the first free unit from `first` upward and opens the file on it with open(t, u).
template <class Open>
int32_t open_first_free(int32_t& unit, int32_t first, Open open) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  unit = 0;
  const int32_t u = first_free(t, first);
  if (u == 0) {
    tls_last_error = file_safety::system_error(EMFILE);  // every unit is in use
    return 3;
  }
  const int32_t status = open(t, u);
  if (status == 0) unit = u;
  return status;
}

// Adds text and a line end to the log of the unit held as `hold` (log_append::append_line),
// through a copy of its descriptor: the log's lock may be waited for, and not with the table
// held, which every file of the program needs.
bool append_unlocked(std::unique_lock<std::mutex>& hold, const Unit& unit, std::string_view text) {
  errno = 0;
  const Descriptor log(::fcntl(unit.fd, F_DUPFD_CLOEXEC, 0));
  hold.unlock();
  if (!log.valid()) {
    note_failure();
    return false;
  }
  if (const std::error_code err = log_append::append_line(log.get(), text)) {
    tls_last_error = err;
    return false;
  }
  return true;
}

}  // namespace

void get_unit(int32_t& unit) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  unit = first_free(t, 1);
}

int32_t open(int32_t unit, std::string_view path, Mode mode) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  if (unit < 1 || unit > max_unit || unit == 5 || unit == 6 || t.units[unit]) return 1;
  return open_named_locked(t, unit, path, mode);
}

int32_t open_free(int32_t& unit, std::string_view path, Mode mode, int32_t first) {
  return open_first_free(
      unit, first, [&](Table& t, int32_t u) { return open_named_locked(t, u, path, mode); });
}

int32_t open_free_fd(int32_t& unit, int fd, Mode mode) {
  return open_first_free(unit, 1, [&](Table& t, int32_t u) {
    errno = EBADF;
    Descriptor copy(fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (!copy.valid()) {
      note_failure();
      return 2;
    }
    std::error_code refused = refusal(copy.get(), mode);
    if (!refused && ::lseek(copy.get(), 0, SEEK_SET) != 0)
      refused = file_safety::system_error(errno);
    if (refused) {
      tls_last_error = refused;
      return 2;
    }
    std::filesystem::path file = descriptor_path(copy.get());
    return attach_locked(t, u, std::move(copy), mode, std::move(file));
  });
}

void close(int32_t unit) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  if (unit >= 1 && unit <= max_unit) t.units[unit].reset();
}

bool is_connected(int32_t unit) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  return unit >= 1 && unit <= max_unit && t.units[unit] != nullptr;
}

int32_t unit_of(std::string_view path) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  if (path.empty()) return 0;
  const std::filesystem::path wanted = full_name(resolve_locked(t, path));
  for (int32_t u = 1; u <= max_unit; ++u) {
    if (t.units[u] && t.units[u]->file == wanted) return u;
  }
  return 0;
}

ReadStatus read_line(int32_t unit, std::string& line) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  if (unit < 1 || unit > max_unit || !t.units[unit] || t.units[unit]->mode != Mode::Read) {
    return ReadStatus::Error;
  }
  std::iostream& in = t.units[unit]->stream;
  std::streambuf& buf = *in.rdbuf();
  using traits = std::char_traits<char>;
  line.clear();
  int c = buf.sbumpc();
  if (traits::eq_int_type(c, traits::eof())) return in.bad() ? ReadStatus::Error : ReadStatus::End;
  for (; !traits::eq_int_type(c, traits::eof()); c = buf.sbumpc()) {
    if (c == '\n') break;
    if (c == '\r') {  // CR LF is one line end, a CR alone another
      if (buf.sgetc() == '\n') buf.sbumpc();
      break;
    }
    if (line.size() == max_line_length) return ReadStatus::TooLong;
    line.push_back(traits::to_char_type(c));
  }
  return ReadStatus::Ok;
}

bool write_line(int32_t unit, std::string_view text) {
  Table& t = table();
  std::unique_lock<std::mutex> hold(t.lock);
  if (unit < 1 || unit > max_unit || !t.units[unit] || t.units[unit]->mode == Mode::Read) {
    return false;
  }
  if (t.units[unit]->mode == Mode::Append) return append_unlocked(hold, *t.units[unit], text);
  std::iostream& out = t.units[unit]->stream;
  errno = 0;
  out << text << '\n';
  if (!out) note_failure();
  return static_cast<bool>(out);
}

bool flush(int32_t unit) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  if (unit < 1 || unit > max_unit || !t.units[unit] || t.units[unit]->mode == Mode::Read) {
    return false;
  }
  std::iostream& out = t.units[unit]->stream;
  errno = 0;
  out.flush();
  if (!out) note_failure();
  return static_cast<bool>(out);
}

std::error_code last_error() { return tls_last_error; }

std::filesystem::path descriptor_path(int fd) {
  std::error_code ec;
  std::filesystem::path p =
      std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), ec);
  return ec ? std::filesystem::path() : p;
}

std::string create_unique(int dir,
                          std::string_view prefix,
                          std::string_view suffix,
                          Descriptor& fd) {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  // Its own generator: the program's random streams must not move when a file is named.
  thread_local std::mt19937_64 pick{std::random_device{}() ^
                                    (static_cast<uint64_t>(getpid()) << 32)};
  constexpr int kTries = 100;  // a clash needs 62^6 names to meet; 100 is never reached
  for (int k = 0; k < kTries; ++k) {
    std::string name(prefix);
    for (int i = 0; i < 6; ++i) name += kLetters[pick() % (sizeof kLetters - 1)];
    name += suffix;
    // 0666 less the umask: what any other new file of the program gets.
    fd.reset(::openat(dir, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.valid()) return name;
    if (errno != EEXIST) {
      note_failure();
      return {};
    }
  }
  tls_last_error = file_safety::system_error(EEXIST);
  return {};
}

namespace {

// Reads what is left of the file behind fd into bytes: none, or the error (EFBIG past
// max_snapshot_bytes).
std::error_code read_whole(int fd, std::string& bytes) {
  constexpr size_t kChunk = size_t{1} << 16;
  for (;;) {
    const size_t had = bytes.size();
    if (had > max_snapshot_bytes) return file_safety::system_error(EFBIG);
    bytes.resize(had + kChunk);
    const ssize_t n = ::read(fd, bytes.data() + had, kChunk);
    bytes.resize(had + static_cast<size_t>(std::max<ssize_t>(n, 0)));
    if (n == 0) return {};
    if (n < 0 && errno != EINTR) return file_safety::system_error(errno);
  }
}

// Whether two looks at a file show one content: the same file, size and times of change.
bool same_content(const struct stat& a, const struct stat& b) {
  return file_safety::identity(a) == file_safety::identity(b) && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Reads the whole file behind fd into bytes as one content: a file written to while it is
// read (rewritten in place, cut short) is read again from its start, a few times at most.
// None, or the error (ChangedWhileRead when every read met a change).
std::error_code read_one_content(int fd, std::string& bytes) {
  constexpr int kReads = 3;
  for (int k = 0; k < kReads; ++k) {
    struct stat before = {};
    struct stat after = {};
    bytes.clear();
    if (::fstat(fd, &before) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) {
      return file_safety::system_error(errno);
    }
    if (const std::error_code err = read_whole(fd, bytes)) return err;
    if (::fstat(fd, &after) != 0) return file_safety::system_error(errno);
    if (same_content(before, after)) return {};
  }
  return Reason::ChangedWhileRead;
}

}  // namespace

Snapshot::Snapshot(std::string_view path) {
  Table& t = table();
  const std::filesystem::path p = path.empty() ? std::filesystem::path() : resolve(path);
  const Descriptor fd = p.empty() ? Descriptor() : open_descriptor(AT_FDCWD, p, Mode::Read);
  if (!fd.valid()) {
    if (p.empty()) tls_last_error = file_safety::system_error(ENOENT);
    status_ = 2;
    return;
  }
  auto bytes = std::make_shared<std::string>();
  if (const std::error_code err = read_one_content(fd.get(), *bytes)) {
    tls_last_error = err;
    status_ = 4;
    return;
  }
  name_ = p.lexically_normal();
  bytes_ = std::move(bytes);
  std::lock_guard<std::mutex> hold(t.lock);
  t.snapshots[name_] = bytes_;
}

Snapshot::~Snapshot() {
  if (!bytes_) return;
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  // A later snapshot of the same name has taken its place: that one stays.
  if (const auto held = t.snapshots.find(name_);
      held != t.snapshots.end() && held->second == bytes_) {
    t.snapshots.erase(held);
  }
}

void set_start_directory(std::filesystem::path dir) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  t.start_folder.reset(dir.empty() ? -1 : ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  t.start_dir = std::move(dir);
}

std::filesystem::path resolve(std::string_view path) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  return resolve_locked(t, path);
}

std::ostream& console() {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  return t.console ? *t.console : std::cout;
}

void set_console(std::ostream* out) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  t.console = out;
}

void reset() {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  for (auto& u : t.units) u.reset();
  t.snapshots.clear();
  t.start_dir.clear();
  t.start_folder.reset();
  t.console = nullptr;
}

}  // namespace units
