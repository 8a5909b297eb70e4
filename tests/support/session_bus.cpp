#include "tests/support/session_bus.h"

#include <chrono>

#include "tests/support/child_pipe.h"
#include "tests/support/deadline.h"

namespace testsupport {

SessionBus::SessionBus() {
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
  address_ =
      SpawnForFirstLine({"dbus-daemon", "--config-file=" + config, "--nofork", "--nopidfile", "--print-address={fd}"},
                        std::chrono::seconds(20), &pid_);
  if (address_.empty()) {
    EndChild(pid_);
    pid_ = -1;
  }
}

SessionBus::~SessionBus() { EndChild(pid_); }

}  // namespace testsupport
