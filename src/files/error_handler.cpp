#include "files/error_handler.hpp"

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "files/units.hpp"
#include "numerics/stringlib.hpp"

namespace error_handler {
namespace {

Clock& clock_source() {
  static Clock clock;
  return clock;
}

std::tm local_now() {
  if (clock_source()) return clock_source()();
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return t;
}

std::string_view state_text(int32_t state) {
  const size_t i = state >= 0 && state <= 4 ? static_cast<size_t>(state) : 4;
  return state_descriptor[i].substr(0, stringlib::s_len_trim(state_descriptor[i]));
}

// One dated line: " <routine>(<STATE>) : <message> : Date <date>", or without "(<STATE>)".
// Built by appending: GCC 12 at -O3 misreads `"literal" + std::string&&` as an overlapping
// copy (-Wrestrict).
std::string dated_line(std::string_view routine,
                       std::string_view message,
                       int32_t state,
                       bool with_state) {
  std::string line = " ";
  line += stringlib::trim(routine);
  if (with_state) {
    line += '(';
    line += state_text(state);
    line += ')';
  }
  line += " : ";
  line += stringlib::trim(message);
  line += " : Date ";
  line += date_text(local_now());
  return line;
}

// The FAILURE line of a log file that cannot be used, naming the file where it lies and the
// system's reason (the working folder may be read-only, or gone), with every character shown.
void log_failure(std::string_view what, std::string_view log_file, std::error_code err) {
  std::filesystem::path where = units::resolve(stringlib::trim(log_file));
  if (where.is_relative()) {
    // The working folder: the system still says where it was when it is gone ("... (deleted)").
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::read_symlink("/proc/self/cwd", ec);
    if (!ec) where = cwd / where;
  }
  std::string message = std::string(what) + " " + stringlib::visible(where.string());
  if (err) message += ": " + err.message();
  display_message("Display_Message", message, 3);
}

}  // namespace

void set_clock(Clock clock) { clock_source() = std::move(clock); }

std::string date_text(const std::tm& t) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {
      "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  // Out-of-range fields of a broken clock must not index past the name tables.
  const int wday = t.tm_wday >= 0 && t.tm_wday < 7 ? t.tm_wday : 0;
  const int mon = t.tm_mon >= 0 && t.tm_mon < 12 ? t.tm_mon : 0;
  char buf[64];
  std::snprintf(buf,
                sizeof buf,
                "%s %s %2d %02d:%02d:%02d %04d",
                kDays[wday],
                kMonths[mon],
                t.tm_mday,
                t.tm_hour,
                t.tm_min,
                t.tm_sec,
                t.tm_year + 1900);
  return buf;
}

int32_t open_message_log(std::string_view log_file, int32_t& unit) {
  int32_t u = 0;
  constexpr int32_t kFirstLogUnit = 10;
  if (units::open_free(u, stringlib::trim(log_file), units::Mode::Append, kFirstLogUnit) != 0) {
    return 3;
  }
  unit = u;
  return 0;
}

void display_message(std::string_view routine,
                     std::string_view message,
                     int32_t state,
                     std::optional<std::string_view> log_file) {
  if (log_file) {
    int32_t unit = 0;
    if (open_message_log(*log_file, unit) == 0) {
      // The log leaves out the state INFORMATION; standard output always shows it.
      const bool written =
          units::write_line(unit, dated_line(routine, message, state, state != 1)) &&
          units::flush(unit);
      units::close(unit);
      if (written) return;
      // A full disk takes the open but not the line: the line is not lost without a word.
      log_failure("Error writing message log file", *log_file, units::last_error());
    } else {
      log_failure("Error opening message log file", *log_file, units::last_error());
    }
  }
  units::console() << dated_line(routine, message, state, true) << '\n';
}

bool file_open_by_name(std::string_view file_name) {
  return units::unit_of(stringlib::trim(file_name)) != 0;
}

bool file_open_by_unit(int32_t unit) { return units::is_connected(unit); }

bool file_name_exists(std::string_view file_name) {
  const std::string name = stringlib::trim(file_name);
  if (name.empty()) return false;
  std::error_code ec;
  const std::filesystem::path p = units::resolve(name);
  return std::filesystem::exists(p, ec) && !std::filesystem::is_directory(p, ec);
}

bool file_unit_exists(int32_t unit) { return unit >= 1 && unit <= units::max_unit; }

int32_t get_lun() {
  for (int32_t u = 10;; ++u) {
    if (!file_unit_exists(u)) return -1;
    if (!file_open_by_unit(u)) return u;
  }
}

}  // namespace error_handler
