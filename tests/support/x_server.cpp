#include "tests/support/x_server.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/support/child_pipe.h"
#include "tests/support/deadline.h"

namespace testsupport {

namespace {

// True once a client on `display` gets an answer from the server: xprop
// reads a property of the root window (and gives up after 10 s).
bool Answers(const std::string &display) {
  const std::string cmd = "timeout -k 2 10 xprop -display " + display + " -root -len 0 >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// Starts Xvfb on display `number`; the display once it accepts clients, or
// empty when that server did not start (the display was taken, say).
//
// An X server resets when its last client leaves, and a client that connects
// during the reset is turned away ("cannot open display"): a test whose
// probe (xprop, xdotool) had just left then lost its window manager or tray
// host now and then on a busy machine. -noreset keeps the server as it is for
// its whole life. The server counts as started once a client of its own has
// been answered.
std::string StartOn(int number, pid_t &pid) {
  // Xvfb writes its display number to the descriptor once it accepts clients.
  const std::string display = ":" + std::to_string(number);
  const std::string written = SpawnForFirstLine(
      {"Xvfb", display, "-displayfd", "{fd}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"},
      std::chrono::seconds(20), &pid);
  if (written == std::to_string(number) &&
      WaitUntil([&] { return Answers(display); }, std::chrono::seconds(20),
                [] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }))
    return display;
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
