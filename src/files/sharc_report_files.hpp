// The files of the results report (module sharc_report_files): the report's name, how a report
// of this program is known by its first line, and its working files: the scratch copy
// ("tempor-" and six random characters, ".txt") and the results file while it is written
// (".varqen-" and six random characters, ".part"), made in the report's folder before the fit
// and kept until the report is written.
//
// Each working file is written and read only through the descriptor that made it (exclusive
// creation), never opened again by name, so that a link or another file put in its place is
// never written or read; before it is renamed or removed its name is checked to be still the
// file made, and anything else found there is left alone; after the rename, the report's name
// is checked to lead to it.
//
// The report's folder is held open from then on and every file of the report is made, renamed
// and removed relative to it: a folder moved or renamed during the fit takes the report
// and its working files along, and they are removed where they are. The report then lies beside
// the data file in the folder's new place, and messages name that place.
//
// Whatever is left of the working files goes with the object, and with
// remove_unfinished_reports when the program ends at once (a signal, a lost display).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "files/file_safety.hpp"

namespace sharc_report_files {

// The results file's path for the data file `data_file` (its path as given): in the same
// folder, the file's name with a ".DAT" (any case) that ends it replaced by ".TXT", else
// followed by ".TXT"; every other character, blanks included, stays. Data files whose names
// differ only in that ending (x, x.dat, x.DAT) share one report.
std::string results_file_name(std::string_view data_file);

// The first line of a report of this program begins with one of these: the date line, or the
// line of a run that ended in error.
inline constexpr std::string_view report_date_line = " DATE: ";
inline constexpr std::string_view report_error_line = " RUN ENDED IN ERROR: ";
// Whether a text begins as the first line of a report of this program does.
bool begins_report(std::string_view text);

class ReportFiles {
 public:
  ReportFiles() = default;
  ~ReportFiles() { release(); }
  ReportFiles(const ReportFiles&) = delete;
  ReportFiles& operator=(const ReportFiles&) = delete;

  // Holds the folder of the report of the data file `input_file_name` (results_file_name) open,
  // makes both working files in it and reserves in each the room a report of `rows` data rows
  // takes, so that a folder that is read-only, not the user's, on a full disk or making no
  // files, a report name held by a folder, too long for the folder or leading to the data file,
  // a file of that name that is not a report of this program, and an earlier report this user
  // may not replace (another user's in a sticky folder such as /tmp, an immutable or
  // append-only one) show before the fit. Returns no error, or the system's error number or
  // file_safety's DataFile, FolderMakesNoFiles or NotAReport, with failed() naming the folder or
  // file that failed; nothing is left behind then.
  std::error_code create(std::string_view input_file_name, int32_t rows);

  bool ready() const { return !partial_.empty(); }
  // The report's folder, held open (a descriptor for the units' *_at calls), and the working
  // files' descriptors, open for reading and writing, with the room create reserved.
  int folder() const { return folder_.get(); }
  int scratch_fd() const { return scratch_fd_.get(); }
  int partial_fd() const { return partial_fd_.get(); }
  // Paths of the report and its working files where the folder is now (empty for a working
  // file that does not exist).
  std::filesystem::path results() const;
  std::filesystem::path scratch() const;
  std::filesystem::path partial() const;
  const std::filesystem::path& failed() const { return failed_; }
  // The report's name as globals::output_file_name gives it: results_file_name of the data file
  // while its folder is still where that name says, else results().
  std::string report_name() const;

  // Renames the written results file over the report's name: no error, or the error with
  // failed() naming the file at fault (the results file of the run is then removed and an
  // earlier report stands): the system's error number, NotAReport, or WorkingFileReplaced or
  // WorkingFileRemoved when the results file's name leads to another file or to none. After the
  // rename the report's name must lead to the file written: ReportNameTaken when it leads to
  // another (swapped in just before the rename, which is left at the name), WorkingFileRemoved
  // when to none.
  std::error_code commit();
  // Removes the scratch copy; remove() removes both (what is left of them).
  void remove_scratch();
  void remove();

 private:
  std::filesystem::path folder_now() const;
  std::error_code replaceable() const;
  bool is_file(const std::filesystem::path& path) const;
  bool holds_report() const;
  void release();

  file_safety::Descriptor folder_;      // the report's folder, held open
  std::filesystem::path given_;         // the report's path as the data file's name gives it
  std::string name_;                    // the report's name in the folder
  std::string scratch_;                 // the scratch copy's name, while it exists
  std::string partial_;                 // the results file's name while it is written
  file_safety::Descriptor scratch_fd_;  // the descriptors that made them
  file_safety::Descriptor partial_fd_;
  std::filesystem::path failed_;  // what create could not make
};

// Removes the working files of every report not yet done, for a program that ends at once (the
// display went away, a signal that ends it, no memory left) without leaving them in the data
// files' folders; a name that no longer leads to the file made is left alone. A working file
// being made on another thread meanwhile is waited for and removed too, and none is made from
// then on (create fails with ECANCELED). Safe from any thread and in a signal handler.
void remove_unfinished_reports();

}  // namespace sharc_report_files
