#include "model/units.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <random>

namespace units {
namespace {

struct Unit {
  std::fstream stream;
  Mode mode = Mode::Read;
  std::filesystem::path file;  // the file's full name, for unit_of
};

struct Table {
  std::mutex lock;
  std::array<std::unique_ptr<Unit>, max_unit + 1> units;  // index = unit number; 0 unused
  std::filesystem::path start_dir;
  std::ostream* console = nullptr;
};

Table& table() {
  static Table t;
  return t;
}

thread_local int tls_last_error = 0;

// Keeps the error number of a failure that just happened (errno is read at once).
void note_failure(int fallback = 0) { tls_last_error = errno != 0 ? errno : fallback; }

bool never_handed_out(int32_t u) { return u == 5 || u == 6 || u == 9; }

int32_t first_free(const Table& t, int32_t first) {
  for (int32_t u = std::max(first, 1); u <= max_unit; ++u) {
    if (!never_handed_out(u) && !t.units[u]) return u;
  }
  return 0;
}

std::ios::openmode open_mode(Mode mode) {
  switch (mode) {
    case Mode::Read:
      return std::ios::in | std::ios::binary;
    case Mode::Write:
      return std::ios::out | std::ios::trunc | std::ios::binary;
    case Mode::Append:
      return std::ios::out | std::ios::app | std::ios::binary;
  }
  return std::ios::in;
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

// Opens the file on unit u of the locked table; 0 or 2.
int32_t open_locked(Table& t, int32_t u, std::string_view path, Mode mode) {
  const std::filesystem::path p = resolve_locked(t, path);
  std::error_code ec;
  // A folder opens as a stream on some systems and then fails every read.
  if (path.empty() || std::filesystem::is_directory(p, ec)) {
    tls_last_error = path.empty() ? ENOENT : EISDIR;
    return 2;
  }
  auto unit = std::make_unique<Unit>();
  unit->mode = mode;
  errno = 0;
  unit->stream.open(p, open_mode(mode));
  if (!unit->stream.is_open()) {
    note_failure();
    return 2;
  }
  unit->file = full_name(p);
  t.units[u] = std::move(unit);
  return 0;
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
  return open_locked(t, unit, path, mode);
}

int32_t open_free(int32_t& unit, std::string_view path, Mode mode, int32_t first) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  unit = 0;
  const int32_t u = first_free(t, first);
  if (u == 0) {
    tls_last_error = EMFILE;  // every unit is in use
    return 3;
  }
  const int32_t status = open_locked(t, u, path, mode);
  if (status == 0) unit = u;
  return status;
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
  std::fstream& in = t.units[unit]->stream;
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
  std::lock_guard<std::mutex> hold(t.lock);
  if (unit < 1 || unit > max_unit || !t.units[unit] || t.units[unit]->mode == Mode::Read) {
    return false;
  }
  std::fstream& out = t.units[unit]->stream;
  errno = 0;
  out << text << '\n';
  if (!out) note_failure(EIO);
  return static_cast<bool>(out);
}

bool flush(int32_t unit) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  if (unit < 1 || unit > max_unit || !t.units[unit] || t.units[unit]->mode == Mode::Read) {
    return false;
  }
  std::fstream& out = t.units[unit]->stream;
  errno = 0;
  out.flush();
  if (!out) note_failure(EIO);
  return static_cast<bool>(out);
}

int last_error() { return tls_last_error; }

std::filesystem::path create_unique(const std::filesystem::path& dir,
                                    std::string_view prefix,
                                    std::string_view suffix) {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  // Its own generator: the program's random streams must not move when a file is named.
  thread_local std::mt19937_64 pick{std::random_device{}() ^
                                    (static_cast<uint64_t>(getpid()) << 32)};
  const std::filesystem::path folder = resolve(dir.string());
  constexpr int kTries = 100;  // a clash needs 62^6 names to meet; 100 is never reached
  for (int k = 0; k < kTries; ++k) {
    std::string name(prefix);
    for (int i = 0; i < 6; ++i) name += kLetters[pick() % (sizeof kLetters - 1)];
    name += suffix;
    const std::filesystem::path p = folder / name;
    // 0666 less the umask: what any other new file of the program gets.
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return p;
    }
    if (errno != EEXIST) {
      note_failure(EIO);
      return {};
    }
  }
  tls_last_error = EEXIST;
  return {};
}

void set_start_directory(std::filesystem::path dir) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
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
  t.start_dir.clear();
  t.console = nullptr;
}

}  // namespace units
