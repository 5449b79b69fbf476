#include "platform/print/lp_spooler.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

namespace platform {
namespace {

// Runs the program with its arguments; its exit status is 0 on success. Standard output is
// collected into `out` when given, else discarded with standard error.
bool run(std::vector<std::string> argv, std::string* out) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  char buffer[256];
  ssize_t n = 0;
  while (spawned == 0 && (n = read(pipe_fds[0], buffer, sizeof buffer)) > 0) {
    if (out) out->append(buffer, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  if (spawned != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::optional<std::string> LpSpooler::default_destination() {
  std::string out;
  if (!run({"lpstat", "-d"}, &out)) return std::nullopt;
  // "system default destination: NAME"; anything else means none is set.
  const std::string tag = "system default destination: ";
  const size_t at = out.find(tag);
  if (at == std::string::npos) return std::nullopt;
  std::string name = out.substr(at + tag.size());
  name = name.substr(0, name.find_first_of("\r\n"));
  if (name.empty()) return std::nullopt;
  return name;
}

bool LpSpooler::submit(const std::string& destination,
                       const std::string& pdf_path,
                       const std::string& title) {
  return run({"lp", "-d", destination, "-t", title, "--", pdf_path}, nullptr);
}

}  // namespace platform
