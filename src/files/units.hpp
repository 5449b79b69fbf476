// File units: every file is opened on a numbered unit chosen right before the open and released
// by closing it. A process-wide table maps unit numbers 1..99 to open files and is guarded by a
// mutex, so a number in use is never handed out again before its file is closed, even when two
// threads open files at once.
//
// Unit numbers: 5 and 6 stand for standard input and output and are never opened here; 5, 6 and
// 9 are never handed out; 0 means "no unit free". Relative file names are taken in the start-up
// directory, which tests replace with a temporary one.
//
// A failed open, write or flush leaves the reason for the calling thread in last_error() (the
// system's error number, or a reason of file_safety's), so that messages can say why a file
// could not be used.
//
// Opening never blocks: a FIFO without a writer, or a device, would hold the program forever
// in the open. Files are opened without waiting and the opened file itself is looked at; for
// reading only a regular file is taken (a FIFO, device or socket is no file of data).
//
// A log (Append) is a regular file of that name itself and of no other name: no symbolic link
// is followed, and a FIFO, device or a file with other names (a hard link) is refused, so that
// nothing is written into a file that someone put in the log's place. A relative log name lies
// in the start directory where it is now, moved or not. Each line goes to the file as
// log_append::append_line adds it: in one write, whole or not at all, under the file's lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>

#include "files/file_safety.hpp"

namespace units {

inline constexpr int32_t max_unit = 99;
// Longest line read_line takes (1 MiB): a file without line ends (a device, a binary file)
// must not make a reader's memory grow without bound.
inline constexpr size_t max_line_length = size_t{1} << 20;

enum class Mode {
  Read,       // an existing file, read from its first line
  Write,      // created or replaced, written from the start
  Overwrite,  // an existing file, emptied and written from the start; never created
  Append,     // a log: created when missing, each line added at its end whole or not at all
};

enum class ReadStatus {
  Ok,
  End,
  Error,
  TooLong,  // the line holds more than max_line_length characters; the unit is left mid-line
};

// The first unit from 1 to 99, skipping 5, 6 and 9, that is not connected; 0 when none is free.
// The number is not reserved: open it at once (or use open_free).
void get_unit(int32_t& unit);

// Connects unit to the file. Returns 0 on success; 1 when the unit is outside 1..99, is 5 or 6,
// or is already connected; 2 when the file cannot be opened (missing for Read, a folder, not a
// regular file for Read, no permission). The unit stays unconnected on failure.
int32_t open(int32_t unit, std::string_view path, Mode mode);

// Takes the first free unit from `first` upward (skipping 5, 6 and 9) and opens the file on it,
// as one step. Returns 0 and the unit, or 3 and unit 0 when no unit is free, or 2 and unit 0
// when the file cannot be opened.
int32_t open_free(int32_t& unit, std::string_view path, Mode mode, int32_t first = 1);
// open_free for a file the caller holds open as the descriptor `fd` (a copy of it is taken,
// so the caller keeps its own), read or written from its first byte and never emptied by the
// open (Write and Overwrite write over it; the caller cuts it to length). The file is never
// looked up by name, so nothing put in its place meanwhile is read or written. A folder, and
// for reading anything but a regular file, is refused as open refuses it.
int32_t open_free_fd(int32_t& unit, int fd, Mode mode);

// Disconnects the unit (flushing what was written); an unconnected unit is left alone.
void close(int32_t unit);
bool is_connected(int32_t unit);
// The unit connected to the file of that name (compared after resolving relative names and
// links), or 0 when none is.
int32_t unit_of(std::string_view path);

// Reads the next line of a unit opened for Read, without its line end: a LF, a CR LF pair or a
// CR alone ends a line. End at the end of the file, Error when the unit is not open for reading
// or the read fails, TooLong (and the first max_line_length characters in line) for a longer
// line.
ReadStatus read_line(int32_t unit, std::string& line);
// Writes text and a line end; false when the unit is not open for writing or the write fails.
bool write_line(int32_t unit, std::string_view text);
// Hands what was written so far to the file; false when the unit is not open for writing or
// the file refused it (a full disk shows here, not at close). A log's lines are in the file
// as soon as write_line returns.
bool flush(int32_t unit);

// Why the calling thread's last open, write or flush failed: the system's error number, or
// file_safety's NotRegularFile (a file refused for reading), SymbolicLink or OtherNames (a log
// refused), Locked (a log whose lock another program held on), ChangedWhileRead (a Snapshot).
std::error_code last_error();

// Creates a new empty file named prefix + 6 random letters and digits + suffix in the folder
// held open as the descriptor `dir` (as openat takes it), never taking an existing name
// (exclusive creation), with the permissions of an ordinary new file. Returns its name and in
// `fd` the descriptor that made it, open for reading and writing, or an empty name and no
// descriptor with last_error() set. Two runs at once get two files.
std::string create_unique(int dir,
                          std::string_view prefix,
                          std::string_view suffix,
                          file_safety::Descriptor& fd);

// The path of the file or folder behind a descriptor, where it is now (moved since it was
// opened, or with " (deleted)" when it was removed); empty when the system does not say.
std::filesystem::path descriptor_path(int fd);

// Folder in which relative file names are opened; empty (the default) is the process's working
// directory at the time of the open.
void set_start_directory(std::filesystem::path dir);
std::filesystem::path resolve(std::string_view path);

// Standard output of the program (unit 6): std::cout unless a test installs its own stream.
std::ostream& console();
void set_console(std::ostream* out);

// A file opened on a free unit for the length of a scope, closed when the scope ends.
class ScopedUnit {
 public:
  ScopedUnit(std::string_view path, Mode mode) { status_ = open_free(unit_, path, mode); }
  ScopedUnit(int fd, Mode mode) { status_ = open_free_fd(unit_, fd, mode); }
  ~ScopedUnit() { close(unit_); }
  ScopedUnit(const ScopedUnit&) = delete;
  ScopedUnit& operator=(const ScopedUnit&) = delete;

  bool ok() const { return status_ == 0; }
  int32_t status() const { return status_; }  // as open_free
  int32_t unit() const { return unit_; }
  ReadStatus read_line(std::string& line) const { return units::read_line(unit_, line); }

 private:
  int32_t unit_ = 0;
  int32_t status_ = 0;
};

// Largest file a Snapshot takes into memory (64 MiB): a data file of as many rows as a fit takes
// is far smaller.
inline constexpr size_t max_snapshot_bytes = size_t{64} << 20;

// A file read once, whole, and held for the life of the object: meanwhile every open of that
// name for reading (relative names in the start directory) reads these bytes instead of the
// file, whatever has become of the file since. Readers that open one file a number of times,
// and wait for the user in between, thus all read one content of it, never a mix of two.
class Snapshot {
 public:
  // Reads the file `path` as open(Read) opens it. The content held is one content of the
  // file: its size, times and identity are the same after the read as before it, or it is read
  // again. status(): 0; 2 when the file cannot be opened (as open; last_error() says why); 4
  // when it cannot be read whole (last_error(): the system's error number, EFBIG for more than
  // max_snapshot_bytes, or ChangedWhileRead). Nothing is held on failure.
  explicit Snapshot(std::string_view path);
  ~Snapshot();
  Snapshot(const Snapshot&) = delete;
  Snapshot& operator=(const Snapshot&) = delete;

  int32_t status() const { return status_; }

 private:
  std::filesystem::path name_;
  std::shared_ptr<const std::string> bytes_;
  int32_t status_ = 0;
};

// Closes every unit, lets every snapshot go and restores the start directory and the console
// (for tests).
void reset();

}  // namespace units
