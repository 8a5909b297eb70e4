#include "tests/support/x_server.h"

#include <poll.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>

#include "tests/support/deadline.h"

extern char **environ;

namespace testsupport {

namespace {

// Starts Xvfb on display `number`; the display once it accepts clients, or
// empty when that server did not start (the display was taken, say).
std::string StartOn(int number, pid_t &pid) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  // Xvfb writes its display number to the descriptor once it accepts clients.
  const std::string display = ":" + std::to_string(number), fd = std::to_string(fds[1]);
  const char *argv[] = {"Xvfb", display.c_str(), "-displayfd", fd.c_str(), "-screen",
                        "0",    "1280x1024x24",  "-nolisten",  "tcp",      nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  if (posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char **>(argv), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string written;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (pid > 0 && std::chrono::steady_clock::now() < until) {
    pollfd p{fds[0], POLLIN, 0};
    char c;
    if (poll(&p, 1, 200) <= 0) continue;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    written += c;
  }
  close(fds[0]);
  if (written == std::to_string(number)) return display;
  EndChild(pid);
  pid = -1;
  return {};
}

}  // namespace

// The display number comes from the process id, not the lowest free one:
// a server that another suite is just ending still removes its socket file
// after it has given up its lock, and would take that socket from a new
// server on its number.
XServer::XServer() {
  const int first = 1000 + int(getpid() % 30000);
  for (int number = first; number < first + 10 && display_.empty(); ++number) display_ = StartOn(number, pid_);
}

XServer::~XServer() { EndChild(pid_); }

}  // namespace testsupport
