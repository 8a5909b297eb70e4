#include "tests/support/x_server.h"

#include <poll.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>

#include "tests/support/deadline.h"

extern char **environ;

namespace testsupport {

XServer::XServer() {
  int fds[2];
  if (pipe(fds) != 0) return;
  // Xvfb writes its display number to the descriptor once it accepts clients.
  std::string fd = std::to_string(fds[1]);
  const char *argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char **>(argv), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string number;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (pid_ > 0 && std::chrono::steady_clock::now() < until) {
    pollfd p{fds[0], POLLIN, 0};
    char c;
    if (poll(&p, 1, 200) <= 0) continue;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (!number.empty()) display_ = ":" + number;
}

XServer::~XServer() { EndChild(pid_); }

}  // namespace testsupport
