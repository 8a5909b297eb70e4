#include "tests/support/child_pipe.h"

#include <poll.h>
#include <spawn.h>
#include <unistd.h>

extern char **environ;

namespace testsupport {

std::string SpawnForFirstLine(const std::vector<std::string> &argv, std::chrono::milliseconds limit, pid_t *pid) {
  *pid = -1;
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::vector<std::string> args = argv;
  for (auto &a : args)
    for (size_t at; (at = a.find("{fd}")) != std::string::npos;) a.replace(at, 4, std::to_string(fds[1]));
  std::vector<char *> raw;
  for (auto &a : args) raw.push_back(a.data());
  raw.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  if (posix_spawnp(pid, raw[0], &actions, nullptr, raw.data(), environ) != 0) *pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string line;
  bool complete = false;
  const auto until = std::chrono::steady_clock::now() + limit;
  while (*pid > 0 && !complete && std::chrono::steady_clock::now() < until) {
    pollfd p{fds[0], POLLIN, 0};
    char c;
    if (poll(&p, 1, 200) <= 0) continue;
    if (read(fds[0], &c, 1) != 1) break;  // the child closed it, or ended
    if (c == '\n')
      complete = true;
    else
      line += c;
  }
  close(fds[0]);
  return complete ? line : std::string();
}

}  // namespace testsupport
