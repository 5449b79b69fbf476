#include "platform/print/lp_spooler.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace platform {
namespace {

// The process's environment with the C locale for messages, so that the spooler's answers
// are in the English wording parsed below whatever language the user runs in.
std::vector<std::string> c_locale_environment() {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (std::string_view(*e).substr(0, 7) != "LC_ALL=") env.emplace_back(*e);
  }
  env.emplace_back("LC_ALL=C");
  return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Runs the program with its arguments; its exit status is 0 on success. Standard output is
// collected into `out` when given, else discarded with standard error. The pipe is closed on
// exec, so a program another thread starts meanwhile cannot hold it open.
bool run(std::vector<std::string> argv, std::string* out) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  std::vector<std::string> env = c_locale_environment();
  const std::vector<char*> args = pointers(argv), envp = pointers(env);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
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
  if (!run({lpstat_, "-d"}, &out)) return std::nullopt;
  // "system default destination: NAME"; anything else means none is set.
  const std::string tag = "system default destination: ";
  const size_t at = out.find(tag);
  if (at == std::string::npos) return std::nullopt;
  std::string name = out.substr(at + tag.size());
  name = name.substr(0, name.find_first_of("\r\n"));
  if (name.empty()) return std::nullopt;
  return name;
}

std::vector<std::string> LpSpooler::destinations() {
  std::vector<std::string> names;
  if (const auto first = default_destination()) names.push_back(*first);
  std::string out;
  if (!run({lpstat_, "-e"}, &out)) return names;
  for (size_t at = 0; at < out.size();) {
    size_t end = out.find_first_of("\r\n", at);
    if (end == std::string::npos) end = out.size();
    const std::string name = out.substr(at, end - at);
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
      names.push_back(name);
    at = end + 1;
  }
  return names;
}

bool LpSpooler::submit(const std::string& destination,
                       const std::string& pdf_path,
                       const std::string& title) {
  return run({lp_, "-d", destination, "-t", title, "--", pdf_path}, nullptr);
}

}  // namespace platform
