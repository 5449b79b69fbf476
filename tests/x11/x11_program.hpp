// The `varqen` program on an X display, used as a person would: the real binary started in a
// temporary folder, its windows found on the screen by their titles, keys typed and the close
// box pressed through a connection of the test's own, a window manager (twm) started when the
// test wants one, and a private X server that a test may take away.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/controls/control_paint.hpp"
#include "platform/gfx/page.hpp"
#include "x11/x11_host.hpp"

// After every platform header: Xlib macros clash with platform names.
#include <X11/extensions/XTest.h>

#include "platform/x11/xlib.hpp"

extern char** environ;

namespace x11_test {

// How long a step of the program may take: a window to appear, a fit to end. Generous, since
// the program may run under a sanitizer on a busy machine; a passing test never waits for it.
constexpr int kProgramWaitMs = 60000;

// Polls `done` every 20 ms until it holds or `ms` pass.
inline bool within(int ms, const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A child process: `argv` run in `dir` with the variables of `env` ("NAME=value") set over
// this process's environment, its standard output and error written to files. A process that
// still runs when the object goes is asked to end (SIGTERM), then killed.
class Process {
 public:
  Process(const std::vector<std::string>& argv,
          const std::filesystem::path& dir,
          const std::vector<std::string>& env,
          const std::string& out_file = "/dev/null",
          const std::string& err_file = "/dev/null",
          int pass_fd = -1) {
    std::vector<std::string> vars;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string var = *e;
      bool replaced = false;
      for (const std::string& mine : env)
        replaced =
            replaced || var.substr(0, var.find('=') + 1) == mine.substr(0, mine.find('=') + 1);
      if (!replaced) vars.push_back(var);
    }
    vars.insert(vars.end(), env.begin(), env.end());
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& v : vars) envp.push_back(const_cast<char*>(v.c_str()));
    args.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(
        &actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(
        &actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (pass_fd >= 0) posix_spawn_file_actions_adddup2(&actions, pass_fd, 3);
    if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Process() {
    signal(SIGTERM);
    if (!wait(kProgramWaitMs)) signal(SIGKILL);
    if (!status_ && pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool started() const { return pid_ > 0; }
  void signal(int sig) {
    if (!status_ && pid_ > 0) ::kill(pid_, sig);
  }
  // The exit status once the process has ended within `ms` (-1: ended by a signal); nothing
  // while it still runs.
  std::optional<int> wait(int ms) {
    within(ms, [&] { return ended(); });
    return status_;
  }

 private:
  bool ended() {
    if (status_ || pid_ <= 0) return true;
    int raw = 0;
    if (waitpid(pid_, &raw, WNOHANG) != pid_) return false;
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return true;
  }

  pid_t pid_ = -1;
  std::optional<int> status_;
};

// A top-level window of another client whose title is `name` (inside a window manager's frame
// or not); 0 when there is none.
inline Window window_named(Display* xd, const std::string& name, Window from = 0) {
  if (from == 0) from = DefaultRootWindow(xd);
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(xd, from, &root, &parent, &children, &count)) return 0;
  Window found = 0;
  for (unsigned int i = 0; i < count && found == 0; ++i) {
    char* title = nullptr;
    if (XFetchName(xd, children[i], &title) && title != nullptr) {
      if (name == title) found = children[i];
      XFree(title);
    }
    if (found == 0) found = window_named(xd, name, children[i]);
  }
  if (children) XFree(children);
  return found;
}

// The window titled `name` once it has the keyboard focus (within kProgramWaitMs), else 0.
inline Window focused_window(Display* xd, const std::string& name) {
  Window w = 0;
  within(kProgramWaitMs, [&] {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(xd, &focus, &revert);
    w = window_named(xd, name);
    return w != 0 && focus == w;
  });
  return w;
}

// Taps each key in turn, as the user types.
inline void type(Display* xd, std::initializer_list<KeySym> keys) {
  for (KeySym sym : keys) {
    const KeyCode code = XKeysymToKeycode(xd, sym);
    XTestFakeKeyEvent(xd, code, True, CurrentTime);
    XTestFakeKeyEvent(xd, code, False, CurrentTime);
  }
  XSync(xd, False);
}

// The colour a window shows at a point of it (0x00RRGGBB).
inline platform::Pixel pixel_of(Display* xd, Window w, int x, int y) {
  XImage* image = XGetImage(xd, w, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return 0xFFFFFFFF;
  const platform::Pixel p = XGetPixel(image, 0, 0) & 0xFFFFFF;
  XDestroyImage(image);
  return p;
}

// twm managing the display of `xd` for the object's lifetime (its settings: tests/x11/twmrc).
// Ready once it has framed a window of the test's own; gone, and its frames with it, after.
class WindowManager {
 public:
  explicit WindowManager(Display* xd)
      : xd_(xd),
        twm_({"twm", "-f", std::string(VARQEN_SOURCE_DIR) + "/tests/x11/twmrc"},
             std::filesystem::temp_directory_path(),
             {"LC_ALL=C"}) {
    const Window probe = XCreateSimpleWindow(xd, DefaultRootWindow(xd), 0, 0, 10, 10, 0, 0, 0);
    XSizeHints placed{};
    placed.flags = USPosition;  // else twm may have the user place it with the pointer
    XSetWMNormalHints(xd, probe, &placed);
    XMapWindow(xd, probe);
    ready_ = within(kProgramWaitMs, [&] {
      Window root = 0, parent = 0, *children = nullptr;
      unsigned int count = 0;
      if (!XQueryTree(xd, probe, &root, &parent, &children, &count)) return false;
      if (children) XFree(children);
      return parent != root;
    });
    XDestroyWindow(xd, probe);
    XSync(xd, False);
  }
  ~WindowManager() {
    twm_.signal(SIGTERM);
    twm_.wait(kProgramWaitMs);
  }
  bool ready() const { return ready_; }

 private:
  Display* xd_;
  Process twm_;
  bool ready_ = false;
};

// An X server of the test's own (not the suite's), which the test may take away.
class PrivateServer {
 public:
  PrivateServer() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    // The server's end goes to its fd 3 by a dup, which would keep close-on-exec were it 3.
    if (fds[1] == 3) {
      fds[1] = fcntl(3, F_DUPFD_CLOEXEC, 4);
      close(3);
    }
    server_.emplace(std::vector<std::string>{"Xvfb",
                                             "-displayfd",
                                             "3",
                                             "-screen",
                                             "0",
                                             "1024x768x24",
                                             "-nolisten",
                                             "tcp",
                                             "-noreset"},
                    std::filesystem::temp_directory_path(),
                    std::vector<std::string>{},
                    "/dev/null",
                    "/dev/null",
                    fds[1]);
    close(fds[1]);
    // The number and then a line end, in two writes: the server stops when it cannot write
    // the second, so the pipe stays open until the line is whole.
    std::string line;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (line.size() < 16 && poll(&p, 1, kProgramWaitMs) == 1 && read(fds[0], &c, 1) == 1 &&
           c != '\n')
      line += c;
    if (c == '\n') name_ = ":" + line;
    close(fds[0]);
  }
  // The display's name (":N"), empty when the server did not start.
  const std::string& name() const { return name_; }
  // Takes the server away: it ends at once, closing every connection.
  void kill() { server_->signal(SIGTERM); }

 private:
  std::optional<Process> server_;
  std::string name_;
};

}  // namespace x11_test
