#include "tests/support/x_server.h"

#include <unistd.h>

#include <chrono>

#include "tests/support/child_pipe.h"
#include "tests/support/deadline.h"

namespace testsupport {

namespace {

// Starts Xvfb on display `number`; the display once it accepts clients, or
// empty when that server did not start (the display was taken, say).
std::string StartOn(int number, pid_t &pid) {
  // Xvfb writes its display number to the descriptor once it accepts clients.
  const std::string display = ":" + std::to_string(number);
  const std::string written =
      SpawnForFirstLine({"Xvfb", display, "-displayfd", "{fd}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                        std::chrono::seconds(20), &pid);
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
