// An X server of a test's own (Xvfb, 1280 x 1024 x 24 on a display of its own), so
// its windows neither cover nor are covered by those of suites running beside
// it on the shared display.
#pragma once

#include <sys/types.h>

#include <string>

namespace testsupport {

class XServer {
 public:
  XServer();
  // Ends the server (SIGTERM, then SIGKILL after 5 s).
  ~XServer();
  XServer(const XServer &) = delete;
  XServer &operator=(const XServer &) = delete;

  // ":N", or empty when the server did not start.
  const std::string &display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace testsupport
