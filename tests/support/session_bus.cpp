#include "tests/support/session_bus.h"

#include <poll.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>

#include "tests/support/deadline.h"

extern char **environ;

namespace testsupport {

SessionBus::SessionBus() {
  int fds[2];
  if (pipe(fds) != 0) return;
  // A session bus that starts no services: the desktop's own (the
  // accessibility bus, say) are no part of a test.
  const std::string config =
      dir_.Write("session.conf",
                 "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                 "<busconfig><type>session</type><listen>unix:dir=" +
                     dir_.path() +
                     "</listen><auth>EXTERNAL</auth>"
                     "<policy context=\"default\"><allow send_destination=\"*\"/>"
                     "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
  // The daemon writes its address, then a newline, once it accepts clients.
  const std::string fd = std::to_string(fds[1]), configArg = "--config-file=" + config, print = "--print-address=" + fd;
  const char *argv[] = {"dbus-daemon", configArg.c_str(), "--nofork", "--nopidfile", print.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  if (posix_spawnp(&pid_, "dbus-daemon", &actions, nullptr, const_cast<char **>(argv), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string written;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool complete = false;
  while (pid_ > 0 && !complete && std::chrono::steady_clock::now() < until) {
    pollfd p{fds[0], POLLIN, 0};
    char c;
    if (poll(&p, 1, 200) <= 0) continue;
    if (read(fds[0], &c, 1) != 1) break;
    if (c == '\n')
      complete = true;
    else
      written += c;
  }
  close(fds[0]);
  if (complete && !written.empty()) {
    address_ = written;
    return;
  }
  EndChild(pid_);
  pid_ = -1;
}

SessionBus::~SessionBus() { EndChild(pid_); }

}  // namespace testsupport
