// Dated one-line messages, written to standard output or appended to a log file; the fit run
// keeps its run log this way in "Varqen-runlog.txt" in the start-up directory.
//
// A line holds the routine name, the state text, the message and the date, each trimmed of
// trailing blanks:
//   " <routine> : <message> : Date <date>"            state 1, to a log file
//   " <routine>(<STATE>) : <message> : Date <date>"   every other case
// The date is the local time in 24 characters, "Www Mmm dd hh:mm:ss yyyy" (day of the month
// right-aligned in two columns). The clock is injectable for tests.
//
// Nothing is remembered between calls: each line opens, appends to and closes the log file.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace error_handler {

inline constexpr std::string_view runlog_file_name = "Varqen-runlog.txt";

// State texts, 11 characters each, blank-padded; states outside 0..4 print as UNDEFINED.
inline constexpr std::array<std::string_view, 5> state_descriptor = {
    "SUCCESS    ", "INFORMATION", "WARNING    ", "FAILURE    ", "UNDEFINED  "};

// Local time as broken-down calendar time.
using Clock = std::function<std::tm()>;
// Installs the clock of the dated lines; an empty function restores the system's local time.
void set_clock(Clock clock);

// The 24-character date text of a calendar time.
std::string date_text(const std::tm& t);

// Connects the first free unit from 10 upward to the trimmed file name for appending (created
// when missing). Returns 0 and the unit, or 3 (unit unchanged) when no unit is free or the file
// does not open.
int32_t open_message_log(std::string_view log_file, int32_t& unit);

// Writes one dated line: appended to log_file when it is given and opens, else to standard
// output (after a FAILURE line saying the log could not be opened, or, when the line could not
// be written to it, as on a full disk, could not be written; the line names the log's path and
// the system's reason).
void display_message(std::string_view routine,
                     std::string_view message,
                     int32_t state,
                     std::optional<std::string_view> log_file = std::nullopt);

// Inquiries about units and files that the program does not make. Unit numbers exist from 1 to
// units::max_unit; 5 and 6 stand for the standard streams and are never connected to a file.

// True when a file of that name (trimmed; relative to the start-up directory) is connected.
bool file_open_by_name(std::string_view file_name);
// True when the unit is connected to a file.
bool file_open_by_unit(int32_t unit);
// True when a file (not a folder) of that name exists.
bool file_name_exists(std::string_view file_name);
// True when the unit number is a valid one (1..units::max_unit).
bool file_unit_exists(int32_t unit);
// The first unit from 10 upward that exists and is not connected; -1 when a number that does
// not exist is reached first (every unit from 10 to units::max_unit connected).
int32_t get_lun();

}  // namespace error_handler
