#include "model/units.hpp"

#include <array>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>

namespace units {
namespace {

struct Unit {
  std::fstream stream;
  Mode mode = Mode::Read;
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

// Opens the file on unit u of the locked table; 0 or 2.
int32_t open_locked(Table& t, int32_t u, std::string_view path, Mode mode) {
  const std::filesystem::path p = resolve_locked(t, path);
  std::error_code ec;
  // A folder opens as a stream on some systems and then fails every read.
  if (path.empty() || std::filesystem::is_directory(p, ec)) return 2;
  auto unit = std::make_unique<Unit>();
  unit->mode = mode;
  unit->stream.open(p, open_mode(mode));
  if (!unit->stream.is_open()) return 2;
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
  if (u == 0) return 3;
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

ReadStatus read_line(int32_t unit, std::string& line) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  if (unit < 1 || unit > max_unit || !t.units[unit] || t.units[unit]->mode != Mode::Read) {
    return ReadStatus::Error;
  }
  std::fstream& in = t.units[unit]->stream;
  if (!std::getline(in, line)) return in.bad() ? ReadStatus::Error : ReadStatus::End;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return ReadStatus::Ok;
}

bool write_line(int32_t unit, std::string_view text) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  if (unit < 1 || unit > max_unit || !t.units[unit] || t.units[unit]->mode == Mode::Read) {
    return false;
  }
  std::fstream& out = t.units[unit]->stream;
  out << text << '\n';
  return static_cast<bool>(out);
}

bool flush(int32_t unit) {
  Table& t = table();
  std::lock_guard<std::mutex> hold(t.lock);
  if (unit < 1 || unit > max_unit || !t.units[unit] || t.units[unit]->mode == Mode::Read) {
    return false;
  }
  std::fstream& out = t.units[unit]->stream;
  out.flush();
  return static_cast<bool>(out);
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
