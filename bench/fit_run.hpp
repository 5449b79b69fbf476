// A whole fit run of a NIST reference file as the fit benchmarks make it: main_sub on a headless
// main window, on a copy of the file in a folder of the caller's, at the level Moderate with
// weighting None.
#pragma once

#include <filesystem>

#include "common/globals.hpp"
#include "files/units.hpp"
#include "numerics/stringlib.hpp"
#include "platform/headless/headless_backend.hpp"
#include "platform/headless/headless_dialogs.hpp"
#include "platform/window_system.hpp"
#include "support/nist_problem.hpp"
#include "toolkit/drawing_state.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/text.hpp"

namespace fitrun {

// The program's main window on the headless backend; the toolkit is attached to it from open()
// until the object goes.
struct MainWindow {
  // False when the window could not be made.
  bool open() {
    gk::reset();
    gk::install_drawing();
    gk::install_text();
    gk::attach(&system);
    if (gk::initwindow(640, 200, "Varqen", 0, 0, 0, 0) < 0) return false;
    globals::gwinwidth = gk::getwindowwidth();
    return true;
  }
  ~MainWindow() { gk::reset(); }

  platform::HeadlessBackend backend;
  platform::HeadlessDialogs dialogs;
  platform::WindowSystem system{backend, dialogs};
};

// Runs in dir: relative names (the run log) lie there.
inline void use_folder(const std::filesystem::path& dir) {
  units::set_start_directory(dir);
  globals::cwd = stringlib::fixed((dir / "").string(), globals::len_dir);
}

// The problem's file copied into dir as problem.dat.
inline std::filesystem::path copy_problem(const testsupport::NistProblem& pb,
                                          const std::filesystem::path& dir) {
  const std::filesystem::path file = dir / "problem.dat";
  std::filesystem::copy_file(pb.file, file, std::filesystem::copy_options::overwrite_existing);
  return file;
}

// Sets up the run on the data file `file` of the folder dir (start folder, file name, level
// Moderate, weighting None, the confirmation answered Yes); main_sub then fits it and leaves
// the report in dir.
inline void prepare_file(const std::filesystem::path& file,
                         const std::filesystem::path& dir,
                         platform::HeadlessDialogs& dialogs) {
  use_folder(dir);
  globals::input_file_name = stringlib::fixed(file.string(), globals::len_file_name);
  globals::iopt = 2;
  globals::iwt = 1;
  dialogs.script_answer(platform::DialogAnswer::Yes);  // the confirmation, silently
}

// prepare_file on the problem's file copied into dir.
inline void prepare(const testsupport::NistProblem& pb,
                    const std::filesystem::path& dir,
                    platform::HeadlessDialogs& dialogs) {
  prepare_file(copy_problem(pb, dir), dir, dialogs);
}

}  // namespace fitrun
