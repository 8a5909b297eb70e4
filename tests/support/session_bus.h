// A D-Bus session bus of a test's own (dbus-daemon with a session
// configuration that listens in a temporary folder and starts no services), so
// a suite's names and services meet neither the user's session nor the suites
// running beside it.
#pragma once

#include <sys/types.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace testsupport {

class SessionBus {
 public:
  // Starts the daemon and waits (up to 20 s) for its address.
  SessionBus();
  // Ends the daemon (SIGTERM, then SIGKILL after 5 s).
  ~SessionBus();
  SessionBus(const SessionBus &) = delete;
  SessionBus &operator=(const SessionBus &) = delete;

  // The bus's address (for DBUS_SESSION_BUS_ADDRESS), or empty when the
  // daemon did not start.
  const std::string &address() const { return address_; }

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  std::string address_;
};

}  // namespace testsupport
