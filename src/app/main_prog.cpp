#include "app/main_prog.hpp"

#include <signal.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>

#include "common/globals.hpp"
#include "engine/main_subs.hpp"
#include "engine/sharc_cascade.hpp"
#include "engine/sharc_report.hpp"
#include "files/units.hpp"
#include "numerics/stringlib.hpp"
#include "numerics/sysclock.hpp"
#include "platform/headless/headless_backend.hpp"
#include "platform/headless/headless_dialogs.hpp"
#include "platform/window_system.hpp"
#include "platform/windowed/windowed_dialogs.hpp"
#include "platform/x11/x11_backend.hpp"
#include "toolkit/dialogs.hpp"
#include "toolkit/drawing_state.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/guikit.hpp"
#include "toolkit/menus.hpp"
#include "toolkit/mouse.hpp"
#include "toolkit/text.hpp"

namespace main_prog {
namespace {

struct Named {
  const char* name;
  int32_t value;
};
constexpr Named kLevels[] = {{"easy", 1}, {"moderate", 2}, {"difficult", 3}};
constexpr const char* kWeightings[] = {
    "None", "1/Reweight^2", "1/Y^2", "Robust Weight", "StdDev / Residual"};

bool env_is(const char* name, const char* value) {
  const char* v = std::getenv(name);
  return v != nullptr && std::string(v) == value;
}

bool parse_level(const std::string& text, int32_t& level) {
  for (const Named& l : kLevels) {
    if (stringlib::s_eqi(text, l.name)) {
      level = l.value;
      return true;
    }
  }
  return false;
}

bool parse_weighting(const std::string& text, int32_t& weighting) {
  if (text.size() != 1 || text[0] < '1' || text[0] > '5') return false;
  weighting = text[0] - '0';
  return true;
}

// The fit of one data file in the main window, as the Run request does it.
int32_t fit(const Options& options) {
  const std::string file = data_file(options);
  if (file.empty()) {
    std::cerr << "varqen: no data file chosen\n";
    return kExitUsage;
  }
  globals::output_file_name = std::string(globals::len_file_name, ' ');
  globals::iopt = options.level;
  globals::iwt = options.weighting;
  globals::bdataerror = 0;
  globals::bcancelrun = 0;
  globals::bpostrun = 0;
  if (!main_subs::set_input_file(file)) return kExitDataError;
  main_subs::main_sub();
  const int32_t status = exit_status();
  if (status == kExitReport) {
    // The main window's text area: the report's summary lines.
    for (int32_t i = 1; i <= globals::nlines3; ++i) {
      std::cout << stringlib::trim(globals::sline3(i)) << '\n';
    }
  }
  return status;
}

// The window manager's close box on the main window, on the window's thread. The program's
// one fit runs on the main thread meanwhile, so closing acts as the cascade's Cancel button
// (the cascade ends as after Cancel, the report is written, no run-log line) and the program
// ends with the fit. The window stays until then, showing the fit wind down: closed at once it
// would leave the fit running on without a window for as long as its stage takes.
int32_t close_main_window() {
  sharc_mod::request_cancel();
  return 0;
}

int32_t run_with(platform::WindowSystem& system, const Options& options) {
  gk::install_drawing();
  gk::install_text();
  gk::install_menus();
  gk::install_mouse();
  gk::attach(&system);
  const int32_t status = [&] {
    if (guikit::initwindow(
            kMainWidth, kMainHeight, "Varqen", std::nullopt, std::nullopt, false, false) < 0) {
      // The system had no thread or memory for it; the Error dialog said why.
      std::cerr << "varqen: the main window cannot be opened\n";
      return kExitDataError;
    }
    globals::gwinwidth = gk::getwindowwidth();
    guikit::setwindowsystemclosecallback(close_main_window);
    set_window_colours();
    return fit(options);
  }();
  gk::reset();
  return status;
}

}  // namespace

std::string data_file(const Options& options) {
  if (!options.file.empty()) return options.file;
  // The toolkit's own dialog hands the chosen path back whole; the binding layer's would pad it
  // with blanks, and lose the blanks a name ends with.
  std::string name(size_t(globals::len_file_name) + 1, '\0');
  const int32_t size = int32_t(name.size());
  if (gk::dlgopenfile("Open data file", name.data(), size, "Data files", "*.dat") != 1) return "";
  name.resize(std::strlen(name.c_str()));
  return name;
}

void set_window_colours() {
  globals::gwincolor1 = gk::creatergb(242, 245, 250);
  globals::gwincolor2 = gk::creatergb(235, 245, 250);
  guikit::setbkcolor(globals::gwincolor1);
  guikit::clearviewport();
}

std::optional<Options> parse_options(const std::vector<std::string>& args, std::string& why) {
  Options o;
  bool options = true;  // until "--": every argument after it is a file name ("-x.dat")
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (!options || !a.starts_with("-") || a == "-") {
      if (!o.file.empty()) {
        why = "only one data file, please";
        return std::nullopt;
      }
      o.file = a;
    } else if (a == "--") {
      options = false;
    } else if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--level") {
      if (!has_value || !parse_level(args[++i], o.level)) {
        why = "--level wants easy, moderate or difficult";
        return std::nullopt;
      }
    } else if (a == "--weighting") {
      if (!has_value || !parse_weighting(args[++i], o.weighting)) {
        why = "--weighting wants a number from 1 to 5";
        return std::nullopt;
      }
    } else {
      why = "unknown option " + a;
      return std::nullopt;
    }
  }
  return o;
}

std::string usage() {
  std::string text =
      "usage: varqen [--level easy|moderate|difficult] [--weighting N] [--] [FILE.dat]\n"
      "Fits the model of FILE.dat (asks for a file when none is given) and writes the\n"
      "results report beside it.\n"
      "  --level L      level of difficulty: easy, moderate (default) or difficult\n"
      "  --weighting N  weighting of the data (default 1):\n";
  for (int32_t k = 1; k <= 5; ++k) {
    text += "                   " + std::to_string(k) + " " + kWeightings[k - 1] + "\n";
  }
  text +=
      "                 (3 divides each residual by its fitted value, not by the data's Y)\n"
      "  --help         this text\n"
      "  --             ends the options (for a FILE.dat that begins with -)\n";
  return text;
}

int32_t exit_status() { return main_subs::every_block_reported ? kExitReport : kExitDataError; }

namespace {

// The display: X11 when DISPLAY names one and VARQEN_HEADLESS is not 1, else headless.
struct OpenedDisplay {
  std::unique_ptr<platform::Backend> backend;
  bool desktop = false;  // a display someone looks at
};

// The X server went away under the program: nothing can be shown or answered any more, so the
// program ends at once, whatever its threads are doing. A report being written is not left
// half-written: it takes its name only once complete, and the run's files of reports not yet
// done are removed.
[[noreturn]] void display_lost(const char* display) {
  sharc_report_files::remove_unfinished_reports();
  std::fflush(stdout);
  std::fprintf(stderr, "varqen: lost the connection to the display %s\n", display);
  std::fflush(stderr);
  std::_Exit(kExitDisplayLost);
}

// A signal from outside that ends the program ends it as the signal would, but first removes
// the working files of a report not yet done, which lie in the data file's folder from before
// the model's confirmation on.
void end_on_signal(int sig) {
  sharc_report_files::remove_unfinished_reports();
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

// No memory left (an address-space limit): a std::bad_alloc that no one catches, on the main
// thread or on a window thread, ends the program with one line on standard error and status
// 1, without the working files of a report not yet done. Any other uncaught exception is a
// fault of the program and goes to the handler that was there before.
std::terminate_handler uncaught_before = nullptr;
[[noreturn]] void end_when_out_of_memory() {
  bool out_of_memory = false;
  try {
    if (const std::exception_ptr e = std::current_exception()) std::rethrow_exception(e);
  } catch (const std::bad_alloc&) {
    out_of_memory = true;
  } catch (...) {
  }
  if (!out_of_memory) {
    if (uncaught_before != nullptr) uncaught_before();
    std::abort();
  }
  sharc_report_files::remove_unfinished_reports();
  std::fflush(stdout);
  static constexpr char kLine[] = "varqen: out of memory; the run ends without its report\n";
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, kLine, sizeof kLine - 1);
  std::_Exit(kExitDataError);
}

// A closed standard output (the reader of a pipe gone) or a file size limit: the write that
// met it fails instead, with EPIPE or EFBIG, and the run goes on or refuses the file with
// "File too large". A handler that does nothing rather than SIG_IGN, so that programs the
// window system starts (the print spooler) begin with the default action.
void on_failed_write(int) {}

// A CPU time limit whose soft value is its hard one (as `ulimit -t` sets it) ends the program
// with SIGKILL, which no program can catch, instead of SIGXCPU: a timer on the process's CPU
// clock sends SIGXCPU 0.3 s of CPU time before, so that such a run, too, ends without leaving
// its working files. (A run that reaches it could not finish anyway.) On a loaded machine a
// margin of 0.1 s was at times passed before the signal was handled, and the limit's SIGKILL
// came first.
void signal_before_the_cpu_limit() {
  constexpr int64_t kMarginNs = 300'000'000;
  rlimit cpu{};
  if (getrlimit(RLIMIT_CPU, &cpu) != 0 || cpu.rlim_max == RLIM_INFINITY ||
      cpu.rlim_cur < cpu.rlim_max) {
    return;
  }
  sigevent event{};
  event.sigev_notify = SIGEV_SIGNAL;
  event.sigev_signo = SIGXCPU;
  timer_t timer{};
  if (timer_create(CLOCK_PROCESS_CPUTIME_ID, &event, &timer) != 0) return;
  // The limit counts the process's whole CPU time, as this clock does: an absolute time.
  const int64_t at = int64_t(cpu.rlim_max) * 1'000'000'000 - kMarginNs;
  itimerspec when{};
  when.it_value.tv_sec = time_t(at / 1'000'000'000);
  when.it_value.tv_nsec = long(at % 1'000'000'000);
  timer_settime(timer, TIMER_ABSTIME, &when, nullptr);
}

// The signals handled: every one whose default action ends the program and that comes from
// outside it (an interrupt, termination, hang-up, the quit key, timers, the user's signals, a
// CPU time limit, power failure, the real-time signals). Left to their default are those of
// the program's own faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGSYS, SIGTRAP, SIGABRT): after
// them nothing of the program's state can be trusted, and debuggers and sanitizers own them.
// A signal ignored or handled at start (nohup) keeps what it had.
void handle_signals() {
  std::vector<int> ending = {SIGHUP,
                             SIGINT,
                             SIGQUIT,
                             SIGTERM,
                             SIGALRM,
                             SIGUSR1,
                             SIGUSR2,
                             SIGVTALRM,
                             SIGPROF,
                             SIGXCPU,
                             SIGIO,
                             SIGPWR,
                             SIGSTKFLT};
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) ending.push_back(sig);
  // True when the handler took the signal's default action's place.
  const auto install = [](int sig, void (*handler)(int)) {
    struct sigaction action = {};
    struct sigaction previous = {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    if (sigaction(sig, &action, &previous) != 0) return false;
    if (previous.sa_handler == SIG_DFL) return true;
    sigaction(sig, &previous, nullptr);
    return false;
  };
  for (const int sig : ending) {
    if (install(sig, end_on_signal) && sig == SIGXCPU) signal_before_the_cpu_limit();
  }
  for (const int sig : {SIGPIPE, SIGXFSZ}) install(sig, on_failed_write);
}

OpenedDisplay open_display() {
  const char* display = std::getenv("DISPLAY");
  if (!env_is("VARQEN_HEADLESS", "1") && display != nullptr && *display != '\0') {
    platform::X11Backend::on_connection_lost(display_lost);
    auto x11 = std::make_unique<platform::X11Backend>();
    if (x11->open()) return {std::move(x11), true};
    std::cerr << "varqen: cannot use the display " << display << "; running headless\n";
  }
  return {std::make_unique<platform::HeadlessBackend>(), false};
}

}  // namespace

int32_t main_program(int argc, char** argv) {
  std::string why;
  const std::optional<Options> options =
      parse_options(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), why);
  if (!options) {
    std::cerr << "varqen: " << why << "\n" << usage();
    return kExitUsage;
  }
  if (options->help) {
    std::cout << usage();
    return 0;
  }
  if (env_is("VARQEN_TEST_NO_PAUSES", "1")) sysclock::set_sleeper([](int32_t) {});
  handle_signals();
  uncaught_before = std::set_terminate(end_when_out_of_memory);
  // Relative names (the run log, a data file given without a folder) lie in the directory the
  // program starts in; the report and its scratch copy lie beside the data file.
  std::error_code ec;
  const std::filesystem::path start = std::filesystem::current_path(ec);
  units::set_start_directory(start);
  globals::cwd = stringlib::fixed((start / "").string(), globals::len_dir);
  const OpenedDisplay display = open_display();
  // On a display the dialogs are windows; a headless run has nobody to answer them, so there
  // they print their title and text and take their default answer.
  platform::HeadlessDialogs printed;
  platform::WindowedDialogs windowed;
  platform::DialogProvider& dialogs =
      display.desktop ? static_cast<platform::DialogProvider&>(windowed) : printed;
  platform::WindowSystem system(*display.backend, dialogs);
  windowed.attach(&system);
  return run_with(system, *options);
}

}  // namespace main_prog
